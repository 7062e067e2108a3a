#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/editor.h"
#include "app/editor_sfx.h"
#include "audio/audio.h"
#include "cart/cart.h"
#include "cart/cart_rom.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "machine/text.h"
#include "framework/fenn_pod.h"
#include "test_support.h"

namespace {

constexpr int sc_right = 79, sc_left = 80, sc_down = 81, sc_up = 82;
constexpr int sc_insert = 73, sc_delete = 76, sc_d = 7, sc_z = 29, sc_y = 28, sc_c = 6, sc_v = 25, sc_1 = 30;

uint32_t sfx_addr(int n) { return vexel_addr_sfx + uint32_t(n) * vexel_sfx_bytes; }

// ---- the edits on a record --------------------------------------------------------------

class SfxEdit : public ::testing::Test {
protected:
    // The editors' state for this case alone, outliving the machine (a song
    // the music editor plays comes from it).
    editor_studio_scope studio;
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    vexel_cart* C = tm.m->working_cart;
};

TEST_F(SfxEdit, PianoKeysNameAndPlaceNotes) {
    char name[4];
    editor_sfx_note_name(0, name);
    EXPECT_STREQ(name, "C-2");
    editor_sfx_note_name(33, name);
    EXPECT_STREQ(name, "A-4");
    editor_sfx_note_name(63, name);
    EXPECT_STREQ(name, "D#7");
    // Lower row from C of the octave, upper row an octave higher.
    EXPECT_EQ(editor_sfx_piano_pitch('z', 4), 24);
    EXPECT_EQ(editor_sfx_piano_pitch('s', 4), 25);
    EXPECT_EQ(editor_sfx_piano_pitch('m', 4), 35);
    EXPECT_EQ(editor_sfx_piano_pitch('q', 4), 36);
    EXPECT_EQ(editor_sfx_piano_pitch('2', 4), 37);
    EXPECT_EQ(editor_sfx_piano_pitch('u', 4), 47);
    EXPECT_EQ(editor_sfx_piano_pitch('z', 2), 0);
    EXPECT_EQ(editor_sfx_piano_pitch('Z', 2), 0);
    EXPECT_EQ(editor_sfx_piano_pitch('3', 6), 63);   // D#7, the highest
    EXPECT_EQ(editor_sfx_piano_pitch('e', 6), -1);   // E-7 is past pitch 63
    EXPECT_EQ(editor_sfx_piano_pitch('u', 6), -1);
    EXPECT_EQ(editor_sfx_piano_pitch('a', 4), -1);
    EXPECT_EQ(editor_sfx_piano_pitch(0x10000 + 'z', 4), -1);
}

TEST_F(SfxEdit, WritesAreTheBytesAPokeWouldStore) {
    // Note 3 of effect 5: pitch 45, waveform 6 (spans both bytes), volume 3,
    // effect 2, instrument: bytes 45|2<<6 and 1|3<<1|2<<4|0x80.
    EXPECT_TRUE(editor_sfx_set_note(C, 5, 3, 45, 6, 3, 2, true));
    EXPECT_FALSE(editor_sfx_set_note(C, 5, 3, 45, 6, 3, 2, true));  // nothing new
    EXPECT_EQ(vexel_cart_peek(C, sfx_addr(5) + 6), 45 | 2 << 6);
    EXPECT_EQ(vexel_cart_peek(C, sfx_addr(5) + 7), 1 | 3 << 1 | 2 << 4 | 0x80);
    // A second record given the same bytes by poke decodes the same.
    vexel_test::TestMachine other;
    vexel_cart_poke(other.m->working_cart, sfx_addr(5) + 6, 45 | 2 << 6);
    vexel_cart_poke(other.m->working_cart, sfx_addr(5) + 7, 1 | 3 << 1 | 2 << 4 | 0x80);
    EXPECT_EQ(std::memcmp(&C->sfx[5], &other.m->working_cart->sfx[5], sizeof C->sfx[5]), 0);
    EXPECT_EQ(C->sfx[5].notes[3].instrument, 128);

    // Single fields clamp and leave the others.
    EXPECT_TRUE(editor_sfx_set(C, 5, 3, editor_sfx_volume, 99));
    EXPECT_EQ(editor_sfx_get(C, 5, 3, editor_sfx_volume), 7);
    EXPECT_EQ(editor_sfx_get(C, 5, 3, editor_sfx_waveform), 6);
    EXPECT_EQ(editor_sfx_get(C, 5, 3, editor_sfx_pitch), 45);
    // Header fields are bytes 65-67.
    EXPECT_TRUE(editor_sfx_set_header(C, 5, editor_sfx_speed, 300));
    EXPECT_TRUE(editor_sfx_set_header(C, 5, editor_sfx_loop_end, 8));
    EXPECT_EQ(vexel_cart_peek(C, sfx_addr(5) + 65), 255);
    EXPECT_EQ(vexel_cart_peek(C, sfx_addr(5) + 67), 8);
    EXPECT_EQ(C->sfx[5].loop_end, 8);
    // Out of range does nothing.
    EXPECT_FALSE(editor_sfx_set(C, 64, 0, editor_sfx_pitch, 1));
    EXPECT_FALSE(editor_sfx_set(C, 0, 32, editor_sfx_pitch, 1));
    EXPECT_FALSE(editor_sfx_set(C, -1, 0, editor_sfx_pitch, 1));
}

TEST_F(SfxEdit, RowsInsertDeleteAndCopy) {
    for (int i = 0; i < vexel_sfx_notes; ++i) editor_sfx_set_note(C, 2, i, i, i % 8, 1 + i % 7, 0, false);
    EXPECT_TRUE(editor_sfx_insert_row(C, 2, 4));
    EXPECT_EQ(editor_sfx_get(C, 2, 3, editor_sfx_pitch), 3);
    EXPECT_EQ(editor_sfx_get(C, 2, 4, editor_sfx_volume), 0);  // the new silent row
    EXPECT_EQ(editor_sfx_get(C, 2, 5, editor_sfx_pitch), 4);
    EXPECT_EQ(editor_sfx_get(C, 2, 31, editor_sfx_pitch), 30);  // the last note dropped off
    EXPECT_TRUE(editor_sfx_delete_row(C, 2, 4));
    for (int i = 0; i < 31; ++i) EXPECT_EQ(editor_sfx_get(C, 2, i, editor_sfx_pitch), i) << i;
    EXPECT_EQ(editor_sfx_get(C, 2, 31, editor_sfx_volume), 0);
    EXPECT_FALSE(editor_sfx_delete_row(C, 2, 31));  // a silent last note gives way to a silent note
    EXPECT_TRUE(editor_sfx_copy_row(C, 2, 7, 0));
    EXPECT_EQ(editor_sfx_get(C, 2, 0, editor_sfx_pitch), 7);
    EXPECT_FALSE(editor_sfx_copy_row(C, 2, 7, 0));
    EXPECT_FALSE(editor_sfx_insert_row(C, 2, 32));
    EXPECT_EQ(C->sfx[2].speed, 16);  // rows leave the header alone
}

TEST_F(SfxEdit, ClipboardTextRoundTripsAndRefusesMalformedText) {
    editor_sfx_set_note(C, 9, 0, 12, 7, 7, 7, true);
    editor_sfx_set_header(C, 9, editor_sfx_loop_start, 2);
    const std::string text = editor_sfx_copy_text(C, 9);
    ASSERT_EQ(text.size(), 5 + 136 + 6u);
    EXPECT_EQ(text.substr(0, 5), "[sfx]");
    uint8_t b[68], want[68];
    ASSERT_EQ(editor_sfx_parse_text("  \n" + text + "\r\n", b), editor_sfx_paste_ok);
    editor_sfx_read_bytes(C, 9, want);
    EXPECT_EQ(std::memcmp(b, want, 68), 0);
    EXPECT_TRUE(editor_sfx_write_bytes(C, 10, b));
    EXPECT_EQ(std::memcmp(&C->sfx[9], &C->sfx[10], sizeof C->sfx[9]), 0);

    std::string spaced = text;
    spaced.insert(20, " \n ");
    EXPECT_EQ(editor_sfx_parse_text(spaced, b), editor_sfx_paste_ok);

    const std::string digits = text.substr(5, 136);
    EXPECT_EQ(editor_sfx_parse_text("", b), editor_sfx_paste_not_sfx);
    EXPECT_EQ(editor_sfx_parse_text("[gfx]0808" + digits, b), editor_sfx_paste_not_sfx);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits.substr(0, 134) + "[/sfx]", b), editor_sfx_paste_wrong_count);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits + "00[/sfx]", b), editor_sfx_paste_wrong_count);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits + "0[/sfx]", b), editor_sfx_paste_wrong_count);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits.substr(0, 135) + "g[/sfx]", b), editor_sfx_paste_bad_digit);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits, b), editor_sfx_paste_no_end);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits + "[/sfx]x", b), editor_sfx_paste_no_end);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + digits + "[/gfx]", b), editor_sfx_paste_no_end);
    EXPECT_EQ(editor_sfx_parse_text(std::string("[sfx]\0\xff", 7) + digits, b), editor_sfx_paste_bad_digit);
    EXPECT_EQ(editor_sfx_parse_text("[sfx]" + std::string(5000, '0') + "[/sfx]", b), editor_sfx_paste_too_long);
    EXPECT_EQ(std::memcmp(b, want, 68), 0);  // failures write nothing
}

