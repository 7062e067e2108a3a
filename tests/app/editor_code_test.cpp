// The code editor driven as the frame drives it: editor_input records fed
// to the page, the tabs and the working cartridge checked afterwards.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/editor.h"
#include "app/editor_code.h"
#include "cart/cart.h"
#include "cart/cart_include.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_input.h"
#include "framework/fenn_platform.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "runtime/token.h"
#include "test_support.h"

namespace {

class CodeEditor : public ::testing::Test {
protected:
    editor_studio_scope studio;  // the editors' state for this case alone
    vexel_test::TestMachine tm;
    vexel_machine* m = tm.m;
    fenn_pod* font = nullptr;

    void SetUp() override {
        font = vexel_create_console_font();
        m->console_font = font;
        settings.shift_glyphs = true;
        editor_select(m, editor_code);
    }
    void TearDown() override {
        m->console_font = nullptr;
        fenn_destroy_pod(font);
    }

    // The program's tabs (the rest emptied), tab 0 open, cursor at the start.
    void load(const std::vector<std::string>& tabs) {
        for (int t = 0; t < vexel_code_tabs; ++t) {
            const std::string s = t < int(tabs.size()) ? tabs[size_t(t)] : "";
            std::memcpy(m->code_tabs[t], s.c_str(), s.size() + 1);
        }
        vexel_merge_code_from_tabs(m);
        editor_code_goto(m, 0, 1);
        editor_code_page.open(m);
    }

