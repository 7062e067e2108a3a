// fenn_file: the framework's read-only byte stream.
//
// A fenn_file reads either a disk file or a block of bytes in memory through
// the same small set of calls, so that readers of pods and cartridges work on
// both: the resource pod is read from disk, and its nested pods and embedded
// cartridges are read again from the item buffers that hold them.
//
//   fenn_file f;
//   if (!fenn_file_open(f, path)) ...;        // disk file, closed by ~fenn_file
//   fenn_file_wrap(f, bytes, length);         // or: memory, not copied, not owned
//   size_t got = fenn_file_read(f, dst, n);   // fewer than n only at the end
//   int c = fenn_file_getc(f);                // next byte 0-255, or -1 at the end
//   fenn_file_seek(f, offset, SEEK_SET);      // SEEK_SET, SEEK_CUR, SEEK_END
//   fenn_file_tell(f); fenn_file_size(f); fenn_file_eof(f);
//
// Invariants: the position is never negative. A memory stream's position
// may lie beyond its end (after a seek there); reads then deliver nothing.
// Reads that run past the end deliver only the bytes that remain and set
// the end flag, which (as with C streams) says "a read came up short"; a
// successful seek clears it. A stream that is not open (default-constructed,
// failed open, moved from) behaves as an empty memory stream.
//
// The wrapped memory must outlive the stream. A fenn_file is movable and not
// copyable; the disk file is closed when the stream is destroyed, reopened
// or wrapped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct fenn_file {
    fenn_file() = default;
    ~fenn_file();
    fenn_file(const fenn_file&) = delete;
    fenn_file& operator=(const fenn_file&) = delete;
    fenn_file(fenn_file&& other) noexcept;
    fenn_file& operator=(fenn_file&& other) noexcept;

    std::FILE* fp = nullptr;        // disk stream, owned; null for memory streams
    const uint8_t* mem = nullptr;   // memory stream bytes, not owned
    size_t mem_len = 0;
    size_t mem_pos = 0;
    bool at_end = false;
};

// Opens a disk file for reading in binary mode. Returns false (and leaves an
// empty stream) when it cannot be opened or is not a regular file.
bool fenn_file_open(fenn_file& f, const char* path);

// Every read of a file named by a user or a program goes through these: a
// FIFO, device, socket or folder under a cartridge's name must not block the
// console or be read as data. The open itself never waits (O_NONBLOCK, which
// is cleared again for a regular file), never takes a terminal as the
// controlling one and is not inherited by child processes.
//
// A descriptor for reading the regular file at `path`, or -1 (errno EISDIR
// for a folder, EINVAL for any other kind of file that is not regular).
int fenn_open_regular(const char* path);
// The same as a C stream in binary mode, or null.
std::FILE* fenn_fopen_regular(const char* path);
// The whole regular file into *out; false when it cannot be read or holds
// more than max_bytes (*out is then empty).
bool fenn_read_regular_file(const char* path, size_t max_bytes, std::string* out);

// Makes the stream read `len` bytes at `data` from position 0.
void fenn_file_wrap(fenn_file& f, const uint8_t* data, size_t len);

// Closes a disk file; the stream becomes empty.
void fenn_file_close(fenn_file& f);

bool fenn_file_is_open(const fenn_file& f);

// Reads up to n bytes into dst; returns how many were read.
size_t fenn_file_read(fenn_file& f, void* dst, size_t n);

// The next byte (0-255), or -1 at the end.
int fenn_file_getc(fenn_file& f);

// Moves the position like fseek. Returns 0, or -1 when the new position
// would be negative or the stream refuses (the position is then unchanged).
int fenn_file_seek(fenn_file& f, int64_t offset, int whence);

int64_t fenn_file_tell(const fenn_file& f);

// Total length of the stream in bytes (-1 when a disk file cannot tell).
int64_t fenn_file_size(const fenn_file& f);

// Bytes between the position and the end, 0 when at or beyond it.
int64_t fenn_file_remaining(const fenn_file& f);

// True once a read came up short, until the next successful seek.
bool fenn_file_eof(const fenn_file& f);