// ---- the page, driven through the frame -------------------------------------------------

class SfxPage : public SfxEdit {
protected:
    void SetUp() override {
        editor_select(M, editor_sfx);
        editor_open(M);
    }
    void TearDown() override { editor_close(M); }
    static editor_input blank() {
        editor_input in{};
        in.mouse_x = in.mouse_y = -100;
        return in;
    }
    void send(const editor_input& in) { editor_update(M, in); }
    void key(int scancode, bool ctrl = false, bool shift = false) {
        editor_input in = blank();
        in.pressed[scancode] = true;
        in.ctrl = ctrl;
        in.shift = shift;
        send(in);
    }
    void type(const std::string& text) {
        for (char c : text) {
            editor_input in = blank();
            in.keys[0] = uint8_t(c);
            in.key_count = 1;
            send(in);
        }
    }
    void mouse(int x, int y, int buttons, int down, int up) {
        editor_input in = blank();
        in.mouse_x = x;
        in.mouse_y = y;
        in.buttons = buttons;
        in.went_down = down;
        in.went_up = up;
        send(in);
    }
    int get(int i, editor_sfx_field f) { return editor_sfx_get(C, editor_sfx_selected(), i, f); }
};

TEST_F(SfxPage, TrackerTypesNotesWithThePianoAndDigits) {
    // Effect 1 is selected; the piano at octave 4 enters C-4 and D#4 and
    // moves down; a silent note gets the pen's waveform at volume 5.
    type("ze");
    EXPECT_EQ(get(0, editor_sfx_pitch), 24);
    EXPECT_EQ(get(0, editor_sfx_volume), 5);
    EXPECT_EQ(get(1, editor_sfx_pitch), 40);
    EXPECT_EQ(editor_sfx_cursor_row(), 2);
    type("]z[[[z");  // octave 5, then down to 2
    EXPECT_EQ(get(2, editor_sfx_pitch), 36);
    EXPECT_EQ(get(3, editor_sfx_pitch), 0);
    EXPECT_EQ(editor_sfx_octave(), 2);
    type("[");
    EXPECT_EQ(editor_sfx_octave(), 2);  // the lowest

    // Digits in the waveform, volume and effect columns.
    key(sc_up);
    key(sc_up);
    key(sc_up);
    key(sc_up);
    key(sc_right);
    type("3");
    EXPECT_EQ(get(0, editor_sfx_waveform), 3);
    key(sc_up);
    key(sc_right);
    type("79");  // 9 is no volume
    EXPECT_EQ(get(0, editor_sfx_volume), 7);
    EXPECT_EQ(editor_sfx_cursor_row(), 1);
    key(sc_right);
    key(sc_up, false, true);  // Shift+Up steps the effect of note 1
    EXPECT_EQ(get(1, editor_sfx_effect), 1);
    type("i");
    EXPECT_EQ(get(1, editor_sfx_instrument), 1);
    EXPECT_EQ(C->sfx[1].notes[1].instrument, 128);

    // Right from the last field of the first column reaches the second.
    key(sc_right);
    EXPECT_EQ(editor_sfx_cursor_row(), 17);
    EXPECT_EQ(editor_sfx_cursor_field(), 0);
    key(sc_left);
    EXPECT_EQ(editor_sfx_cursor_row(), 1);
    EXPECT_EQ(editor_sfx_cursor_field(), 3);

    // Backspace clears the note.
    type("\b");
    EXPECT_EQ(get(1, editor_sfx_volume), 0);
    EXPECT_EQ(get(1, editor_sfx_pitch), 0);
}