    // The page is driven directly: the settings the frame would put into
    // its input are the fixture's.
    editor_settings settings;
    void update(const editor_input& in) {
        editor_input with = in;
        with.settings = settings;
        editor_code_page.update(m, with);
    }
    void idle(int updates) {
        for (int i = 0; i < updates; ++i) update(editor_input{});
    }
    // Each character typed in an update of its own, as a person types.
    void type(const std::string& s, bool shift = false) {
        for (unsigned char c : s) key(c, shift);
    }
    void key(int code, bool shift = false) {
        editor_input in{};
        in.keys[0] = code;
        in.key_count = 1;
        in.shift = shift;
        update(in);
    }
    void press(int scancode, bool shift = false, bool ctrl = false) {
        editor_input in{};
        in.pressed[scancode] = true;
        in.shift = shift;
        in.ctrl = ctrl;
        update(in);
    }
    void ctrl(char letter, bool shift = false) { press(SDL_SCANCODE_A + (letter - 'a'), shift, true); }
    void click(int x, int y, bool release = true) {
        editor_input in{};
        in.mouse_x = x;
        in.mouse_y = y;
        in.buttons = fenn_mouse_left;
        in.went_down = fenn_mouse_left;
        update(in);
        if (release) {
            in.buttons = 0;
            in.went_down = 0;
            in.went_up = fenn_mouse_left;
            update(in);
        }
    }
    std::string tab(int t) const { return m->code_tabs[t]; }
    std::string cart_code() const { return m->working_cart->code; }
    editor_code_cursor cur() { return editor_code_cursor_get(m); }
    void expect_at(int line, int col) {
        const editor_code_cursor c = cur();
        EXPECT_EQ(c.line, line);
        EXPECT_EQ(c.col, col);
    }
};

// ---- typing and line editing --------------------------------------------------------

TEST_F(CodeEditor, TypingEnterBackspaceAndDeleteEditTheTabAndTheCartridge) {
    load({"  if a then"});
    press(SDL_SCANCODE_END, false, true);
    key(13);
    type("b=1");
    EXPECT_EQ(tab(0), "  if a then\n  b=1");  // Enter keeps the indentation
    EXPECT_EQ(cart_code(), tab(0));           // the record follows every edit
    expect_at(1, 5);

    // Backspace at a line start joins the lines; Delete at a line end too.
    press(SDL_SCANCODE_HOME, false, false);   // to the first non-blank
    expect_at(1, 2);
    press(SDL_SCANCODE_HOME);                 // and then to the line start
    expect_at(1, 0);
    key(8);
    EXPECT_EQ(tab(0), "  if a then  b=1");
    expect_at(0, 11);
    press(SDL_SCANCODE_END);
    press(SDL_SCANCODE_DELETE);               // nothing after the end
    EXPECT_EQ(tab(0), "  if a then  b=1");
    key(8);
    EXPECT_EQ(tab(0), "  if a then  b=");
    EXPECT_EQ(cur().lines, 1);
}

TEST_F(CodeEditor, SelectionWithShiftIsReplacedOrDeleted) {
    load({"abc\ndef\nghi"});
    press(SDL_SCANCODE_RIGHT);
    press(SDL_SCANCODE_DOWN, true);
    press(SDL_SCANCODE_RIGHT, true);
    const editor_code_cursor c = cur();
    EXPECT_EQ(c.anchor_line, 0);
    EXPECT_EQ(c.anchor_col, 1);
    expect_at(1, 2);
    key('X');  // shift_glyphs needs Shift: a plain upper-case letter types itself
    EXPECT_EQ(tab(0), "aXf\nghi");
    press(SDL_SCANCODE_LEFT, true);
    press(SDL_SCANCODE_LEFT, true);
    press(SDL_SCANCODE_DELETE);
    EXPECT_EQ(tab(0), "f\nghi");
    // Left without Shift collapses a selection to its start.
    press(SDL_SCANCODE_END, true);
    press(SDL_SCANCODE_LEFT);
    expect_at(0, 0);
}

TEST_F(CodeEditor, WordMovesHomeEndAndTheTextEnds) {
    load({"   foo.bar baz\nqux"});
    press(SDL_SCANCODE_RIGHT, false, true);
    expect_at(0, 6);
    press(SDL_SCANCODE_RIGHT, false, true);
    expect_at(0, 10);
    press(SDL_SCANCODE_RIGHT, false, true);
    expect_at(0, 14);
    press(SDL_SCANCODE_RIGHT, false, true);  // across the line break
    expect_at(1, 3);
    press(SDL_SCANCODE_LEFT, false, true);
    expect_at(1, 0);
    press(SDL_SCANCODE_LEFT, false, true);
    expect_at(0, 11);
    press(SDL_SCANCODE_END);
    expect_at(0, 14);
    press(SDL_SCANCODE_HOME);
    expect_at(0, 3);
    press(SDL_SCANCODE_END, false, true);
    expect_at(1, 3);
    press(SDL_SCANCODE_HOME, true, true);  // Shift+Ctrl+Home selects to the start
    EXPECT_EQ(cur().anchor_line, 1);
    expect_at(0, 0);
}

TEST_F(CodeEditor, UpAndDownKeepTheColumnAndPagesMoveByAScreen) {
    std::string program;
    for (int i = 0; i < 100; ++i) program += i % 2 ? "x\n" : "abcdef\n";
    load({program});
    press(SDL_SCANCODE_END);
    press(SDL_SCANCODE_DOWN);
    expect_at(1, 1);
    press(SDL_SCANCODE_DOWN);
    expect_at(2, 6);  // back to the column it came from
    press(SDL_SCANCODE_PAGEDOWN);
    EXPECT_GT(cur().line, 10);
    EXPECT_GE(cur().line, cur().scroll_line);
    press(SDL_SCANCODE_PAGEUP);
    expect_at(2, 6);
}

TEST_F(CodeEditor, TabIndentsAndShiftTabUnindentsTheSelectedLines) {
    load({"a\n\tb\n\nc\nd"});
    press(SDL_SCANCODE_DOWN, true);
    press(SDL_SCANCODE_DOWN, true);
    press(SDL_SCANCODE_DOWN, true);  // lines 0-2 and the start of line 3
    key(9);
    EXPECT_EQ(tab(0), " a\n \tb\n\nc\nd");  // empty lines and a line the selection only touches stay
    key(9, true);
    key(9, true);
    EXPECT_EQ(tab(0), "a\nb\n\nc\nd");
    editor_undo(m);
    EXPECT_EQ(tab(0), "a\n\tb\n\nc\nd");  // each indent is its own step

    // Without a selection Tab types one space and Shift+Tab unindents the line.
    load({"x"});
    key(9);
    EXPECT_EQ(tab(0), " x");
    key(9, true);
    EXPECT_EQ(tab(0), "x");
    expect_at(0, 0);
}

// ---- tabs ------------------------------------------------------------------------------

TEST_F(CodeEditor, NewTabsAreJoinedIntoTheProgramAndCycled) {
    load({"x=1"});
    // The tab bar: "0" at x 1-5, then "+" after it.
    click(8, editor_body_y0 + 3);
    EXPECT_EQ(vexel_current_code_tab(m), 1);
    EXPECT_EQ(cart_code(), "x=1\n-->8\n");
    type("y=2");
    EXPECT_EQ(cart_code(), "x=1\n-->8\ny=2");
    click(2, editor_body_y0 + 3);
    EXPECT_EQ(cur().tab, 0);
    press(SDL_SCANCODE_TAB, false, true);
    EXPECT_EQ(cur().tab, 1);
    press(SDL_SCANCODE_TAB, false, true);
    EXPECT_EQ(cur().tab, 0);  // wraps round the tabs in use
    press(SDL_SCANCODE_TAB, true, true);
    EXPECT_EQ(cur().tab, 1);
    expect_at(0, 3);          // each tab keeps its cursor
    // An empty last tab drops out of the program once left.
    click(14, editor_body_y0 + 3);
    EXPECT_EQ(cur().tab, 2);
    press(SDL_SCANCODE_TAB, false, true);
    EXPECT_EQ(cur().tab, 0);
    EXPECT_EQ(cart_code(), "x=1\n-->8\ny=2");
}

// ---- search and go to line -----------------------------------------------------------

TEST_F(CodeEditor, FindWrapsAndGoToLineClamps) {
    load({"ab\nx ab\nab"});
    ctrl('f');
    type("ab");
    key(13);
    expect_at(0, 2);  // the match is selected, the cursor after it
    EXPECT_EQ(cur().anchor_col, 0);
    key(13);
    expect_at(1, 4);
    press(SDL_SCANCODE_F3);
    expect_at(2, 2);
    press(SDL_SCANCODE_F3);
    expect_at(0, 2);  // round to the start
    // Typing goes to the find line, not the program; arrows give it back.
    EXPECT_EQ(tab(0), "ab\nx ab\nab");
    key(8);
    key(8);
    type("zz");
    key(13);
    expect_at(0, 2);  // not found: the cursor stays
    press(SDL_SCANCODE_RIGHT);
    type("!");
    EXPECT_EQ(tab(0), "ab!\nx ab\nab");

    // Escape closes the find line first (the frame asks before it closes
    // the editors); typing then goes to the program again.
    ctrl('f');
    EXPECT_TRUE(editor_code_page.escape(m));
    EXPECT_FALSE(editor_code_page.escape(m));
    type("?");
    EXPECT_EQ(tab(0), "ab!?\nx ab\nab");

    ctrl('l');
    type("3");
    key(13);
    expect_at(2, 0);
    ctrl('l');
    type("999");
    key(13);
    expect_at(2, 0);
    editor_code_goto(m, 0, -5);
    expect_at(0, 0);
    // Find starts with the selected text.
    editor_code_goto(m, 0, 3);
    press(SDL_SCANCODE_END, true);
    ctrl('f');
    key(13);
    expect_at(0, 2);
}

TEST_F(CodeEditor, ReplaceOneAtATimeOrAllAsOneUndoStep) {
    const auto bottom = [&] {
        bool warn = false;
        return editor_bottom_text(m, &warn);
    };
    load({"a=foo\nb=foo+foo\nfoo()"});
    ctrl('h');
    type("foo");
    key(13);  // the text to find: the first match is selected
    EXPECT_EQ(cur().anchor_col, 2);
    expect_at(0, 5);
    type("bar");
    key(13);  // replaces the selected match and selects the next
    EXPECT_EQ(tab(0), "a=bar\nb=foo+foo\nfoo()");
    EXPECT_EQ(cur().anchor_line, 1);
    EXPECT_EQ(cur().anchor_col, 2);
    EXPECT_EQ(bottom(), "replaced 1");
    key(13, true);  // Shift+Enter: every match left, at once
    EXPECT_EQ(tab(0), "a=bar\nb=bar+bar\nbar()");
    EXPECT_EQ(cart_code(), tab(0));
    EXPECT_EQ(bottom(), "replaced 3");
    key(13, true);
    EXPECT_EQ(bottom(), "not found");

    // One undo takes back the whole replace-all; the next the single one.
    EXPECT_TRUE(editor_undo(m));
    EXPECT_EQ(tab(0), "a=bar\nb=foo+foo\nfoo()");
    EXPECT_TRUE(editor_undo(m));
    EXPECT_EQ(tab(0), "a=foo\nb=foo+foo\nfoo()");

    // A replacement that contains the text found is not replaced again, and
    // one that would pass the character limit changes nothing.
    EXPECT_TRUE(editor_code_page.escape(m));  // the line was still open
    ctrl('h');  // opens with the last text found
    key(13);
    for (int i = 0; i < 3; ++i) key(8);
    type("foofoo");
    key(13, true);
    EXPECT_EQ(tab(0), "a=foofoo\nb=foofoo+foofoo\nfoofoo()");
    std::string big(size_t(vexel_code_max) - 40, 'x');
    load({big + "\nfoo foo"});
    ctrl('h');
    key(13);  // "foo" again
    type(std::string(30, 'y'));
    key(13, true);
    EXPECT_EQ(tab(0), big + "\nfoo foo");
    EXPECT_EQ(bottom(), "too long: 65535 chars at most");
}

TEST_F(CodeEditor, GotoOpensTheTabAtTheLineAndScrollsToIt) {
    std::string tab1;
    for (int i = 1; i <= 200; ++i) tab1 += "line" + std::to_string(i) + "\n";
    load({"a", tab1});
    editor_code_goto(m, 1, 150);
    EXPECT_EQ(vexel_current_code_tab(m), 1);
    expect_at(149, 0);
    EXPECT_LE(cur().scroll_line, 149);
    EXPECT_GT(cur().scroll_line + 10, 149);
    EXPECT_EQ(editor_current(), editor_code);
}

// ---- undo --------------------------------------------------------------------------------

TEST_F(CodeEditor, TypingRunsAndPastesAreOneUndoStepEach) {
    load({""});
    type("abc");
    key(13);
    type("de");
    key(13);
    type("xyz");
    // Enter ends a run: one undo takes back the last line typed only.
    EXPECT_TRUE(editor_undo(m));
    EXPECT_EQ(tab(0), "abc\nde\n");
    EXPECT_TRUE(editor_undo(m));
    EXPECT_EQ(tab(0), "abc\n");
    EXPECT_TRUE(editor_undo(m));
    EXPECT_EQ(tab(0), "");
    EXPECT_FALSE(editor_undo(m));
    EXPECT_TRUE(editor_redo(m));
    EXPECT_TRUE(editor_redo(m));
    EXPECT_EQ(tab(0), "abc\nde\n");
    key(8);  // the last Enter taken back by hand
    expect_at(1, 2);

    // A pause, a cursor move or a different kind of edit starts a new run.
    press(SDL_SCANCODE_END);
    idle(40);
    type("f");
    key(8);
    key(8);
    press(SDL_SCANCODE_LEFT);
    type("g");
    EXPECT_EQ(tab(0), "abc\ngd");
    editor_undo(m);
    EXPECT_EQ(tab(0), "abc\nd");
    editor_undo(m);
    EXPECT_EQ(tab(0), "abc\ndef");
    editor_undo(m);
    EXPECT_EQ(tab(0), "abc\nde");

    // Paste, as the frame does it: a checkpoint, then the page's paste.
    editor_checkpoint(m);
    ASSERT_TRUE(editor_code_page.paste(m, "1\n2\n3"));
    type("4");
    EXPECT_EQ(tab(0), "abc\nde1\n2\n34");
    editor_undo(m);
    editor_undo(m);
    EXPECT_EQ(tab(0), "abc\nde");
}

TEST_F(CodeEditor, UndoRestoresEveryTabAndTheOpenTab) {
    load({"one", "two"});
    const std::string before = editor_code_page.save_state(m);
    editor_code_goto(m, 1, 1);
    type("x");
    editor_code_page.load_state(m, before);
    EXPECT_EQ(cur().tab, 0);
    EXPECT_EQ(tab(1), "two");
    EXPECT_EQ(cart_code(), "one\n-->8\ntwo");
    // A damaged state changes nothing.
    std::string bad = before;
    bad.resize(bad.size() - 2);
    editor_code_goto(m, 1, 1);
    type("y");
    editor_code_page.load_state(m, bad);
    editor_code_page.load_state(m, "");
    editor_code_page.load_state(m, std::string(200, '\xff'));
    EXPECT_EQ(tab(1), "ytwo");
}

TEST_F(CodeEditor, AProgramChangedElsewhereIsReadAfresh) {
    load({"old text here"});
    press(SDL_SCANCODE_END);
    std::strcpy(m->code_tabs[0], "new\nprogram text");  // a cartridge loaded meanwhile
    type("!");
    EXPECT_EQ(tab(0), "!new\nprogram text");
    EXPECT_EQ(cur().lines, 2);
    // Opened again after a change of one byte that keeps the length (in the
    // last few bytes, then in the middle), it reads the program afresh: the
    // cursor starts again from the top. Opened again with no change, the
    // cursor stays.
    for (size_t at : {size_t(16), size_t(6)}) {
        press(SDL_SCANCODE_END);
        m->code_tabs[0][at] = '\n';
        editor_code_page.open(m);
        type("?");
        EXPECT_EQ(tab(0)[0], '?') << at;
    }
    press(SDL_SCANCODE_END);
    editor_code_page.open(m);
    type("+");
    EXPECT_NE(tab(0)[0], '+');
}

// ---- clipboard ---------------------------------------------------------------------------

TEST_F(CodeEditor, CopyCutAndPasteRoundTripGlyphsAndCleanHostText) {
    const std::string glyph_line = "btn(\x8b) \x80\x99";
    load({glyph_line + "\nend"});
    EXPECT_EQ(editor_code_page.copy(m, false), "");  // nothing selected
    press(SDL_SCANCODE_END, true);
    const std::string copied = editor_code_page.copy(m, false);
    EXPECT_EQ(copied, "btn(\u2b05\ufe0f) \u2588\u25a5");
    editor_checkpoint(m);
    EXPECT_EQ(editor_code_page.copy(m, true), copied);
    EXPECT_EQ(tab(0), "\nend");
    press(SDL_SCANCODE_END, false, true);
    editor_checkpoint(m);
    ASSERT_TRUE(editor_code_page.paste(m, copied));
    EXPECT_EQ(tab(0), "\nend" + glyph_line);
    // Host line breaks become '\n'; a NUL never enters the tab.
    load({""});
    ASSERT_TRUE(editor_code_page.paste(m, std::string("a\r\nb\rc\0d", 8)));
    EXPECT_EQ(tab(0), "a\nb\ncd");
    EXPECT_EQ(cur().lines, 3);
    EXPECT_FALSE(editor_code_page.paste(m, ""));
}

TEST_F(CodeEditor, TypedGlyphsComeFromShiftLettersAndHostCharacters) {
    load({""});
    key('A', true);
    key('Z', true);
    key(fenn_typed_unicode + 0x2b05);
    key(fenn_typed_unicode + 0xfe0f);  // the emoji selector types nothing
    key(fenn_typed_unicode + 0x4e00);  // a character the machine has not
    EXPECT_EQ(tab(0), "\x80\x99\x8b?");
    settings.shift_glyphs = false;
    key('A', true);
    EXPECT_EQ(tab(0), "\x80\x99\x8b?A");
}

// ---- limits and counters -----------------------------------------------------------------

TEST_F(CodeEditor, TheCharacterLimitRefusesTypingPastingIndentAndNewTabs) {
    std::string big(size_t(vexel_code_max) - 1, 'a');
    big[100] = '\n';
    load({big});
    press(SDL_SCANCODE_END, false, true);
    type("bc");
    EXPECT_EQ(std::strlen(m->code_tabs[0]), size_t(vexel_code_max));
    EXPECT_EQ(tab(0).back(), 'b');
    EXPECT_EQ(std::strlen(m->working_cart->code), size_t(vexel_code_max));
    EXPECT_FALSE(editor_code_page.paste(m, "zz"));  // refused: the frame drops its undo step
    EXPECT_EQ(std::strlen(m->code_tabs[0]), size_t(vexel_code_max));
    ctrl('a');
    key(9);
    EXPECT_EQ(tab(0)[0], 'a');
    click(8, editor_body_y0 + 3);  // "+"
    EXPECT_EQ(cur().tab, 0);
    // Deleting makes room again.
    key(8);
    EXPECT_EQ(tab(0), "");
    EXPECT_EQ(editor_code_counts_get(m, true).chars, 0);
}

TEST_F(CodeEditor, TheTokenCounterFollowsTypingAndMatchesTheWholeProgramCount) {
    load({""});
    type("x=1");
    EXPECT_EQ(editor_code_counts_get(m, false).tokens, 3);
    type(" y+=2");
    EXPECT_EQ(editor_code_counts_get(m, false).tokens, 6);
    // Opening a block comment comments out the rest, across tabs too.
    load({"a=1\n--[[ note\nb=2", "c=3 ]] d=4", "e=\"x\\\ny\" f=[==[\n]]\n]==] g"});
    std::string status;
    const auto check = [&](const char* what) {
        const editor_code_counts c = editor_code_counts_get(m, true);
        vexel_merge_code_from_tabs(m);
        const std::string code = cart_code();
        EXPECT_EQ(c.tokens, token_count(code.data(), code.size())) << what << ": " << code;
        EXPECT_EQ(c.chars, int(code.size())) << what;
    };
    check("loaded");
    editor_code_goto(m, 0, 2);
    key(8);  // "--[[" now ends line 1: still a comment
    check("joined");
    press(SDL_SCANCODE_RIGHT);
    press(SDL_SCANCODE_RIGHT);
    key(8);  // "-[[": a long string instead
    check("string");
    editor_code_goto(m, 2, 1);
    press(SDL_SCANCODE_END);
    type(" h=[[");
    check("open string at the end");
    editor_code_goto(m, 1, 1);
    type("--");
    check("middle tab");
    // A string escaping the line break at a tab's end takes in the
    // separator line, not the next tab.
    load({"s=\"a\\", "b=1 c=2"});
    check("escaped break at a tab end");
    bool warn = true;
    editor_code_page.status(m, &warn);
    EXPECT_FALSE(warn);
}

// Edits of every kind at random places, with the characters that open and
// close strings and comments: the kept line index and token count must
// always agree with reading the whole program afresh.
TEST_F(CodeEditor, RandomEditsKeepTheIndexAndTheCountExact) {
    load({"a=1\n--[[x\n]]b", "s='q\\\n' c", "d=[==[\n]==]"});
    static const char alphabet[] = "-[]=\"'\\\nz 1e.\r";
    uint32_t seed = 12345;
    const auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int step = 0; step < 3000; ++step) {
        const uint32_t what = next(20);
        if (what == 0) editor_code_goto(m, int(next(3)), int(next(12)) + 1);
        else if (what < 3) press(SDL_SCANCODE_RIGHT, next(2) == 0);
        else if (what < 5) press(SDL_SCANCODE_UP + int(next(2)), next(3) == 0);
        else if (what < 7) key(8);
        else if (what == 7) press(SDL_SCANCODE_DELETE);
        else if (what == 8) {
            editor_checkpoint(m);
            editor_code_page.paste(m, "]]\n--[=[\n\"");
        } else if (what == 9 && next(4) == 0) editor_undo(m);
        else key(static_cast<unsigned char>(alphabet[next(sizeof alphabet - 1)]));
        if (step % 7) continue;
        const editor_code_counts c = editor_code_counts_get(m, false);
        const std::string code = cart_code();
        ASSERT_EQ(c.tokens, token_count(code.data(), code.size())) << "step " << step << ": " << code;
        ASSERT_EQ(c.chars, int(code.size()));
        const std::string t = tab(cur().tab);
        ASSERT_EQ(cur().lines, 1 + int(std::count(t.begin(), t.end(), '\n')));
    }
}

