// The frame step every front end, the board builder, tests and benches run.
#include <gtest/gtest.h>

#include <string>

#include "machine/machine.h"
#include "runtime/frame.h"
#include "runtime/run.h"
#include "test_support.h"

namespace {

// Counts the front end's key calls and what the buttons were when it ran.
struct KeysSeen {
    int calls = 0;
    int held_x_before = -1;
};

void note_keys(vexel_machine* m, void* context) {
    auto* seen = static_cast<KeysSeen*>(context);
    seen->calls++;
    seen->held_x_before = m->buttons.state[0][5];
}

}  // namespace

TEST(FrameStep, AProgramWithoutMainLoopGetsTimeAndGivenButtonsEachFrame) {
    vexel_test::TestMachine tm;
    ASSERT_EQ(run_program(tm.m, "while true do printh(t()..' '..btn()) flip() end"), 1);
    KeysSeen seen;
    vexel_frame_input input;
    input.front_end_keys = note_keys;
    input.context = &seen;
    // Each frame counts time() up before the program runs and samples the
    // given bits; the front end's keys see the previous frame's sample.
    for (uint16_t held : {0, 1 << 5 /* X of player 0 */, 1 << 8 /* left of player 1 */}) {
        input.held = held;
        EXPECT_EQ(vexel_machine_frame(tm.m, input), frame_ran);
    }
    EXPECT_EQ(tm.output, "0.0333 0\n0.0667 32\n0.1 256\n");
    EXPECT_EQ(seen.calls, 3);
    EXPECT_EQ(seen.held_x_before, 1);
    EXPECT_EQ(tm.m->program_frame, 3);
}

TEST(FrameStep, HeldFramesRunNothingAndSkipTheFrontEndKeys) {
    vexel_test::TestMachine tm;
    ASSERT_EQ(run_program(tm.m, "function _update() printh(t()) end"), 1);
    KeysSeen seen;
    vexel_frame_input input;
    input.front_end_keys = note_keys;
    input.context = &seen;
    vexel_machine_frame(tm.m, input);
    const std::string first = tm.output;
    tm.output.clear();
    seen.calls = 0;
    tm.m->hold_frames = 2;
    EXPECT_EQ(vexel_machine_frame(tm.m, input), frame_held);
    EXPECT_EQ(vexel_machine_frame(tm.m, input), frame_held);
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(tm.output, "");
    EXPECT_EQ(vexel_machine_frame(tm.m, input), frame_ran);
    EXPECT_EQ(vexel_machine_frame(tm.m, input), frame_ran);
    EXPECT_EQ(seen.calls, 2);
    // The generated main loop counts its own frames, one per update: the
    // held frames did not advance time().
    EXPECT_EQ(first, "0.0667\n");
    EXPECT_EQ(tm.output, "0.1\n0.1333\n");
}

TEST(FrameStep, GivenButtonsReachTheGeneratedMainLoopAndBtnp) {
    vexel_test::TestMachine tm;
    ASSERT_EQ(run_program(tm.m, "function _update() printh(btn()..' '..btnp()) end"), 1);
    vexel_frame_input input;
    const uint16_t pattern[] = {0, 2, 2, 0, 2};
    for (uint16_t held : pattern) {
        input.held = held;
        vexel_machine_frame(tm.m, input);
    }
    // Each update sees the previous frame's sample; btnp only on the press.
    EXPECT_EQ(tm.output, "0 0\n0 0\n2 2\n2 0\n0 0\n");
}

TEST(FrameStep, TheResetEffectKeepsTheProgramFromRunning) {
    vexel_test::TestMachine tm;
    ASSERT_EQ(run_program(tm.m, "function _update() printh('u') end"), 1);
    tm.m->reset_glitch = 3;
    vexel_machine_frame(tm.m, vexel_frame_input{});
    EXPECT_EQ(tm.output, "");
    tm.m->reset_glitch = 0;
    vexel_machine_frame(tm.m, vexel_frame_input{});
    EXPECT_EQ(tm.output, "u\n");
}

// The console's yield passes nothing back to coresume, whatever it is
// given, and takes what coresume passes. A coroutine whose work outlasts
// a frame's budget is suspended with its program and carries on in the
// next frame where it stopped.
TEST(FrameStep, CoroutinesYieldNothingAndOutlastFrames) {
    vexel_test::TestMachine tm;
    ASSERT_EQ(run_program(tm.m, R"(
        co = cocreate(function(a)
          local s = 0
          for i = 1, 3 do
            for k = 1, 4 do for j = 1, 30000 do s = (s + j) % 1000 end end
            printh("in " .. tostr(yield(i, s)))
          end
          return "end", s
        end)
        n = 0
        function _update()
          n += 1
          if costatus(co) != "dead" then
            local r = {coresume(co, n)}
            printh(n .. ": " .. #r .. " " .. tostr(r[1]) .. " " .. tostr(r[2]) .. " " .. tostr(r[3]))
          end
        end)"),
              1);
    int frames = 0;
    for (; frames < 40 && tm.output.find("end") == std::string::npos; ++frames)
        vexel_machine_frame(tm.m, vexel_frame_input{});
    EXPECT_EQ(tm.output,
              "1: 1 true [nil] [nil]\nin 2\n2: 1 true [nil] [nil]\nin 3\n3: 1 true [nil] [nil]\nin 4\n"
              "4: 3 true end 0\n");
    EXPECT_GT(frames, 4);  // more frames than updates: the budget cut into the coroutine's work
}
