#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/editor.h"
#include "app/editor_music.h"
#include "app/editor_sfx.h"
#include "audio/audio.h"
#include "cart/cart_rom.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_input.h"
#include "machine/machine.h"
#include "test_support.h"

namespace {

constexpr int sc_right = 79, sc_down = 81, sc_up = 82;
constexpr int sc_z = 29, sc_y = 28, sc_c = 6, sc_v = 25;

int rom(const vexel_cart* cart, int p, int c) { return vexel_cart_peek(cart, 0x3100 + uint32_t(4 * p + c)); }

class MusicEdit : public ::testing::Test {
protected:
    // The editors' state for this case alone, outliving the machine (a song
    // the music editor plays comes from it).
    editor_studio_scope studio;
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    vexel_cart* C = tm.m->working_cart;
};

TEST_F(MusicEdit, ChannelsKeepTheirNumberWhileOffAndMatchPoke) {
    // A new cartridge: every channel off on effects 1-4.
    EXPECT_FALSE(editor_music_enabled(C, 7, 0));
    EXPECT_EQ(editor_music_sfx(C, 7, 2), 3);
    EXPECT_TRUE(editor_music_silent(C, 7));

    EXPECT_TRUE(editor_music_set_sfx(C, 7, 2, 12, true));
    EXPECT_FALSE(editor_music_set_sfx(C, 7, 2, 12, true));  // no change
    EXPECT_EQ(rom(C, 7, 2), 12);
    EXPECT_EQ(C->music[7][2], 12);
    EXPECT_FALSE(editor_music_silent(C, 7));

    EXPECT_TRUE(editor_music_set_enabled(C, 7, 2, false));
    EXPECT_EQ(editor_music_sfx(C, 7, 2), 12);  // the number stays
    EXPECT_EQ(rom(C, 7, 2), 0x40 | 12);
    EXPECT_TRUE(editor_music_set_enabled(C, 7, 2, true));
    EXPECT_EQ(rom(C, 7, 2), 12);

    // Out of range does nothing, rather than writing elsewhere.
    EXPECT_FALSE(editor_music_set_sfx(C, 64, 0, 1, true));
    EXPECT_FALSE(editor_music_set_sfx(C, 0, 4, 1, true));
    EXPECT_FALSE(editor_music_set_sfx(C, 0, 0, 64, true));
    EXPECT_EQ(rom(C, 0, 0), 0x41);

    // The record after an edit equals the record after a poke of the same bytes.
    vexel_test::TestMachine other;
    vexel_cart* D = other.m->working_cart;
    editor_music_set_sfx(C, 9, 1, 33, true);
    editor_music_set_flag(C, 9, editor_music_stop, true);
    for (int c = 0; c < 4; ++c) vexel_cart_poke(D, 0x3100 + 36 + uint32_t(c), rom(C, 9, c));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(D->music[9][c], C->music[9][c]);
    EXPECT_EQ(D->music_flags[9], C->music_flags[9]);
}

TEST_F(MusicEdit, FlagsAreBitSevenOfTheirChannelByte) {
    editor_music_set_sfx(C, 3, 0, 5, true);
    EXPECT_TRUE(editor_music_set_flag(C, 3, editor_music_loop_start, true));
    EXPECT_EQ(rom(C, 3, 0), 0x85);
    EXPECT_EQ(C->music_flags[3], 1);
    EXPECT_TRUE(editor_music_set_flag(C, 3, editor_music_loop_end, true));
    EXPECT_TRUE(editor_music_set_flag(C, 3, editor_music_stop, true));
    EXPECT_EQ(C->music_flags[3], 7);
    EXPECT_TRUE(editor_music_flag_on(C, 3, editor_music_loop_end));
    // Changing a channel keeps the flag its byte carries.
    editor_music_set_sfx(C, 3, 0, 6, false);
    EXPECT_EQ(rom(C, 3, 0), 0x80 | 0x40 | 6);
    EXPECT_TRUE(editor_music_set_flag(C, 3, editor_music_loop_start, false));
    EXPECT_EQ(C->music_flags[3], 6);
    // Clearing is a new cartridge's pattern again.
    EXPECT_TRUE(editor_music_clear(C, 3));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(rom(C, 3, c), 0x41 + c);
    EXPECT_EQ(C->music_flags[3], 0);
}

TEST_F(MusicEdit, TextRoundTripsAndRejectsMalformedText) {
    editor_music_set_sfx(C, 10, 0, 1, true);
    editor_music_set_flag(C, 11, editor_music_loop_end, true);
    const std::string text = editor_music_to_text(C, 10, 2);
    EXPECT_EQ(text, "[music]01424344\n41c24344[/music]");
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(editor_music_from_text("  \n" + text + "\r\n", &bytes, &error));
    vexel_test::TestMachine other;
    vexel_cart* D = other.m->working_cart;
    EXPECT_EQ(editor_music_write(D, 62, bytes), 2);
    EXPECT_EQ(editor_music_to_text(D, 62, 2), text);
    EXPECT_EQ(editor_music_write(D, 63, bytes), 1);  // clipped to the song

    const char* bad[] = {
        "",
        "01424344",                          // no tags
        "[music][/music]",                   // nothing in it
        "[music]014243[/music]",             // three bytes
        "[music]0142434x[/music]",           // not hex
        "[music]01424344[/music]x",          // text after it
        "[MUSIC]01424344[/MUSIC]",
        "[music]01424344",
    };
    for (const char* b : bad) EXPECT_FALSE(editor_music_from_text(b, &bytes, &error)) << b;
    EXPECT_FALSE(editor_music_from_text(std::string("[music]0142\0" "4344[/music]", 24), &bytes, &error));
    std::string many = "[music]";
    for (int i = 0; i < 65; ++i) many += "01020304";
    EXPECT_FALSE(editor_music_from_text(many + "[/music]", &bytes, &error));
    EXPECT_NE(error.find("64"), std::string::npos);
    EXPECT_FALSE(editor_music_from_text(std::string(1 << 20, ' ') + "[music]01020304[/music]", &bytes, &error));
    EXPECT_NE(error.find("long"), std::string::npos);
}

TEST_F(MusicEdit, NotesReadAndWriteTheirTwoBytes) {
    editor_music_note n;
    n.pitch = 37;
    n.waveform = 5;
    n.volume = 6;
    n.effect = 3;
    n.instrument = true;
    EXPECT_TRUE(editor_music_note_set(C, 8, 31, n));
    EXPECT_EQ(C->sfx[8].notes[31].pitch, 37);
    EXPECT_EQ(C->sfx[8].notes[31].waveform, 5);
    EXPECT_EQ(C->sfx[8].notes[31].volume, 6);
    EXPECT_EQ(C->sfx[8].notes[31].effect, 3);
    EXPECT_NE(C->sfx[8].notes[31].instrument, 0);
    const editor_music_note back = editor_music_note_get(C, 8, 31);
    EXPECT_EQ(back.pitch, 37);
    EXPECT_EQ(back.waveform, 5);
    EXPECT_TRUE(back.instrument);
    EXPECT_EQ(C->sfx[8].notes[30].pitch, 0);  // its neighbour untouched
    EXPECT_FALSE(editor_music_note_set(C, 8, 32, n));
    EXPECT_FALSE(editor_music_note_set(C, 64, 0, n));
    char name[4];
    // The same names as the sound-effect editor's, for every pitch: C-4 is
    // pitch 24 in both.
    editor_music_pitch_name(0, name);
    EXPECT_STREQ(name, "C-2");
    editor_music_pitch_name(37, name);
    EXPECT_STREQ(name, "C#5");
    for (int p = 0; p < 64; ++p) {
        char sfx_name[4];
        editor_music_pitch_name(p, name);
        editor_sfx_note_name(p, sfx_name);
        EXPECT_STREQ(name, sfx_name) << p;
    }
}

// ---- the page, driven through the frame with input ------------------------------

class MusicPage : public MusicEdit {
protected:
    void SetUp() override {
        editor_select(M, editor_music);
        editor_open(M);
    }
    // A song still sounding stops with the editors.
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
            in.keys[0] = c;
            in.key_count = 1;
            send(in);
        }
    }
    void click(int x, int y) {
        editor_input in = blank();
        in.mouse_x = x;
        in.mouse_y = y;
        in.buttons = in.went_down = fenn_mouse_left;
        send(in);
        in.buttons = in.went_down = 0;
        in.went_up = fenn_mouse_left;
        send(in);
    }
    void mix(int samples) {
        std::vector<int16_t> out(static_cast<size_t>(samples));
        vexel_audio_mix(M->audio, out.data(), samples);
    }
};

