// Runs each bench/lua/*.lua program with vexel-lua and with stock lua5.2
// (best of three runs each, in CPU seconds of the child process, which
// other load on the machine disturbs less than wall-clock time) and prints the times and the speed
// ratio (stock time / vexel time: above 1 means vexel-lua is faster), then
// the geometric mean over all programs. Both must print the same output.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;

double children_cpu() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Best CPU time of a command in seconds, and its output.
double best_time(const std::string& cmd, std::string& out) {
    double best = 1e30;
    for (int r = 0; r < kRuns; r++) {
        double t0 = children_cpu();
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return -1;
        std::string o;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.append(buf, n);
        if (pclose(p) != 0) return -1;
        double t = children_cpu() - t0;
        if (t < best) best = t;
        out = o;
    }
    return best;
}

}  // namespace

int main() {
    fs::path self = fs::canonical("/proc/self/exe").parent_path();
    fs::path vexel = self / "vexel-lua";
    fs::path dir = fs::path(__FILE__).parent_path() / "lua";
    if (std::system("lua5.2 -v >/dev/null 2>&1") != 0) {
        std::printf("lua5.2 is not installed (apt-get install lua5.2)\n");
        return 1;
    }
    std::vector<fs::path> programs;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".lua") programs.push_back(e.path());
    std::sort(programs.begin(), programs.end());
    std::printf("%-14s %10s %10s %8s\n", "program", "vexel s", "lua5.2 s", "ratio");
    double logsum = 0;
    int count = 0;
    bool ok = true;
    for (const auto& p : programs) {
        std::string vo, so;
        double tv = best_time(vexel.string() + " " + p.string(), vo);
        double ts = best_time("lua5.2 " + p.string(), so);
        if (tv <= 0 || ts <= 0 || vo != so) {
            std::printf("%-14s failed or outputs differ\n", p.stem().c_str());
            ok = false;
            continue;
        }
        double ratio = ts / tv;
        std::printf("%-14s %10.3f %10.3f %8.2f\n", p.stem().c_str(), tv, ts, ratio);
        logsum += std::log(ratio);
        count++;
    }
    if (count > 0) std::printf("%-14s %10s %10s %8.2f\n", "geomean", "", "", std::exp(logsum / count));
    return ok ? 0 : 1;
}
