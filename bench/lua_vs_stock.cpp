// Runs each bench/lua/*.lua program with vexel-lua, with stock lua5.2 and,
// when installed, with LuaJIT's interpreter alone (`luajit -joff`), the
// three side by side (in CPU seconds of the child process, which other
// load on the machine disturbs less than wall-clock time; the best of five
// rounds, each round running the three one after another, so that a spell
// of load on a shared machine falls on all three alike). Prints the times and the time ratios against lua5.2 (vexel/lua5.2
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

constexpr int kRounds = 5;

double children_cpu() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU time of one run of a command in seconds (-1 if it failed), and its
// output.
double run_time(const std::string& cmd, std::string& out) {
    double t0 = children_cpu();
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::string o;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.append(buf, n);
    if (pclose(p) != 0) return -1;
    out = o;
    return children_cpu() - t0;
}

// The best time of each command over kRounds rounds of all of them, and
// the outputs of the last round (empty for a command that failed, whose
// time is then -1).
std::vector<double> best_times(const std::vector<std::string>& cmds, std::vector<std::string>& outs) {
    std::vector<double> best(cmds.size(), 1e30);
    outs.assign(cmds.size(), "");
    for (int r = 0; r < kRounds; r++)
        for (size_t c = 0; c < cmds.size(); c++) {
            if (best[c] < 0) continue;
            const double t = run_time(cmds[c], outs[c]);
            best[c] = t < 0 ? -1 : std::min(best[c], t);
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
        std::vector<std::string> cmds = {vexel.string() + " " + p.string(), "lua5.2 " + p.string()};
        if (jit) cmds.push_back("luajit -joff " + p.string());
        std::vector<std::string> outs;
        const std::vector<double> t = best_times(cmds, outs);
        const double tv = t[0], ts = t[1], tj = jit ? t[2] : 0;
        const std::string &vo = outs[0], &so = outs[1];
        if (tv <= 0 || ts <= 0 || vo != so || (jit && (tj <= 0 || outs[2] != so))) {
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