TEST_F(MusicPage, KeysMoveEditChannelsAndFlagsAndUndo) {
    key(sc_right);
    key(sc_down);
    EXPECT_EQ(editor_music_view().pattern, 17);
    key(sc_up);
    key(sc_up);  // stays in the first row
    EXPECT_EQ(editor_music_view().pattern, 1);

    type("\t\t12");  // channel 2, effect 12, switched on
    EXPECT_EQ(editor_music_view().channel, 2);
    EXPECT_EQ(rom(C, 1, 2), 12);
    type("7");  // 127 is no effect: a new number
    EXPECT_EQ(rom(C, 1, 2), 7);
    type("+e");
    EXPECT_EQ(rom(C, 1, 2), 0x40 | 8);
    type("[]s");
    EXPECT_EQ(C->music_flags[1], 7);
    bool warn = false;
    EXPECT_EQ(editor_music_page.status(M, &warn), "pattern 01: -- -- -- -- start end stop");

    // Undo steps back one action at a time: three flags, the toggle, +, "7", "12".
    for (int i = 0; i < 5; ++i) key(sc_z, true);
    EXPECT_EQ(C->music_flags[1], 0);
    EXPECT_EQ(rom(C, 1, 2), 7);
    key(sc_z, true);
    EXPECT_EQ(rom(C, 1, 2), 12);
    key(sc_z, true);
    EXPECT_EQ(rom(C, 1, 2), 0x43);
    key(sc_y, true);
    EXPECT_EQ(rom(C, 1, 2), 12);
}