TEST_F(SfxPage, HeaderLineTypesSpeedAndLoops) {
    key(sc_up);
    EXPECT_EQ(editor_sfx_cursor_row(), -1);
    type("8");
    EXPECT_EQ(C->sfx[1].speed, 8);
    type("0");
    EXPECT_EQ(C->sfx[1].speed, 80);
    type("0");  // 800 is too much: a fresh number
    EXPECT_EQ(C->sfx[1].speed, 0);
    type("\b");
    key(sc_up, false, true);
    EXPECT_EQ(C->sfx[1].speed, 1);
    key(sc_right);
    type("4");
    key(sc_right);
    type("12");
    key(sc_right);  // no fourth header field
    EXPECT_EQ(editor_sfx_cursor_field(), 2);
    EXPECT_EQ(C->sfx[1].loop_start, 4);
    EXPECT_EQ(C->sfx[1].loop_end, 12);
    EXPECT_EQ(vexel_cart_peek(C, sfx_addr(1) + 66), 4);
    key(sc_down, false, true);
    EXPECT_EQ(C->sfx[1].loop_end, 11);
    key(sc_down);
    EXPECT_EQ(editor_sfx_cursor_row(), 0);
    EXPECT_EQ(editor_sfx_cursor_field(), 2);
    // Clicking a header value steps it (right button down) too.
    mouse(80, editor_body_y0 + 3, fenn_mouse_right, fenn_mouse_right, 0);
    EXPECT_EQ(C->sfx[1].loop_start, 3);
}

