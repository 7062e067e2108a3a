// capture_file: where capture files go and how they get there.
//
// Screenshots and GIFs are written to the desktop folder (fenn_path) under
// numbered names: the base name, "_", the lowest number that names no
// existing file, and the extension. A file is first written whole under a
// temporary name in the same folder and then published under its final
// name with a hard link, which fails rather than replace a file that
// appeared in the meantime (the next number is taken then). So an existing
// file is never overwritten and no half-written file ever carries a
// capture name; a failed write leaves nothing behind.
#pragma once
#include <functional>
#include <string>

constexpr int capture_number_max = 99999;    // highest number tried before giving up
constexpr size_t capture_base_max = 64;      // characters of a base name
constexpr const char* capture_default_base = "vexel";

// Base name of capture files: a cartridge's file name without its folder
// and extensions ("jump" for ".../jump.qz.png"), with characters that do not
// belong in a file name replaced by '_'; "vexel" without a cartridge file
// name.
std::string capture_name_base(const char* cart_file);

// Turns any text into a safe base name (see above); "vexel" when empty.
std::string capture_safe_base(const char* name);

// The file name for number n: base + "_" + n written with at least `digits`
// digits + ext ("game_007.png" for digits 3, "game_7.gif" for digits 1).
std::string capture_numbered_name(const std::string& base, int n, int digits, const char* ext);

// Writes a new numbered file in the desktop folder. `write(temp, final)`
// must write the whole file at the path `temp` (it exists, empty) and return
// 0; `final` is the name it is expected to get, for messages. On success the
// published path goes to *saved and the result is 0; otherwise 1.
int capture_write_numbered(const std::string& base, int digits, const char* ext,
                           const std::function<int(const char* temp, const char* final)>& write,
                           std::string* saved);

// Writes `path` itself through a temporary file beside it, replacing any
// file of that name only once the new one is complete. 0 on success.
int capture_write_replacing(const char* path, const std::function<int(const char* temp)>& write);
