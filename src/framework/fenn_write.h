// fenn_write: writing a whole file so that it is either all there or not at all.
//
// fenn_write_file is the one way the system replaces a file with new bytes
// (cartridges, backups, save data, stored data, settings, lists):
//
//  1. stale temporary files in the target's folder are removed (see
//     fenn_remove_stale_parts);
//  2. a fresh temporary file "NAME.<pid>.<random>.part" is created beside the
//     target with O_CREAT|O_EXCL|O_NOFOLLOW (mode 0644 less the umask), so
//     nothing already there (a planted link or file) is ever written through;
//  3. the bytes are written whole, synced and the file closed;
//  4. it is renamed over the target. rename replaces a link at the target
//     itself, never the file the link leads to.
//
// On any failure the old file (if any) is untouched and the temporary file
// is removed. The result carries the errno of the failing step and a short
// reason for messages ("disk full", "file too large", "permission denied").
//
// A writer killed half-way leaves its temporary file; the next write into
// the same folder removes it, once its process is gone.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>

constexpr int fenn_write_name_attempts = 16;    // fresh temporary names tried before giving up
constexpr size_t fenn_write_base_max = 200;     // bytes of the target's name kept in the temporary name

struct fenn_write_result {
    int error = 0;       // 0 when written, else the errno of the step that failed
    std::string reason;  // fenn_error_reason(error); "" when written
    bool ok() const { return error == 0; }
};

// Replaces (or creates) the file at `path` with `size` bytes from `data`.
fenn_write_result fenn_write_file(const char* path, const void* data, size_t size);

// The process's file-creation mask, for files made with the usual
// permissions (0644 less it); the host's under emscripten too.
mode_t fenn_umask();

// Removes the temporary files ("*.part") in `folder` whose writer is gone: a
// name "NAME.<pid>.<random>.part" whose process no longer runs, or an
// old-style "NAME.part" that carries no process number. Links are removed
// themselves, never followed; folders are left alone; the files of running
// processes (this one included) are kept. Returns the number removed.
int fenn_remove_stale_parts(const char* folder);

// True when `name` (a bare file name) is a temporary name made by
// fenn_write_file; its process number goes to *pid.
bool fenn_part_name_pid(const char* name, long* pid);

// A short lower-case reason for an errno value: ENOSPC "disk full", EFBIG
// "file too large", EACCES and EPERM "permission denied", EROFS "read-only
// file system", otherwise the system's text in lower case.
std::string fenn_error_reason(int error);
