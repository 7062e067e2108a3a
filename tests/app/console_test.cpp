#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <random>
#include <string>

#include "app/console.h"
#include "app/editor.h"
#include "browser/browse.h"
#include "browser/browse_list.h"
#include "../machine/cart_io_fixture.h"
#include "app/app.h"
#include "app/shell.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_platform.h"
#include "framework/fenn_text.h"
#include "machine/mem.h"
#include "machine/text.h"
#include "runtime/frame.h"
#include "runtime/run.h"

namespace fs = std::filesystem;

namespace {

// The console at its prompt, with a script machine and a font, typed at
// through the platform's key buffer and key states as the shell reads them.
class Prompt : public CartIo {
protected:
    editor_studio_scope studio;  // fresh editors, closed, for this case
    fenn_pod* font = nullptr;

    void SetUp() override {
        CartIo::SetUp();
        app = vexel_app{};
        shell_connect_host(tm.host);  // requests become the shell's posted actions
        app.machine = M;
        console_reset();
        font = vexel_create_console_font();
        M->console_font = font;
        fenn_flush_keys();
        app.mode = shell_console;
        M->cursor_y = 0;
    }
    void TearDown() override {
        console_reset();
        fenn_flush_keys();
        app.machine = nullptr;
        M->console_font = nullptr;
        fenn_destroy_pod(font);
        CartIo::TearDown();
    }

    void type(const std::string& text) {
        for (char c : text) {
            fenn_push_key(static_cast<unsigned char>(c));
            console_update_input(M);
        }
    }
    void press(int scancode) {
        fenn_set_key_state(scancode, 3);
        console_update_input(M);
        fenn_set_key_state(scancode, 0);
    }
    // Enter, then the machine frames the line takes, as the shell runs them.
    void enter() {
        type("\r");
        for (int i = 0; i < 100 && (app.mode == shell_running || app.pending != pending_none); ++i) {
            if (app.pending == pending_stop_program) {
                run_suspend(M);
                app.pending = pending_none;
            }
            if (app.mode == shell_running) vexel_machine_frame(M, vexel_frame_input{});
        }
        ASSERT_EQ(app.mode, shell_console);
    }
    void line(const std::string& text) {
        type(text);
        enter();
    }

