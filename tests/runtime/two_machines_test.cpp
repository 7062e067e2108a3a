// Two machines in one process share nothing: run frame by frame in turn, each
// prints, draws and sounds exactly as it does alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "machine/machine.h"
#include "runtime/frame.h"
#include "runtime/run.h"
#include "test_support.h"

namespace {

// Random numbers, a table that grows, drawing through the draw state, and a
// sound effect written into memory and played.
const char* const program_a = R"(
function note(a, v) poke(a, v % 256) poke(a + 1, flr(v / 256)) end
function _init()
  for i=0,7 do note(0x3200+68*3+2*i, 24+i*3 + 2*64 + 5*512) end
  poke(0x3200+68*3+65, 4)
  sfx(3)
  pts = {}
end
function _update()
  add(pts, {rnd(128), rnd(128), flr(rnd(15))+1})
  if #pts % 7 == 0 then printh("a "..#pts.." "..tostr(rnd(), true)) end
end
function _draw()
  cls(1)
  camera(t()*10 % 8, 0)
  for p in all(pts) do circfill(p[1], p[2], 2, p[3]) end
  print("a:"..stat(1), 2, 2, 7)
end
)";

// Its own seed, its own palette and clipping, another voice and waveform,
// and a loop of its own making with flip().
const char* const program_b = R"(
function note(a, v) poke(a, v % 256) poke(a + 1, flr(v / 256)) end
srand(42)
for i=0,15 do note(0x3200+68*9+2*i, 40-i + 4*64 + 3*512 + 1*4096) end
poke(0x3200+68*9+65, 2)
sfx(9, 2)
pal(7, 8)
clip(10, 10, 100, 100)
x = 0
while true do
  x += 1
  rectfill(x % 128, 0, x % 128 + 3, 127, x % 16)
  line(0, x % 128, 127, 127 - x % 128, 7)
  if x % 10 == 0 then printh("b "..x.." "..flr(rnd(1000))) end
  flip()
end
)";

// What one machine produced over its frames.
struct Produced {
    std::string output;
    std::vector<std::string> screens;  // screen memory after each frame
    std::vector<int16_t> sound;
};

class Runner {
public:
    explicit Runner(const char* program) {
        tm_.host.seeded = true;
        tm_.host.seed = 1234;
        EXPECT_EQ(run_program(tm_.m, program), 1);
    }
    // One frame the way the shell runs it, then that frame's sound.
    void frame() {
        vexel_machine* m = tm_.m;
        vexel_machine_frame(m, vexel_frame_input{});
        run_.screens.emplace_back(m->screen->pix.begin(), m->screen->pix.end());
        const int n = vexel_audio_frame_samples(30, frames_++);
        const size_t at = run_.sound.size();
        run_.sound.resize(at + size_t(n));
        vexel_audio_mix(m->audio, run_.sound.data() + at, n);
    }
    const Produced& result() {
        run_.output = tm_.output;
        return run_;
    }

private:
    vexel_test::TestMachine tm_;
    Produced run_;
    int64_t frames_ = 0;
};

constexpr int frames = 60;

Produced solo(const char* program) {
    Runner r(program);
    for (int i = 0; i < frames; ++i) r.frame();
    return r.result();
}

void expect_same(const Produced& alone, const Produced& together, const char* name) {
    SCOPED_TRACE(name);
    EXPECT_EQ(alone.output, together.output);
    ASSERT_EQ(alone.screens.size(), together.screens.size());
    for (size_t i = 0; i < alone.screens.size(); ++i)
        ASSERT_TRUE(alone.screens[i] == together.screens[i]) << "screens differ after frame " << i;
    EXPECT_TRUE(alone.sound == together.sound);
}

TEST(TwoMachines, FramesInTurnGiveWhatEachGivesAlone) {
    const Produced a = solo(program_a);
    const Produced b = solo(program_b);
    // The programs did something worth comparing.
    EXPECT_NE(a.output.find("a 56 "), std::string::npos) << a.output;
    EXPECT_NE(b.output.find("b 60 "), std::string::npos) << b.output;
    EXPECT_NE(a.screens.front(), a.screens.back());
    EXPECT_NE(b.screens[10], b.screens[11]);
    auto loud = [](const std::vector<int16_t>& s) {
        for (int16_t v : s)
            if (v > 1000 || v < -1000) return true;
        return false;
    };
    EXPECT_TRUE(loud(a.sound));
    EXPECT_TRUE(loud(b.sound));
    EXPECT_NE(a.output, b.output);

    // Both alive at once, frames interleaved A, B, A, B ...
    {
        Runner ra(program_a);
        Runner rb(program_b);
        for (int i = 0; i < frames; ++i) {
            ra.frame();
            rb.frame();
        }
        expect_same(a, ra.result(), "a beside b");
        expect_same(b, rb.result(), "b beside a");
    }

    // Twice the same program side by side, one made while the other runs
    // and destroyed before it.
    {
        Runner first(program_a);
        for (int i = 0; i < frames / 2; ++i) first.frame();
        Produced second_run;
        {
            Runner second(program_a);
            for (int i = 0; i < frames; ++i) {
                second.frame();
                if (i < frames / 2) first.frame();
            }
            second_run = second.result();
        }
        expect_same(a, first.result(), "the first of two");
        expect_same(a, second_run, "the second of two");
    }
}

}  // namespace