// A program split into #include files: the status line counts what `info`
// and the run's limit check count, the joined program, and follows a typed
// include line, an edit elsewhere and a file changed beside the cartridge.
TEST_F(CodeEditor, IncludedFilesCountAsInfoCountsThem) {
    const std::string dir = vexel_test::temp_dir("editor_code_include") + "/";
    const auto write = [&](const std::string& name, const std::string& body) {
        std::FILE* f = std::fopen((dir + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
    };
    write("lib.lua", "function add(a,b) return a+b end\n#include more.lua\n");
    write("more.lua", "k=[[long\nstring]] z=1\n");
    write("game.qz", "vexel cartridge\n");
    std::snprintf(m->file.filename, sizeof m->file.filename, "%sgame.qz", dir.c_str());
    const auto check = [&](const char* what) {
        const editor_code_counts c = editor_code_counts_get(m, true);
        vexel_merge_code_from_tabs(m);
        const cart_joined_program joined = vexel_join_working_program(m);
        EXPECT_EQ(c.tokens, token_count(joined.text.data(), joined.text.size())) << what << ": " << joined.text;
        EXPECT_EQ(c.chars, int(joined.text.size())) << what;
    };
    load({"x=1\n#include lib.lua\ny=add(x,2)", "w=3"});
    check("loaded");
    ASSERT_EQ(vexel_join_working_program(m).errors, std::vector<std::string>{});
    const int own_and_files = editor_code_counts_get(m, true).tokens;

    // Typing elsewhere counts incrementally on top of the files.
    editor_code_goto(m, 0, 3);
    press(SDL_SCANCODE_END);
    type(" q=4");
    check("typed");
    EXPECT_EQ(editor_code_counts_get(m, false).tokens, own_and_files + 3);

    // An include line typed, then taken apart: counted at once.
    key(13);
    type("#include more.lua");
    check("second include");
    key(8);
    check("a file that is not there");
    type("a");
    editor_code_goto(m, 0, 1);
    type("--[[");
    check("include lines in a comment");
    for (int i = 0; i < 4; ++i) press(SDL_SCANCODE_DELETE);
    check("comment taken out");

    // A file changed beside the cartridge is read again within a second
    // or so of updates.
    write("more.lua", "k=1 j=2 i=3 h=4 g=5\n");
    idle(70);
    const editor_code_counts c = editor_code_counts_get(m, false);
    vexel_merge_code_from_tabs(m);
    const cart_joined_program joined = vexel_join_working_program(m);
    EXPECT_EQ(c.tokens, token_count(joined.text.data(), joined.text.size()));

    // Include lines are read only in a local text cartridge; elsewhere
    // the own tabs are all there is.
    m->file.filename[0] = 0;
    load({"#include lib.lua\nx=1"});
    check("no cartridge file");
}

TEST_F(CodeEditor, TheCompressedSizeFollowsALongRunOfTyping) {
    // Shown at once for a program just opened, never a placeholder 0.
    load({"x=1 y=2 print(x+y)"});
    bool warn = false;
    EXPECT_EQ(editor_code_page.status(m, &warn).find(" z0"), std::string::npos);
    EXPECT_GT(editor_code_counts_get(m, false).compressed, 0);
    load({""});
    editor_code_page.status(m, &warn);
    // Typed without a pause longer than a second: the size is not left at 0.
    for (int i = 0; i < 40; ++i) {
        type("x");
        editor_code_page.status(m, &warn);
    }
    const std::string s = editor_code_page.status(m, &warn);
    EXPECT_EQ(s.find(" z0"), std::string::npos) << s;
}

TEST_F(CodeEditor, TheStatusLineTurnsToTheWarningOverTheTokenLimit) {
    std::string many;
    for (int i = 0; i < vexel_token_limit / 3 + 2; ++i) many += "a=1\n";
    load({many});
    bool warn = false;
    const std::string s = editor_code_page.status(m, &warn);
    EXPECT_TRUE(warn);
    EXPECT_NE(s.find("t8196"), std::string::npos) << s;
    EXPECT_EQ(s.rfind("1:1 ", 0), 0u) << s;
}

// ---- colours and drawing ------------------------------------------------------------------

std::vector<uint8_t> classes_of(const char* line, editor_code_lex_state state = editor_code_state_normal,
                                editor_code_lex_state* next = nullptr) {
    std::vector<uint8_t> c(std::strlen(line), 255);
    const editor_code_lex_state n =
        editor_code_lex_line(line, c.size(), true, state, nullptr, c.data(), 0, c.size());
    if (next) *next = n;
    return c;
}

TEST(CodeColours, ASampleLineIsClassifiedByToken) {
    const char* line = "if x!=1 then print(\"s\") y+=0x1f end -- c";
    const std::vector<uint8_t> c = classes_of(line);
    const auto at = [&](const char* what) { return c[size_t(std::strstr(line, what) - line)]; };
    EXPECT_EQ(at("if"), code_class_keyword);
    EXPECT_EQ(at("x!"), code_class_text);
    EXPECT_EQ(at("!="), code_class_shorthand);
    EXPECT_EQ(at("1 "), code_class_number);
    EXPECT_EQ(at("print"), code_class_api);
    EXPECT_EQ(at("(\""), code_class_punct);
    EXPECT_EQ(at("\"s"), code_class_string);
    EXPECT_EQ(at("+="), code_class_shorthand);
    EXPECT_EQ(at("0x1f") , code_class_number);
    EXPECT_EQ(at("f end"), code_class_number);
    EXPECT_EQ(at("end"), code_class_keyword);
    EXPECT_EQ(at("-- c"), code_class_comment);
    EXPECT_EQ(c.back(), code_class_comment);

    EXPECT_EQ(classes_of(" ?x")[1], code_class_shorthand);  // print shorthand only first on a line
    EXPECT_EQ(classes_of("a?x")[1], code_class_punct);
    EXPECT_EQ(classes_of("x // note")[5], code_class_comment);
}

TEST(CodeColours, LongCommentsAndStringsCarryAcrossLines) {
    editor_code_lex_state s;
    classes_of("a=1 --[==[ open", editor_code_state_normal, &s);
    EXPECT_NE(s, editor_code_state_normal);
    std::vector<uint8_t> c = classes_of("still ]] in ]==] b=2", s, &s);
    EXPECT_EQ(c[0], code_class_comment);
    EXPECT_EQ(c[9], code_class_comment);
    EXPECT_EQ(c[17], code_class_text);
    EXPECT_EQ(s, editor_code_state_normal);
    classes_of("x=[[", editor_code_state_normal, &s);
    c = classes_of("]]..y", s, &s);
    EXPECT_EQ(c[0], code_class_string);
    EXPECT_EQ(c[4], code_class_text);
    classes_of("s=\"a\\", editor_code_state_normal, &s);  // an escaped line break
    c = classes_of("b\" t", s, &s);
    EXPECT_EQ(c[1], code_class_string);
    EXPECT_EQ(c[3], code_class_text);
    // Odd bytes never hang or read outside the line.
    const std::string odd("\xff[=[\"\\\0\x80--[", 11);
    int tokens = 0;
    editor_code_lex_line(odd.data(), odd.size(), false, editor_code_state_normal, &tokens);
    editor_code_lex_line(odd.data(), odd.size(), true, 0xfffffffe, &tokens);
}

class CodeDrawing : public CodeEditor {
protected:
    fenn_bitmap* page = nullptr;
    static constexpr uint8_t untouched = 0xee;
    void SetUp() override {
        CodeEditor::SetUp();
        page = fenn_create_bitmap(128, 128, 8);
    }
    void TearDown() override {
        fenn_destroy_bitmap(page);
        CodeEditor::TearDown();
    }
    const editor_theme& theme() { return editor_theme_get(0); }
    void draw() {
        std::fill(page->pix.begin(), page->pix.end(), untouched);
        fenn_clear_clip(page);
        editor_code_page.draw(m, page, theme());
    }
    uint8_t at(int x, int y) const { return page->pix[size_t(y) * 128 + size_t(x)]; }
    // The colours drawn in a glyph cell of a text line (0-based line on screen).
    std::vector<uint8_t> ink(int row, int x0, int x1) const {
        std::vector<uint8_t> found;
        const int y0 = editor_body_y0 + 8 + row * 6;
        for (int y = y0 + 1; y < y0 + 6; ++y)
            for (int x = x0; x < x1; ++x)
                if (at(x, y) != untouched) found.push_back(at(x, y));
        return found;
    }
};

TEST_F(CodeDrawing, LinesAreDrawnInTheirColours) {
    load({"if pset\n\"s\"\n"});
    idle(editor_code_blink_frames);
    draw();
    const auto only = [](const std::vector<uint8_t>& v, uint8_t c) {
        if (v.empty()) return false;
        for (uint8_t x : v)
            if (x != c) return false;
        return true;
    };
    const int x = cur().text_x;
    EXPECT_TRUE(only(ink(0, x, x + 7), theme().keyword));       // "if"
    EXPECT_TRUE(only(ink(0, x + 12, x + 27), theme().api));     // "pset"
    EXPECT_TRUE(only(ink(1, x, x + 11), theme().string));
    // The line numbers stand left of the text, the cursor's line brighter.
    EXPECT_EQ(x, 2 * 4 + 2);
    EXPECT_TRUE(only(ink(0, 0, x - 1), theme().text));
    EXPECT_TRUE(only(ink(1, 0, x - 1), theme().comment));
    EXPECT_EQ(at(1, editor_body_y0 + 3), theme().tab_active_bg);  // tab "0" is the open one
}

TEST_F(CodeDrawing, TheCursorBlinksByUpdatesAndDrawingStaysInTheBody) {
    std::string program;
    for (int i = 0; i < 60; ++i) program += std::string(size_t(i * 3), 'w') + "\x80\x81 -- [[x]] \"s\"\n";
    load({program, "x"});
    draw();
    const int x = cur().text_x;
    const uint8_t cursor_cell = at(x, editor_body_y0 + 9);
    EXPECT_EQ(cursor_cell, theme().cursor);
    idle(editor_code_blink_frames);
    draw();
    EXPECT_NE(at(x, editor_body_y0 + 9), theme().cursor);

    // A long selection, a scrolled view, the find line: never outside the body.
    editor_code_goto(m, 0, 40);
    press(SDL_SCANCODE_END, true);
    press(SDL_SCANCODE_PAGEDOWN, true);
    ctrl('f');
    type("www");
    for (int pass = 0; pass < 2; ++pass) {
        draw();
        for (int y = 0; y < 128; ++y) {
            if (y >= editor_body_y0 && y < editor_body_y1) continue;
            for (int x = 0; x < 128; ++x) ASSERT_EQ(at(x, y), untouched) << x << "," << y;
        }
        EXPECT_GT(cur().scroll_col, 0);
        ctrl('f');
    }
}

TEST_F(CodeDrawing, TheMouseSetsTheCursorSelectsAndScrolls) {
    std::string program;
    for (int i = 0; i < 50; ++i) program += "abcdef\n";
    load({program});
    const int y1 = editor_body_y0 + 8 + 6 + 2;  // second line on screen
    const int x0 = cur().text_x;
    EXPECT_EQ(x0, 2 * 4 + 2);  // lines 1-50: two digits
    click(x0 + 8, y1);
    expect_at(1, 2);
    editor_input in{};
    in.mouse_x = x0 + 8;
    in.mouse_y = y1;
    in.buttons = fenn_mouse_left;
    in.went_down = fenn_mouse_left;
    update(in);
    in.went_down = 0;
    in.mouse_y = y1 + 12;
    in.mouse_x = x0 + 16;
    update(in);
    EXPECT_EQ(cur().anchor_line, 1);
    expect_at(3, 4);
    in.buttons = 0;
    in.went_up = fenn_mouse_left;
    update(in);
    editor_input wheel{};
    wheel.wheel_y = -2;
    update(wheel);
    EXPECT_EQ(cur().scroll_line, 6);
    expect_at(3, 4);  // the wheel moves the view, not the cursor
}

}  // namespace