TEST_F(SfxPage, RowKeysUndoRedoAndTheEffectSelector) {
    type("zxcv");
    key(sc_up);
    key(sc_up);  // row 2, the C
    key(sc_insert);
    EXPECT_EQ(get(2, editor_sfx_volume), 0);
    EXPECT_EQ(get(3, editor_sfx_pitch), 28);
    key(sc_delete);
    key(sc_delete);
    EXPECT_EQ(get(2, editor_sfx_pitch), 29);
    key(sc_d, true);  // duplicate row 2 into 3
    EXPECT_EQ(get(3, editor_sfx_pitch), 29);
    EXPECT_EQ(editor_sfx_cursor_row(), 3);

    // Each of those was one step; undo walks them back.
    key(sc_z, true);
    EXPECT_EQ(get(3, editor_sfx_volume), 0);
    key(sc_z, true);
    key(sc_z, true);
    EXPECT_EQ(get(2, editor_sfx_volume), 0);  // the inserted row
    key(sc_z, true);
    EXPECT_EQ(get(2, editor_sfx_pitch), 28);
    key(sc_y, true);
    EXPECT_EQ(get(2, editor_sfx_volume), 0);

    // Another effect, then undo there puts effect 1 back and shows it.
    type("=");
    EXPECT_EQ(editor_sfx_selected(), 2);
    key(sc_z, true);
    EXPECT_EQ(editor_sfx_selected(), 1);
    EXPECT_EQ(get(2, editor_sfx_pitch), 28);
    type("---");
    EXPECT_EQ(editor_sfx_selected(), 0);
    mouse(30, editor_body_y0 + 3, fenn_mouse_left, fenn_mouse_left, 0);  // the ">"
    mouse(30, editor_body_y0 + 3, 0, 0, fenn_mouse_left);
    EXPECT_EQ(editor_sfx_selected(), 1);
}