TEST_F(MusicPage, MouseClicksPatternsTogglesAndChannels) {
    int x, y;
    editor_music_pattern_screen(37, &x, &y);
    click(x + 3, y + 3);
    EXPECT_EQ(editor_music_view().pattern, 37);
    const editor_music_view_info v = editor_music_view();
    click(1 + 32 * 3 + 1, v.channels_y0 + 3);  // channel 3's box
    EXPECT_TRUE(editor_music_enabled(C, 37, 3));
    click(32 * 3 + 26, v.channels_y0 + 3);  // its +
    EXPECT_EQ(rom(C, 37, 3), 5);
    click(93, v.flags_y0 + 3);  // stop
    EXPECT_TRUE(editor_music_flag_on(C, 37, editor_music_stop));

    // Drawing in the notes view sets the pitch of the note under the pointer.
    click(32 * 3 + 4, v.notes_y0);
    EXPECT_EQ(C->sfx[5].notes[4].pitch, 63);
    EXPECT_GT(C->sfx[5].notes[4].volume, 0);
    EXPECT_TRUE(editor_music_view().notes);
    click(32 * 3 + 4, v.notes_y1 - 1);
    EXPECT_EQ(C->sfx[5].notes[4].pitch, 0);
}

TEST_F(MusicPage, NotesViewEditsTheCursorsEffect) {
    type("5\r");  // channel 0 plays effect 5; into the notes
    ASSERT_TRUE(editor_music_view().notes);
    key(sc_right);
    key(sc_up);
    key(sc_up, false, true);
    type("+ww");
    EXPECT_EQ(C->sfx[5].notes[1].pitch, 13);
    EXPECT_EQ(C->sfx[5].notes[1].volume, 1);
    EXPECT_EQ(C->sfx[5].notes[1].waveform, 2);
    type("\x1b");  // Escape leaves the notes, not the editors
    EXPECT_TRUE(editor_active());
    EXPECT_FALSE(editor_music_view().notes);
    key(sc_z, true);
    EXPECT_EQ(C->sfx[5].notes[1].waveform, 1);

    // A note the sound-effect editor changed meanwhile is its edit: undo
    // here puts back only what this editor changed.
    type("\r+");
    EXPECT_EQ(C->sfx[5].notes[1].volume, 2);
    vexel_cart_poke(C, 0x3200 + 5 * 68 + 20, 30);  // note 10's pitch, as another editor writes it
    key(sc_z, true);
    EXPECT_EQ(C->sfx[5].notes[1].volume, 1);
    EXPECT_EQ(C->sfx[5].notes[10].pitch, 30);
}

