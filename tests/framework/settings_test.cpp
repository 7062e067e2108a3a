// Settings described by a table: reading, ranges and writing.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "framework/fenn_settings.h"

namespace {

struct Record {
    int size[2];
    int level;
    int buffer;
    int keys[4];
    char name[8];
    char folder[32];
};

#define FIELD(f) offsetof(Record, f)
const fenn_setting table[] = {
    {"size", fenn_setting_ints, FIELD(size), 2, 10, 0, 100, fenn_setting_as_read, "width, height", "Shape"},
    {"level", fenn_setting_ints, FIELD(level), 1, 3, 1, 9, 0, "1..9"},
    {"buffer", fenn_setting_ints, FIELD(buffer), 1, 64, 16, 512, fenn_setting_default_outside},
    {"keys", fenn_setting_ints, FIELD(keys), 4, 0, 0, 255, 0},
    {"name", fenn_setting_text, FIELD(name), int(sizeof(Record::name)), 0, 0, 0, 0, "what it is called"},
    {"folder", fenn_setting_folder, FIELD(folder), int(sizeof(Record::folder))},
    {"old_size", fenn_setting_ints, FIELD(size), 2, 0, 0, 100, fenn_setting_old_name},
};
#undef FIELD

std::string written(const fenn_settings_group& g) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    fenn_settings_write(g, f);
    std::fclose(f);
    std::string s(buf, len);
    std::free(buf);
    return s;
}

}  // namespace

TEST(Settings, ReadingMatchesByPrefixAndKeepsWhatDoesNotScan) {
    Record r{};
    const fenn_settings_group g{table, std::size(table), &r};
    fenn_settings_default(g);
    EXPECT_EQ(r.size[1], 10);
    EXPECT_EQ(r.buffer, 64);
    EXPECT_STREQ(r.name, "");

    EXPECT_STREQ(fenn_settings_read_line(g, "size 40")->name, "size");
    EXPECT_EQ(r.size[0], 40);
    EXPECT_EQ(r.size[1], 10);  // a second number that is not there leaves the value
    fenn_settings_read_line(g, "levelled x");
    EXPECT_EQ(r.level, 3);
    fenn_settings_read_line(g, "keys 1 2 3 4 5 6");
    EXPECT_EQ(r.keys[3], 4);  // no more than the entry holds
    fenn_settings_read_line(g, "name   a long name that is cut  ");
    EXPECT_STREQ(r.name, "a long ");
    fenn_settings_read_line(g, "folder /home/me/carts/game.qz");
    EXPECT_STREQ(r.folder, "/home/me/carts/");
    fenn_settings_read_line(g, "old_size 7 8");
    EXPECT_EQ(r.size[1], 8);
    EXPECT_EQ(fenn_settings_read_line(g, "unknown 1"), nullptr);
    EXPECT_EQ(fenn_settings_read_line(g, ""), nullptr);
}

TEST(Settings, RangesClampOrFallBackToTheDefault) {
    Record r{};
    const fenn_settings_group g{table, std::size(table), &r};
    fenn_settings_default(g);
    fenn_settings_read_line(g, "size -5 500");
    fenn_settings_read_line(g, "level 12");
    fenn_settings_read_line(g, "buffer 8");
    fenn_settings_read_line(g, "keys 300 -1 7");
    fenn_settings_clamp(g);
    EXPECT_EQ(r.size[0], 0);
    EXPECT_EQ(r.size[1], 100);
    EXPECT_EQ(r.level, 9);
    EXPECT_EQ(r.buffer, 64);
    EXPECT_EQ(r.keys[0], 255);
    EXPECT_EQ(r.keys[1], 0);
    EXPECT_EQ(r.keys[2], 7);
}

TEST(Settings, WritingReadsBackAndUsesTheValuesAsRead) {
    Record live{}, as_read{};
    const fenn_settings_group g{table, std::size(table), &live, &as_read};
    fenn_settings_default(g);
    fenn_settings_read_line(g, "name vexel");
    fenn_settings_read_line(g, "keys 1 2 3 4");
    as_read = live;
    live.size[0] = 99;  // changed after reading (a command-line override): not saved
    live.level = 5;
    const std::string text = written(g);
    EXPECT_EQ(text,
              "\n// :: Shape\n\nsize 10 10 // width, height\nlevel 5 // 1..9\nbuffer 64\nkeys 1 2 3 4\n"
              "// what it is called\nname vexel\nfolder \n");

    Record back{};
    const fenn_settings_group h{table, std::size(table), &back};
    fenn_settings_default(h);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        fenn_settings_read_line(h, text.substr(start, end - start).c_str());
        start = end + 1;
    }
    EXPECT_EQ(back.level, 5);
    EXPECT_EQ(back.keys[2], 3);
    EXPECT_STREQ(back.name, "vexel");
}