TEST_F(SfxPage, PitchViewDrawsBarsAndVolumeWithTheMouseAsOneStep) {
    type("\t");
    ASSERT_TRUE(editor_sfx_pitch_view());
    // Pen: waveform 4 (picker), effect 2.
    mouse(4 * 7 + 2, 109, fenn_mouse_left, fenn_mouse_left, 0);
    mouse(72 + 2 * 7 + 2, 109, fenn_mouse_left, fenn_mouse_left, 0);
    mouse(0, 0, 0, 0, fenn_mouse_left);
    // A fast stroke from note 2 to note 6 at pitch 20: notes between are drawn too.
    mouse(editor_sfx_bar_x(2) + 1, editor_sfx_pitch_y(20), fenn_mouse_left, fenn_mouse_left, 0);
    mouse(editor_sfx_bar_x(6) + 1, editor_sfx_pitch_y(30), fenn_mouse_left, 0, 0);
    mouse(editor_sfx_bar_x(6) + 1, editor_sfx_pitch_y(30), 0, 0, fenn_mouse_left);
    EXPECT_EQ(get(2, editor_sfx_pitch), 20);
    for (int i = 3; i <= 6; ++i) {
        EXPECT_EQ(get(i, editor_sfx_pitch), 30) << i;
        EXPECT_EQ(get(i, editor_sfx_waveform), 4) << i;
        EXPECT_EQ(get(i, editor_sfx_effect), 2) << i;
        EXPECT_EQ(get(i, editor_sfx_volume), 5) << i;
    }
    EXPECT_EQ(get(7, editor_sfx_volume), 0);
    // The volume strip.
    mouse(editor_sfx_bar_x(3) + 1, editor_sfx_volume_y(2), fenn_mouse_left, fenn_mouse_left, 0);
    mouse(editor_sfx_bar_x(3) + 1, editor_sfx_volume_y(2), 0, 0, fenn_mouse_left);
    EXPECT_EQ(get(3, editor_sfx_volume), 2);
    // Keys: Up raises the cursor note's pitch.
    key(sc_up);
    EXPECT_EQ(get(3, editor_sfx_pitch), 31);
    // One undo step a stroke.
    key(sc_z, true);
    key(sc_z, true);
    EXPECT_EQ(get(3, editor_sfx_volume), 5);
    key(sc_z, true);
    EXPECT_EQ(get(2, editor_sfx_volume), 0);
    EXPECT_EQ(get(6, editor_sfx_volume), 0);
}

TEST_F(SfxPage, ClipboardOfWholeEffectsThroughTheFrame) {
    type("zzz");
    editor_sfx_set_header(C, 1, editor_sfx_speed, 7);
    key(sc_c, true);
    type("=");
    key(sc_v, true);
    EXPECT_EQ(std::memcmp(&C->sfx[1], &C->sfx[2], sizeof C->sfx[1]), 0);
    key(sc_z, true);
    EXPECT_EQ(C->sfx[2].speed, 16);
    EXPECT_EQ(C->sfx[2].notes[0].volume, 0);
    // Malformed text changes nothing and says why.
    EXPECT_FALSE(editor_sfx_page.paste(M, "[sfx]12[/sfx]"));
    bool warn = false;
    EXPECT_EQ(editor_bottom_text(M, &warn), "sound paste is not 68 bytes");
    EXPECT_EQ(C->sfx[2].speed, 16);
    // Cut keeps the speed, clears notes and loop.
    type("-");
    EXPECT_FALSE(editor_sfx_page.copy(M, true).empty());
    EXPECT_EQ(C->sfx[1].speed, 7);
    EXPECT_EQ(C->sfx[1].notes[0].volume, 0);
}