TEST_F(MusicPage, ClipboardCopiesAndPastesWholePatterns) {
    editor_music_set_sfx(C, 2, 0, 9, true);
    editor_music_set_flag(C, 3, editor_music_loop_end, true);
    key(sc_right);
    key(sc_right);
    key(sc_right, false, true);
    EXPECT_EQ(editor_music_view().sel_count, 2);
    const std::string text = editor_music_page.copy(M, false);
    EXPECT_EQ(text, editor_music_to_text(C, 2, 2));
    EXPECT_TRUE(editor_music_page.paste(M, text));  // onto itself: patterns 2-3
    click(0 + 3, editor_music_view().grid_y0 + 9 * 3 + 3);  // pattern 48
    EXPECT_EQ(editor_music_view().pattern, 48);
    EXPECT_TRUE(editor_music_page.paste(M, text));
    EXPECT_EQ(editor_music_to_text(C, 48, 2), text);
    EXPECT_FALSE(editor_music_page.paste(M, "[music]zz[/music]"));
    EXPECT_FALSE(editor_music_page.paste(M, "hello"));
    EXPECT_EQ(editor_music_to_text(C, 48, 2), text);

    // Cut leaves new-cartridge patterns behind.
    editor_music_page.copy(M, true);
    EXPECT_EQ(editor_music_to_text(C, 48, 2), "[music]41424344\n41424344[/music]");
}

TEST_F(MusicPage, SpacePlaysFromTheCursorAndTheStripFollows) {
    // Patterns 4 and 5 play effect 0 (speed 1: 32 ticks of 183 samples).
    editor_sfx_set_header(C, 0, editor_sfx_speed, 1);
    editor_music_set_sfx(C, 4, 0, 0, true);
    editor_music_set_sfx(C, 5, 0, 0, true);
    editor_music_set_flag(C, 5, editor_music_stop, true);
    click(4 * 8 + 3, editor_music_view().grid_y0 + 3);
    type(" ");
    ASSERT_TRUE(vexel_audio_music_playing(M->audio));
    EXPECT_EQ(vexel_audio_song_pattern(M->audio), 4);
    EXPECT_TRUE(editor_music_view().playing);
    mix(32 * 183 + 10);
    send(blank());
    EXPECT_EQ(vexel_audio_song_pattern(M->audio), 5);
    EXPECT_EQ(editor_music_view().pattern, 5);
    EXPECT_EQ(editor_music_view().playing_pattern, 5);
    // An edit while playing is heard: the player's record has it at once.
    type("\t7");
    EXPECT_EQ(editor_music_byte(editor_music_player_cart(), 5, 1), 7);
    type(" ");
    EXPECT_FALSE(vexel_audio_music_playing(M->audio));
    EXPECT_FALSE(editor_music_view().playing);

    // A silent pattern plays nothing and says so.
    click(9 * 8 + 3, editor_music_view().grid_y0 + 3);
    type(" ");
    EXPECT_FALSE(vexel_audio_music_playing(M->audio));
    bool warn;
    EXPECT_NE(editor_bottom_text(M, &warn).find("nothing"), std::string::npos);
}

TEST_F(MusicPage, DrawsOnlyInsideTheBody) {
    editor_music_set_sfx(C, 0, 0, 1, true);
    editor_music_set_flag(C, 0, editor_music_loop_start, true);
    fenn_bitmap* page = fenn_create_bitmap(128, 128, 8);
    constexpr uint8_t untouched = 0xee;
    for (int round = 0; round < 3; ++round) {
        std::fill(page->pix.begin(), page->pix.end(), untouched);
        if (round == 1) type("\r");
        if (round == 2) key(sc_right, false, true);
        editor_music_page.draw(M, page, editor_theme_get(round % 2));
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const uint8_t p = page->pix[size_t(y * 128 + x)];
                if (y < editor_body_y0 || y >= editor_body_y1) ASSERT_EQ(p, untouched) << round << ": " << x << "," << y;
                else ASSERT_LT(p, 16) << round << ": " << x << "," << y;
            }
    }
    fenn_destroy_bitmap(page);
}

}  // namespace
