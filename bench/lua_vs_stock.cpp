// Runs each bench/lua/*.lua program with vexel-lua, with stock lua5.2 and,
// when installed, with LuaJIT's interpreter alone (`luajit -joff`), the
// three side by side (best of three runs each, in CPU seconds of the child
// process, which other load on the machine disturbs less than wall-clock
// time). Prints the times and the time ratios against lua5.2 (vexel/lua5.2
// and luajit/lua5.2: below 1 means faster than stock), then the geometric
// mean of each ratio over all programs. All must print the same output.
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
    fs::path dir = fs::path(VEXEL_BENCH_DIR) / "lua";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::printf("the bench programs are not in %s\n", dir.c_str());
        return 1;
    }
    if (std::system("lua5.2 -v >/dev/null 2>&1") != 0) {
        std::printf("lua5.2 is not installed (apt-get install lua5.2)\n");
        return 1;
    }
    std::vector<fs::path> programs;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".lua") programs.push_back(e.path());
    std::sort(programs.begin(), programs.end());
    bool jit = std::system("luajit -v >/dev/null 2>&1") == 0;
    if (!jit) std::printf("luajit is not installed (apt-get install luajit): its column is left out\n");
    std::printf("%-12s %8s %8s %8s %11s %11s\n", "program", "vexel s", "lua5.2 s", "luajit s", "vexel/lua", "luajit/lua");
    double logv = 0, logj = 0, worst = 0;
    int count = 0;
    bool ok = true;
    for (const auto& p : programs) {
        std::string vo, so, jo;
        double tv = best_time(vexel.string() + " " + p.string(), vo);
        double ts = best_time("lua5.2 " + p.string(), so);
        double tj = jit ? best_time("luajit -joff " + p.string(), jo) : 0;
        if (tv <= 0 || ts <= 0 || vo != so || (jit && (tj <= 0 || jo != so))) {
            std::printf("%-12s failed or outputs differ\n", p.stem().c_str());
            ok = false;
            continue;
        }
        std::printf("%-12s %8.3f %8.3f %8.3f %11.2f %11.2f\n", p.stem().c_str(), tv, ts, tj, tv / ts, tj / ts);
        logv += std::log(tv / ts);
        if (jit) logj += std::log(tj / ts);
        worst = std::max(worst, tv / ts);
        count++;
    }
    if (count > 0)
        std::printf("%-12s %8s %8s %8s %11.3f %11.3f\n%-12s %8s %8s %8s %11.2f\n", "geomean", "", "", "",
                    std::exp(logv / count), jit ? std::exp(logj / count) : 0.0, "worst", "", "", "", worst);
    return ok ? 0 : 1;
}
