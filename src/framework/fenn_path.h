// fenn_path: where the system's files live, and small file-system helpers.
//
// The data folder is "$HOME/.brindle/<application title>/" (created on first
// use, mode 0755), or the folder given with -home. Paths are returned as
// std::string; none of these functions fail hard: when a folder cannot be
// found or made, the bare name is returned and later opens report the error.
#pragma once
#include <string>

constexpr int fenn_path_max = 1024;

// Path of `name` in the per-user data folder.
std::string fenn_prefix_with_appdata_path(const char* name);
// Path of `name` next to the running program file.
std::string fenn_prefix_with_program_path(const char* name);
// Path of `name` in the desktop folder (screenshots, GIFs).
std::string fenn_prefix_with_desktop_path(const char* name);

// Normalises a path: splits at '/' and '\\', drops "." components, lets ".."
// remove the previous component, turns a "~" component into $HOME, and keeps
// a leading '/' when the input had one.
std::string fenn_resolve_filename(const char* path);

bool fenn_file_exists(const char* path);       // a regular file
bool fenn_directory_exists(const char* path);
int fenn_mkdir(const char* path);              // 0 when it exists afterwards

// Where a name given inside a folder leads once symbolic links are followed.
enum fenn_confine_result : int {
    fenn_confine_inside = 0,  // a file inside the folder, or nothing yet (its deepest existing part is inside)
    fenn_confine_folder,      // a folder inside it, or the folder itself
    fenn_confine_outside,     // a ".." component, a link leading out, or a dangling link
};

// Checks `relative` (components separated by '/'; empty and "." ones are
// skipped, ".." is refused) against the folder `root`: the deepest part of
// root/relative that exists is resolved with its links followed and must lie
// inside root (itself resolved). A root that does not exist holds nothing,
// so any name is inside it; a root that is a dangling link holds nothing
// that may be reached. Names that programs give are checked with this
// before any file is opened under them.
fenn_confine_result fenn_path_confine(const std::string& root, const std::string& relative);

// Ensures a trailing '/' (an empty path stays empty).
std::string fenn_with_slash(std::string path);

// Remembers argv[0] for the program-folder fallback.
void fenn_path_set_argv0(const char* argv0);
