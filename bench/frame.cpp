// Host time of a machine frame whose program spends its whole CPU budget:
// a program that never finishes its _draw (table work, arithmetic and
// drawing calls in an endless loop) is run through the runner frame after
// frame, as the shell runs it (a slice, the screen presented, a frame of
// sound mixed). Prints the host time per machine frame and its share of
// the 33.3 ms a frame lasts at 30 frames per second (best of five runs of
// 300 frames, in CPU time of this thread, which other programs on a shared
// machine disturb far less than wall-clock time). The interpreter, the budget's count hook and the drawing
// calls all show in this figure.
//
// BENCH_FRAME_FRAMES=N runs one run of N frames instead, for callgrind
// (valgrind --tool=callgrind build/bench_frame with N=60 takes seconds).
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <vector>

#include "audio/audio.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/present.h"
#include "runtime/frame.h"
#include "runtime/machine_life.h"
#include "runtime/run.h"

namespace {

double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

constexpr const char* program =
    "t={} for i=1,256 do t[i]=i end\n"
    "function _update() end\n"
    "function _draw()\n"
    " while true do\n"
    "  for i=1,256 do\n"
    "   local v=(t[i]*3+1)%1000 t[i]=v\n"
    "   pset(i%128,flr(i/2),v%16)\n"
    "  end\n"
    "  circfill(64,64,20,8) rectfill(0,0,30,30,3)\n"
    " end\n"
    "end\n";

constexpr int default_frames = 300;

}  // namespace

int main() {
    vexel_host host;
    host.exec_mode = true;
    host.output = [](void*, const char*, size_t) {};
    vexel_machine* m = vexel_machine_create(&host);
    std::vector<int16_t> sound(1024);
    int frames = default_frames, runs = 5;
    if (const char* n = std::getenv("BENCH_FRAME_FRAMES")) {
        frames = std::max(1, std::atoi(n));
        runs = 1;
    }
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        if (!run_program(m, program)) {
            std::printf("the program did not compile\n");
            return 1;
        }
        const double start = cpu_ms();
        for (int f = 0; f < frames && m->running; ++f) {
            vexel_machine_frame(m, vexel_frame_input{});
            vexel_present_screen(m, true);
            vexel_audio_mix(m->audio, sound.data(), vexel_audio_frame_samples(30, f));
        }
        const double ms = cpu_ms() - start;
        best = std::min(best, ms / frames);
        run_suspend(m);
    }
    std::printf("full-budget frame       %8.3f ms = %.1f%% of a 33.3 ms frame\n", best, best / (1000.0 / 30) * 100);
    std::printf("script cycles per frame %8d\n", vexel_cycles_per_second / 30);
    vexel_machine_destroy(m);
    return 0;
}
