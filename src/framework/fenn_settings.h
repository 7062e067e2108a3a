// fenn_settings: settings described once, as a table, and read from,
// clamped and written to a settings file ("config.txt") from that table.
//
// A table describes the keys of one settings record (the framework's
// fenn_config, the console's own): each entry names a key, where its value
// lives in the record (an int, a run of ints, or a text), its default, the
// range its numbers are held to, a comment written with it and how it is
// written back. A file line is "key value..."; a key matches when the line
// starts with it (the first entry that matches wins), and a number that does
// not scan leaves the value as it was. Texts take the rest of the line,
// blanks trimmed, cut to their buffer.
//
// Invariants: after fenn_settings_clamp every number of the record lies in
// its entry's range; reading never writes past a value's buffer.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

enum fenn_setting_type : uint8_t {
    fenn_setting_ints,    // `count` ints, written separated by blanks
    fenn_setting_text,    // a text of `count` bytes with its terminator
    fenn_setting_folder,  // a text kept up to its last '/' (or '\'), so it names a folder
};

enum fenn_setting_flag : uint8_t {
    // Written back as the file had it, so that a command-line override of it
    // is not saved (needs the group's as_read record).
    fenn_setting_as_read = 1,
    // Read nowhere: kept only so that the file keeps what the user wrote.
    fenn_setting_kept = 2,
    // An old name, still read and never written (its entry's fixup moves
    // the value where it belongs).
    fenn_setting_old_name = 4,
    // A number outside the range becomes the default rather than the
    // nearest end of the range.
    fenn_setting_default_outside = 8,
};

struct fenn_setting {
    const char* name;
    fenn_setting_type type;
    size_t offset;             // of the value in the record
    int count;                 // ints: how many; texts: buffer size in bytes
    int def = 0;               // ints: every one starts here
    int min = INT_MIN, max = INT_MAX;
    uint8_t flags = 0;         // fenn_setting_flag
    const char* comment = nullptr;
    const char* section = nullptr;  // a heading written before the entry
};

struct fenn_settings_group {
    const fenn_setting* table;
    size_t count;
    void* record;                  // the live values
    const void* as_read = nullptr;  // the values as the file had them (fenn_setting_as_read)
};

// Every value of the group to its default (texts empty).
void fenn_settings_default(const fenn_settings_group& group);

// Reads one file line; returns the entry whose key it holds, or null.
const fenn_setting* fenn_settings_read_line(const fenn_settings_group& group, const char* line);

// Holds every number of the group to its entry's range.
void fenn_settings_clamp(const fenn_settings_group& group);

// Writes the group's keys: numbers as "key 1 2 // comment", texts with the
// comment on the line above (a text takes the rest of its line).
void fenn_settings_write(const fenn_settings_group& group, FILE* f);

// Copies the rest of a settings line after `key`, blanks trimmed at both ends.
void fenn_settings_text_value(const char* line, const char* key, char* out, int out_size);