    // Which pixels of the console line at y are lit.
    static std::string lit(const fenn_bitmap* b, int y) {
        std::string out;
        for (int r = y; r < y + vexel_line_height; ++r)
            for (int x = 0; x < 128; ++x)
                out += r >= 0 && r < b->h && b->pix[size_t(r) * 128 + size_t(x)] ? '#' : '.';
        return out;
    }
    // Whether the console line at y shows exactly `text` drawn from x.
    bool shows(int y, const char* text, int x = 0) {
        fenn_bitmap* ref = fenn_create_bitmap(128, 128, 8);
        fenn_draw_text_ex(ref, text, font, x, 0, fenn_text_single_colour, 7);
        const bool same = lit(ref, 0) == lit(M->screen, y);
        fenn_destroy_bitmap(ref);
        return same;
    }
    bool shows_prompt(int y, const char* text) {
        fenn_bitmap* ref = fenn_create_bitmap(128, 128, 8);
        fenn_draw_text_ex(ref, ">", font, 0, 0, fenn_text_single_colour, 7);
        fenn_draw_text_ex(ref, text, font, 8, 0, fenn_text_single_colour, 7);
        const bool same = lit(ref, 0) == lit(M->screen, y);
        fenn_destroy_bitmap(ref);
        return same;
    }
    static std::string command() { return console.command; }
};

TEST_F(Prompt, TypingEditsTheLineAtTheCursor) {
    type("Abc");
    EXPECT_EQ(command(), "abc");  // the console font shows lower case
    press(SDL_SCANCODE_LEFT);
    press(SDL_SCANCODE_LEFT);
    type("x");
    EXPECT_EQ(command(), "axbc");
    EXPECT_EQ(console.cursor, 2);
    type("\b");
    EXPECT_EQ(command(), "abc");
    press(SDL_SCANCODE_DELETE);
    EXPECT_EQ(command(), "ac");
    press(SDL_SCANCODE_HOME);
    type("\b");  // nothing before the cursor
    press(SDL_SCANCODE_LEFT);
    EXPECT_EQ(console.cursor, 0);
    press(SDL_SCANCODE_END);
    press(SDL_SCANCODE_RIGHT);
    press(SDL_SCANCODE_DELETE);  // nothing after it
    EXPECT_EQ(console.cursor, 2);
    EXPECT_EQ(command(), "ac");

    // Keys without a printable character, Tab and Ctrl combinations type nothing.
    for (int key : {9, 1, 31, 128, 200, 255, -1, 0}) fenn_push_key(key);
    console_update_input(M);
    fenn_set_key_state(fenn_key_lctrl, 1);
    type("q8");
    fenn_set_key_state(fenn_key_lctrl, 0);
    EXPECT_EQ(command(), "ac");

    // Escape clears a line being typed.
    type("\x1b");
    EXPECT_EQ(command(), "");
}

TEST_F(Prompt, TheLineWrapsEveryThirtyCharactersAndStopsAtTheBufferSize) {
    M->cursor_y = 60;
    const std::string thirty(30, 'a');
    type(thirty + "bc");
    console_draw(M, false, true);
    EXPECT_TRUE(shows_prompt(60, thirty.c_str()));
    EXPECT_TRUE(shows(66, "bc", 8));
    // Shortening the line clears what it no longer covers.
    type("\b\b\b");
    console_draw(M, false, true);
    EXPECT_TRUE(shows_prompt(60, std::string(29, 'a').c_str()));
    EXPECT_TRUE(shows(66, ""));

    // A line growing past the bottom of the screen scrolls the console up.
    type("\x1b");
    M->cursor_y = 120;
    type(std::string(40, 'z'));
    EXPECT_EQ(M->cursor_y, 114);

    console_reset();
    type(std::string(300, 'q'));
    EXPECT_EQ(command(), std::string(console_command_max, 'q'));
    press(SDL_SCANCODE_HOME);
    type("w");
    EXPECT_EQ(command(), std::string(console_command_max, 'q'));
    EXPECT_GE(M->cursor_y, 0);
    EXPECT_LE(M->cursor_y + (console_command_max / console_prompt_wrap + 1) * vexel_line_height, 128);
}

TEST_F(Prompt, PasteTakesTheFirstLinesPrintableCharacters) {
    console_paste(M, "Load \x01Game\t.qz\nprint(1)");
    EXPECT_EQ(command(), "load game.qz");
    press(SDL_SCANCODE_HOME);
    console_paste(M, "\xff\xfe--");  // not UTF-8
    EXPECT_EQ(command(), "?" "?--load game.qz");
    console_paste(M, std::string(1000, 'x').c_str());
    EXPECT_EQ(command().size(), size_t(console_command_max));
    console_paste(M, nullptr);
}

TEST_F(Prompt, GlyphsArePastedAndTypedAsTheirCharacters) {
    // The clipboard's UTF-8: glyphs (emoji form or not) become their bytes,
    // other characters '?'.
    console_paste(M, "?\"\xe2\x96\x88\xe2\xac\x87\xef\xb8\x8f\xe2\xac\x87\xc3\xa9\xe3\x82\xa2\"");
    EXPECT_EQ(command(), "?\"\x80\x83\x83?\xcc\"");
    console_reset();
    // Typed text beyond ASCII comes as code points: a selector types
    // nothing, a character the machine has not types '?'.
    for (int cp : {0x2588, 0x2b07, 0xfe0f, 0xe9, 0x30a2, 0x00b9}) fenn_push_key(fenn_typed_unicode + cp);
    console_update_input(M);
    EXPECT_EQ(command(), "\x80\x83?\xcc\x01");
    type("\b");
    EXPECT_EQ(command(), "\x80\x83?\xcc");
}

TEST_F(Prompt, UpAndDownWalkTheLinesEntered) {
    line("a=1");
    line("b=2");
    line("b=2");  // repeated lines are kept once
    type("c=");
    press(SDL_SCANCODE_UP);
    EXPECT_EQ(command(), "b=2");
    press(SDL_SCANCODE_UP);
    EXPECT_EQ(command(), "a=1");
    press(SDL_SCANCODE_UP);
    EXPECT_EQ(command(), "a=1");
    press(SDL_SCANCODE_DOWN);
    EXPECT_EQ(command(), "b=2");
    press(SDL_SCANCODE_DOWN);
    EXPECT_EQ(command(), "c=");  // the line being typed comes back
    press(SDL_SCANCODE_DOWN);
    EXPECT_EQ(command(), "c=");
    type("\x1b");

    for (int i = 0; i < 20; ++i) line("v" + std::to_string(i) + "=1");
    for (int i = 0; i < 30; ++i) press(SDL_SCANCODE_UP);
    EXPECT_EQ(command(), "v" + std::to_string(20 - console_history_max) + "=1");
}

TEST_F(Prompt, ALineThatIsACommandRunsIt) {
    // A cartridge has run and stopped: its machine is still there, yet what
    // is typed at the console is the user's, not the program's.
    M->program_active = 1;
    line("mkdir foo");
    EXPECT_TRUE(fs::is_directory(root + "foo"));
    line("cd foo");
    EXPECT_STREQ(M->file.folder, "foo");
    line("cd ..");
    EXPECT_STREQ(M->file.folder, "");
    EXPECT_EQ(M->program_active, 0);

    write_cart(root + "game.qz", "print('hi')");
    line("  load game  ");
    EXPECT_STREQ(M->file.filename, (root + "game.qz").c_str());
    EXPECT_EQ(app.pending, pending_none);  // loaded for the user, not started

    line("ls");
    EXPECT_TRUE(console_listing_active());
    EXPECT_FALSE(console_takes_keys());  // the listing has the keys until it ends
    type("x");
    EXPECT_EQ(command(), "");
    fenn_flush_keys();
    for (int i = 0; i < 100 && console_listing_active(); ++i) console_listing_update(M);
    EXPECT_TRUE(console_takes_keys());

    line("run");
    EXPECT_EQ(app.pending, pending_run_cart);
}

TEST_F(Prompt, OtherLinesRunAsLuaAndTheLineStaysOnScreen) {
    type("print(1+2)");
    enter();
    EXPECT_TRUE(shows_prompt(0, "print(1+2)"));
    EXPECT_TRUE(shows(6, "3"));
    EXPECT_EQ(M->cursor_y, 12);
    // Variables live on from line to line.
    line("x=5");
    line("print(x*2)");
    EXPECT_TRUE(shows(24, "10"));
    // The footer's main loop is not started for a line that defines _draw.
    line("function _draw() print('loop') end");
    EXPECT_EQ(app.mode, shell_console);
    // An empty line just moves on.
    const int y = M->cursor_y;
    line("   ");
    EXPECT_EQ(M->cursor_y, y + vexel_line_height);
}

TEST_F(Prompt, AnErrorReturnsToACleanPrompt) {
    line("print(");
    EXPECT_EQ(app.mode, shell_console);
    EXPECT_EQ(command(), "");
    const int after_syntax = M->cursor_y;
    EXPECT_GT(after_syntax, vexel_line_height);

    line("nothing_here()");
    EXPECT_EQ(app.mode, shell_console);
    EXPECT_EQ(M->program_active, 0);
    EXPECT_GT(M->cursor_y, after_syntax + vexel_line_height);

    const int y = M->cursor_y;
    line("print(7)");
    EXPECT_TRUE(shows(y + vexel_line_height, "7"));
}

TEST_F(Prompt, AnyTypedLineIsSafe) {
    std::mt19937 rng(7);
    const std::string pieces[] = {"\"", "(", ")", "load ", "cd ", "mkdir ", "..", "/", "%s", "[[", "--",
                                  "end", "ls", " ", "x", "resume", "\\", "#", "@clip"};
    for (int n = 0; n < 60; ++n) {
        std::string text;
        while (text.size() < 300) text += pieces[rng() % std::size(pieces)];
        text.resize(rng() % 300);
        type(text);
        enter();
        if (app.pending == pending_run_cart) app.pending = pending_none;
        EXPECT_EQ(command(), "");
    }
    // "while true do end" is broken off by the frame's budget, not run forever.
    type("while true do end");
    type("\r");
    EXPECT_EQ(app.mode, shell_running);
    EXPECT_TRUE(run_console_line_running(M));
    vexel_machine_frame(M, vexel_frame_input{});
    EXPECT_EQ(app.mode, shell_running);
    run_suspend(M);
    EXPECT_FALSE(run_console_line_running(M));
}

TEST_F(Prompt, BrowseOpensFromThePromptAndEscapeGoesBackToIt) {
    M->program_active = 1;  // a stopped cartridge's machine is still there
    type("\x1b");  // an empty prompt not reached from the browser: the editors
    EXPECT_FALSE(browse_active());
    EXPECT_TRUE(editor_active());
    EXPECT_FALSE(console_takes_keys());
    editor_close(M);
    line("browse");
    EXPECT_TRUE(browse_active());
    EXPECT_FALSE(console_takes_keys());

    // Left with Escape for the console, which gives it back on Escape once.
    browse_screen.active = 0;
    console_note_left_browser();
    type("ab\x1b");
    EXPECT_FALSE(browse_active());  // the first Escape clears the line
    type("\x1b");
    EXPECT_TRUE(browse_active());
    browse_screen.active = 0;
    type("\x1b");
    EXPECT_FALSE(browse_active());
    EXPECT_TRUE(editor_active());
    editor_close(M);

    // Once a line was entered at it, the prompt is no longer the browser's.
    console_note_left_browser();
    line("x=1");
    type("\x1b");
    EXPECT_FALSE(browse_active());
    EXPECT_TRUE(editor_active());
    editor_close(M);
    browse_shutdown();
    browse_screen = browse_screen_state();
}

TEST_F(Prompt, NoKeyboardInExecMode) {
    app.exec_mode = 1;
    type("ls");
    EXPECT_EQ(command(), "");
    app.exec_mode = 0;
    app.mode = shell_running;
    type("ls");
    EXPECT_EQ(command(), "");
    fenn_flush_keys();
}

}  // namespace

TEST_F(Prompt, EscapeAfterAnErrorOfTheProgramOpensTheCodeEditorOnce) {
    set_code("x=1\n-->8\ny=2\nif then\nz=3\n");
    run_cart(M);
    EXPECT_EQ(M->runner->error_tab, 1);
    EXPECT_EQ(M->runner->error_line, 2);
    editor_select(M, editor_map);
    type("\x1b");
    EXPECT_TRUE(editor_active());
    EXPECT_EQ(editor_current(), editor_code);
    EXPECT_EQ(M->runner->error_line, 0);
    editor_close(M);

    // A typed line's error is no place in the cartridge.
    line("if then");
    EXPECT_EQ(M->runner->error_line, 0);
}
