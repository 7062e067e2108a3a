// The editor frame with a fake editor in every slot: switching editors by
// keys and clicks, Escape, undo and redo steps, the clipboard, the bottom
// bar, the shell's Ctrl+S / Ctrl+R and input gathered over several passes.
#include <gtest/gtest.h>

#include <optional>

#include <SDL.h>

#include <string>

#include "app/app.h"
#include "app/editor.h"
#include "app/editor_code.h"
#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "machine/machine.h"
#include "test_support.h"

namespace {

// An editor whose whole state is a text: typed keys append to it, copy
// gives the text after the last '|' (the "selection"), paste appends what
// starts with "ok:".
struct fake_editor {
    std::string text;
    int opened = 0, updates = 0;
};
fake_editor fake;

// An editor with nothing drawn yet: no tab, skipped by Alt+arrows.
const editor_page unwritten_page = {"unwritten", nullptr, nullptr, nullptr, nullptr,
                                    nullptr,     nullptr, nullptr, nullptr, nullptr};

const editor_page fake_page = {
    "fake",
    [](vexel_machine*) { ++fake.opened; },
    [](vexel_machine*, const editor_input& in) {
        ++fake.updates;
        for (int i = 0; i < in.key_count; ++i) fake.text += char(in.keys[i]);
    },
    [](vexel_machine*, fenn_bitmap*, const editor_theme&) {},
    [](vexel_machine*, bool* warn) {
        *warn = fake.text.size() > 10;
        return std::string("status ") + fake.text;
    },
    [](vexel_machine*) { return fake.text; },
    [](vexel_machine*, const std::string& state) { fake.text = state; },
    [](vexel_machine*, bool cut) {
        const size_t bar = fake.text.find('|');
        if (bar == std::string::npos) return std::string();
        std::string sel = fake.text.substr(bar + 1);
        if (cut) fake.text.resize(bar);
        return sel;
    },
    [](vexel_machine*, const std::string& text) {
        if (text.compare(0, 3, "ok:") != 0) return false;
        fake.text += text.substr(3);
        return true;
    },
    nullptr,
};

int saves = 0, runs = 0;

struct EditorFrame : ::testing::Test {
    editor_studio_scope studio;  // the editors' state for this case alone
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;

    void SetUp() override {
        app = vexel_app{};
        fake = fake_editor{};
        saves = runs = 0;
        // The three editors with a page; the sound editors stand in as
        // editors still to be written, whose tabs stay away.
        for (int id = 0; id <= editor_map; ++id) editor_replace_page(editor_id(id), &fake_page);
        for (int id = editor_map + 1; id < editor_count; ++id) editor_replace_page(editor_id(id), &unwritten_page);
        editor_set_actions({[](vexel_machine*) { ++saves; }, [](vexel_machine*) { ++runs; }});
        editor_select(M, editor_code);
        editor_open(M);
    }

    static editor_input keys(const std::string& typed) {
        editor_input in{};
        for (char c : typed) in.keys[in.key_count++] = static_cast<unsigned char>(c);
        return in;
    }
    static editor_input chord(int scancode, bool ctrl, bool alt = false) {
        editor_input in{};
        in.pressed[scancode] = true;
        in.ctrl = ctrl;
        in.alt = alt;
        return in;
    }
    static editor_input click(int x, int y) {
        editor_input in{};
        in.mouse_x = x;
        in.mouse_y = y;
        in.buttons = in.went_down = fenn_mouse_left;
        return in;
    }
    void update(const editor_input& in) { editor_update(M, in); }
    void ctrl(char letter) { update(chord(SDL_SCANCODE_A + (letter - 'a'), true)); }
    std::string bottom() {
        bool warn = false;
        return editor_bottom_text(M, &warn);
    }
    // Lets a message run out.
    void quiet() {
        for (int i = 0; i < 200; ++i) update(editor_input{});
    }
};

}  // namespace

TEST_F(EditorFrame, AltArrowsCycleTheEditorsAndClicksOnTabsPickOne) {
    EXPECT_EQ(editor_current(), editor_code);
    const int opened = fake.opened;
    update(chord(SDL_SCANCODE_RIGHT, false, true));
    EXPECT_EQ(editor_current(), editor_sprite);
    update(chord(SDL_SCANCODE_RIGHT, false, true));
    EXPECT_EQ(editor_current(), editor_map);
    update(chord(SDL_SCANCODE_RIGHT, false, true));
    EXPECT_EQ(editor_current(), editor_code);  // round again
    update(chord(SDL_SCANCODE_LEFT, false, true));
    EXPECT_EQ(editor_current(), editor_map);
    EXPECT_EQ(fake.opened, opened + 4);  // each editor hears that it opened

    // An arrow without Alt is the editor's own.
    update(chord(SDL_SCANCODE_RIGHT, false));
    EXPECT_EQ(editor_current(), editor_map);
    EXPECT_EQ(fake.updates, 1);

    // The tabs of the top bar, left to right; a click below them is the editor's.
    update(click(1 + 23 + 3, 3));
    EXPECT_EQ(editor_current(), editor_sprite);
    update(click(2, 3));
    EXPECT_EQ(editor_current(), editor_code);
    update(click(1 + 23 + 3, editor_body_y0 + 10));
    EXPECT_EQ(editor_current(), editor_code);
    EXPECT_EQ(fake.updates, 2);
}