TEST_F(SfxPage, SpacePlaysOnThePreviewChannelWithTheToggles) {
    vexel_poke(M, M->cart, int32_t(vexel_reg_audio_fx) + 1, 0x5);  // a program's own echo bits stay
    const int fx_before = vexel_peek(M, M->cart, int32_t(vexel_reg_audio_fx) + 1);
    ASSERT_EQ(fx_before, 0x5);
    type("zzzz");
    key(sc_1 + 1, true);  // echo on for the preview
    EXPECT_EQ(vexel_peek(M, M->cart, int32_t(vexel_reg_audio_fx) + 1), fx_before);  // not until it plays
    type(" ");
    EXPECT_EQ(vexel_audio_channel_sfx(M->audio, editor_sfx_preview_channel), &C->sfx[1]);
    EXPECT_EQ(vexel_peek(M, M->cart, int32_t(vexel_reg_audio_fx) + 1), fx_before | 1 << editor_sfx_preview_channel);
    EXPECT_EQ(vexel_audio_playing_note(M->audio, &C->sfx[1]), 0);
    type(" ");
    EXPECT_EQ(vexel_audio_channel_sfx(M->audio, editor_sfx_preview_channel), nullptr);
    EXPECT_EQ(vexel_peek(M, M->cart, int32_t(vexel_reg_audio_fx) + 1), fx_before);
    // Stopped from elsewhere: the registers still go back.
    type(" ");
    vexel_audio_stop_all(M->audio);
    mouse(0, 0, 0, 0, 0);
    EXPECT_EQ(vexel_peek(M, M->cart, int32_t(vexel_reg_audio_fx) + 1), fx_before);

    // The playing note moves, and its row is lit: two notes and a bit at
    // speed 16 (183 samples a tick) puts it on note 2.
    type(" ");
    std::vector<int16_t> samples(183 * 16 * 2 + 20);
    vexel_audio_mix(M->audio, samples.data(), int(samples.size()));
    EXPECT_EQ(vexel_audio_playing_note(M->audio, &C->sfx[1]), 2);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    editor_sfx_page.draw(M, page, editor_theme_get(0));
    EXPECT_EQ(page->pix[size_t((editor_body_y0 + 17 + 2 * 6 - 1) * 128 + 55)], editor_theme_get(0).selection);
    EXPECT_NE(page->pix[size_t((editor_body_y0 + 17 + 1 * 6 - 1) * 128 + 55)], editor_theme_get(0).selection);
    fenn_destroy_bitmap(page);
    type(" ");

    // With live_notes a typed note is heard by itself.
    editor_settings live;
    live.live_notes = true;
    editor_set_settings(live);
    type("z");
    EXPECT_EQ(vexel_audio_channel_sfx(M->audio, editor_sfx_preview_channel), &C->sfx[1]);
}

TEST_F(SfxPage, DrawsOnlyInsideTheBodyAndTellsWhatIsUnderTheMouse) {
    type("zq");
    fenn_pod* font = vexel_create_console_font();
    M->console_font = font;
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    constexpr uint8_t untouched = 0xee;
    for (int z = 0; z < 2; ++z) {
        std::fill(page->pix.begin(), page->pix.end(), untouched);
        editor_sfx_page.draw(M, page, editor_theme_get(z));
        int drawn = 0;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const uint8_t p = page->pix[size_t(y * 128 + x)];
                if (y < editor_body_y0 || y >= editor_body_y1) {
                    ASSERT_EQ(p, untouched) << z << ": " << x << "," << y;
                }
                drawn += p != untouched;
            }
        EXPECT_GT(drawn, 500) << z;
        if (z == 1) {
            // Note 1's bar reaches from its pitch (36) to the bottom of the bars.
            const size_t top = size_t(editor_sfx_pitch_y(36) * 128 + editor_sfx_bar_x(1));
            EXPECT_NE(page->pix[top], untouched);
            EXPECT_EQ(page->pix[top - 128], untouched);
        }
        type("\t");
    }
    fenn_destroy_bitmap(page);
    M->console_font = nullptr;
    fenn_destroy_pod(font);
    bool warn = false;
    // The note list's line tells of the cursor's note, wherever the mouse is.
    const std::string at_cursor = editor_bottom_text(M, &warn);
    EXPECT_EQ(at_cursor.rfind("note ", 0), 0u);
    mouse(editor_sfx_bar_x(20), editor_body_y0 + 60, 0, 0, 0);
    EXPECT_EQ(editor_bottom_text(M, &warn), at_cursor);
    type("\t");
    mouse(editor_sfx_bar_x(1) + 1, editor_sfx_pitch_y(10), 0, 0, 0);  // pitch view now
    EXPECT_EQ(editor_bottom_text(M, &warn), "note 1 C-5 w0 v5 fx0");
    mouse(2, 109, 0, 0, 0);
    EXPECT_EQ(editor_bottom_text(M, &warn), "waveform triangle");
    mouse(20, editor_body_y0 + 10, 0, 0, 0);
    EXPECT_EQ(editor_bottom_text(M, &warn), "echo preview off (ctrl+2)");
}

}  // namespace
