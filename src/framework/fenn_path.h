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

// Ensures a trailing '/' (an empty path stays empty).
std::string fenn_with_slash(std::string path);

// Remembers argv[0] for the program-folder fallback.
void fenn_path_set_argv0(const char* argv0);