TEST_F(EditorFrame, EscapeLeavesAndTheEditorsReopenOnTheLastOneUsed) {
    update(chord(SDL_SCANCODE_RIGHT, false, true));
    update(keys("ab\x1b" "cd"));
    EXPECT_FALSE(editor_active());
    EXPECT_EQ(fake.text, "");  // the keys around Escape go nowhere
    update(keys("x"));         // a closed frame takes nothing
    EXPECT_EQ(fake.text, "");
    editor_open(M);
    EXPECT_TRUE(editor_active());
    EXPECT_EQ(editor_current(), editor_sprite);
}

TEST_F(EditorFrame, UndoAndRedoStepBetweenCheckpointsPerEditor) {
    // Two actions, each a checkpoint and then its edit.
    editor_checkpoint(M);
    update(keys("abc"));
    editor_checkpoint(M);
    update(keys("de"));
    ctrl('z');
    EXPECT_EQ(fake.text, "abc");
    ctrl('z');
    EXPECT_EQ(fake.text, "");
    ctrl('z');
    EXPECT_EQ(bottom(), "nothing to undo");
    ctrl('y');
    ctrl('y');
    EXPECT_EQ(fake.text, "abcde");
    ctrl('y');
    EXPECT_EQ(bottom(), "nothing to redo");

    // A new edit after an undo ends the redo steps.
    ctrl('z');
    editor_checkpoint(M);
    update(keys("X"));
    EXPECT_FALSE(editor_redo(M));
    EXPECT_TRUE(editor_undo(M));
    EXPECT_EQ(fake.text, "abc");

    // Another editor has a history of its own.
    editor_select(M, editor_map);
    EXPECT_FALSE(editor_undo(M));
    editor_select(M, editor_code);
    EXPECT_TRUE(editor_undo(M));
    EXPECT_EQ(fake.text, "");
}

TEST_F(EditorFrame, UndoKeepsTheLatestStepsUpToItsLimit) {
    for (int i = 0; i < editor_undo_steps + 20; ++i) {
        editor_checkpoint(M);
        fake.text += 'x';
    }
    int undone = 0;
    while (editor_undo(M)) ++undone;
    EXPECT_EQ(undone, editor_undo_steps);
    EXPECT_EQ(fake.text, std::string(20, 'x'));
}

TEST_F(EditorFrame, CopyCutAndPasteGoThroughTheClipboard) {
    fake.text = "keep|sel";
    ctrl('c');
    EXPECT_EQ(bottom(), "copied");
    EXPECT_EQ(fake.text, "keep|sel");
    ctrl('x');
    EXPECT_EQ(bottom(), "cut");
    EXPECT_EQ(fake.text, "keep");
    ctrl('z');  // a cut is one step
    EXPECT_EQ(fake.text, "keep|sel");
    ctrl('y');

    // The clipboard holds "sel", which this editor does not take: nothing
    // changes and the redo steps survive.
    ctrl('z');
    ctrl('v');
    EXPECT_EQ(bottom(), "nothing to paste here");
    EXPECT_EQ(fake.text, "keep|sel");
    EXPECT_TRUE(editor_redo(M));
    EXPECT_EQ(fake.text, "keep");

    // Nothing selected: no step and nothing copied.
    ctrl('x');
    EXPECT_EQ(bottom(), "nothing selected");
    EXPECT_TRUE(editor_undo(M));
    EXPECT_EQ(fake.text, "keep|sel");

    fake.text = "a|ok:pasted";
    ctrl('c');
    fake.text = "b";
    ctrl('v');
    EXPECT_EQ(fake.text, "bpasted");
    ctrl('z');
    EXPECT_EQ(fake.text, "b");
}

TEST_F(EditorFrame, TheBottomBarShowsAMessageWhileItLastsThenTheStatus) {
    fake.text = "abc";
    EXPECT_EQ(bottom(), "status abc");
    editor_message("saved game.qz");
    EXPECT_EQ(bottom(), "saved game.qz");
    quiet();
    EXPECT_EQ(bottom(), "status abc");
    fake.text = "a long text here";
    bool warn = false;
    EXPECT_EQ(editor_bottom_text(M, &warn), "status a long text here");
    EXPECT_TRUE(warn);
}

TEST_F(EditorFrame, CtrlSlashShowsAndHidesTheEditorsKeys) {
    fake.text = "abc";
    update(chord(SDL_SCANCODE_SLASH, true));
    const std::string hint = bottom();
    EXPECT_NE(hint, "status abc");
    EXPECT_LE(hint.size(), 32u);  // one line of the bottom bar
    EXPECT_EQ(fake.updates, 0);   // the key is the frame's, not the editor's
    update(chord(SDL_SCANCODE_SLASH, true));
    EXPECT_EQ(bottom(), "status abc");
}

