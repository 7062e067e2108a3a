// Cold start: how long a person waits from starting a program to its first
// output. Runs, as separate processes beside this bench:
//   - `vexel -x` on a one-line cartridge (load the data file, make the
//     machine, compile, run one frame, quit);
//   - `vexel-lua` on an empty script (the interpreter alone).
// Prints the best wall-clock time of eleven runs of each and the CPU time
// of that run (the wall figure is what a person sees; the CPU figure is the
// one a busy shared machine disturbs less).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

constexpr int kRuns = 11;

double now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double children_cpu_ms() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

struct Timing {
    double wall = 1e30;
    double cpu = 0;
    bool ok = true;
};

// Runs argv with its output thrown away, kRuns times; the best wall time.
Timing measure(std::vector<std::string> args) {
    Timing best;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    for (int r = 0; r < kRuns; r++) {
        double c0 = children_cpu_ms();
        double t0 = now_ms();
        pid_t pid;
        if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
            best.ok = false;
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        double wall = now_ms() - t0;
        double cpu = children_cpu_ms() - c0;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) best.ok = false;
        if (wall < best.wall) {
            best.wall = wall;
            best.cpu = cpu;
        }
    }
    posix_spawn_file_actions_destroy(&fa);
    return best;
}

void report(const char* what, const Timing& t) {
    if (!t.ok)
        std::printf("%-28s failed\n", what);
    else
        std::printf("%-28s %8.1f ms wall %8.1f ms cpu\n", what, t.wall, t.cpu);
}

}  // namespace

int main() {
    fs::path self = fs::canonical("/proc/self/exe").parent_path();
    fs::path tmp = fs::temp_directory_path() / ("vexel_cold_start_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    fs::path cart = tmp / "hello.qz";
    std::ofstream(cart) << "vexel cartridge // bench\nversion 15\n__lua__\nprint(\"hello\")\n";
    fs::path script = tmp / "empty.lua";
    std::ofstream(script) << "\n";
    // The console keeps its settings and save data under HOME.
    setenv("HOME", tmp.c_str(), 1);
    report("vexel -x (one-line cart)", measure({(self / "vexel").string(), "-x", cart.string()}));
    report("vexel-lua (empty script)", measure({(self / "vexel-lua").string(), script.string()}));
    std::error_code ec;
    fs::remove_all(tmp, ec);
    return 0;
}