TEST_F(EditorFrame, CtrlSAndCtrlRAreTheShells) {
    ctrl('s');
    ctrl('r');
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(fake.updates, 0);
    // S without Ctrl is typing.
    update(keys("s"));
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(fake.text, "s");
}

TEST_F(EditorFrame, EditsMarkTheCartridgeForAnUnsavedCheck) {
    M->file.check_due = false;
    editor_checkpoint(M);
    EXPECT_TRUE(M->file.check_due);
    M->file.check_due = false;
    EXPECT_TRUE(editor_undo(M));
    EXPECT_TRUE(M->file.check_due);
}

// Each owner of the editors has its own: a studio made inside another
// starts fresh, takes over while it lives and hands back the outer one as
// it was; with none the editors are closed and ignore what they are given.
TEST_F(EditorFrame, EachStudioKeepsItsOwnEditors) {
    editor_select(M, editor_sprite);
    editor_set_selected_sprite(42);
    editor_message("outer");
    editor_checkpoint(M);
    {
        editor_studio_scope inner;
        EXPECT_FALSE(editor_active());
        EXPECT_EQ(editor_current(), editor_code);
        EXPECT_EQ(editor_selected_sprite(), 1);
        EXPECT_FALSE(editor_undo(M));
        editor_open(M);
        editor_select(M, editor_map);
        EXPECT_EQ(editor_current(), editor_map);
    }
    EXPECT_TRUE(editor_active());
    EXPECT_EQ(editor_current(), editor_sprite);
    EXPECT_EQ(editor_selected_sprite(), 42);
    bool warn = false;
    EXPECT_EQ(editor_bottom_text(M, &warn), "outer");
    EXPECT_TRUE(editor_undo(M));
}

TEST(EditorStudio, WithoutOneTheEditorsAreClosedAndDoNothing) {
    vexel_test::TestMachine tm;
    ASSERT_EQ(editor_studio_current(), nullptr);  // the shell makes its own at init only
    std::optional<editor_studio_scope> only;
    only.emplace();
    EXPECT_NE(editor_studio_current(), nullptr);
    only.reset();
    EXPECT_EQ(editor_studio_current(), nullptr);
    editor_open(tm.m);
    EXPECT_FALSE(editor_active());
    editor_input in{};
    in.keys[in.key_count++] = 'x';
    editor_update(tm.m, in);
    editor_message("none");
    bool warn = false;
    EXPECT_EQ(editor_bottom_text(tm.m, &warn), "");
    EXPECT_FALSE(editor_undo(tm.m));
    EXPECT_EQ(editor_code_counts_get(tm.m, true).chars, 0);
}

TEST(EditorInput, PassesAddUpWithTheModifiersOfTheirPresses) {
    editor_input total{};
    editor_input a{};
    a.ctrl = true;
    a.pressed[SDL_SCANCODE_S] = true;
    a.buttons = a.went_down = fenn_mouse_left;
    a.wheel_y = 2;
    editor_input b{};  // Ctrl let go, the button too, one more key typed
    b.keys[b.key_count++] = 'q';
    b.went_up = fenn_mouse_left;
    b.mouse_x = 40;
    b.wheel_y = -1;
    editor_merge_input(&total, a);
    editor_merge_input(&total, b);
    EXPECT_TRUE(total.pressed[SDL_SCANCODE_S]);
    EXPECT_FALSE(total.ctrl);  // the later press of 'q' went without Ctrl
    EXPECT_EQ(total.key_count, 1);
    EXPECT_EQ(total.went_down, fenn_mouse_left);
    EXPECT_EQ(total.went_up, fenn_mouse_left);
    EXPECT_EQ(total.buttons, 0);
    EXPECT_EQ(total.mouse_x, 40);
    EXPECT_EQ(total.wheel_y, 1);

    // Ctrl+S in one pass and nothing in the next stays Ctrl+S.
    editor_input c{};
    editor_merge_input(&c, a);
    editor_merge_input(&c, editor_input{});
    EXPECT_TRUE(editor_ctrl_key(c, 's'));

    // Typed keys beyond what one update holds are dropped, not overrun.
    editor_input many{};
    editor_input one{};
    one.key_count = editor_keys_max;
    for (int i = 0; i < 3; ++i) editor_merge_input(&many, one);
    EXPECT_EQ(many.key_count, editor_keys_max);
}

TEST(EditorInput, TheHostsMarkOfAKeyThatTypesNothingIsNoKey) {
    fenn_flush_keys();
    fenn_push_key(-1);
    fenn_push_key('a');
    editor_input in{};
    editor_read_host_input(&in);
    ASSERT_EQ(in.key_count, 1);
    EXPECT_EQ(in.keys[0], 'a');
}
