// vdisk: the virtual disk, a small set of named in-memory files.
//
// A stand-alone build carries its cartridges inside the resource pod; they
// are written here at boot (as text cartridges) so that every cartridge read
// finds them by their plain name when no real file of that name exists.
//
// The disk is a record (one per machine); every call takes it, and a null
// disk is an empty one. It also keeps the table of embedded cartridges: the
// name each was mounted under and its hash, which names its stored-data file.
//
// Invariants: at most vdisk_max_files files; a file's name is the base name
// and extension of the path it was created under, 1 to vdisk_name_max
// characters, unique; names that do not fit are refused, never cut (two long
// names must not become one file). Files live until vdisk_clear.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/fenn_file.h"

constexpr int vdisk_max_files = 512;
constexpr size_t vdisk_name_max = 63;

struct vdisk_file {
    char name[vdisk_name_max + 1];
    std::vector<uint8_t> bytes;
    size_t pos = 0;  // read position
};

struct vdisk_embedded {
    std::string name;  // the file name it was mounted under
    std::string hash;  // of the cartridge as prepared
};

struct vexel_vdisk {
    std::vector<std::unique_ptr<vdisk_file>> files;
    std::vector<vdisk_embedded> embedded;
};

// Opens the virtual-disk file named by the base name of `path`. Mode "r..."
// rewinds an existing file; "w..." empties an existing file or creates one
// (null when the disk is full or the name does not fit); anything else, or
// a missing file in read mode, gives null.
vdisk_file* vdisk_open(vexel_vdisk* disk, const char* path, const char* mode);

// Appends bytes at the end of a file. Returns the count written.
size_t vdisk_write(vdisk_file* file, const void* data, size_t size);

// Tells whether a pointer is one of the disk's own files (which a caller
// must never free).
bool vdisk_file_owned(const vexel_vdisk* disk, const void* file);

// Number of files, and removal of them all.
int vdisk_file_count(const vexel_vdisk* disk);
void vdisk_clear(vexel_vdisk* disk);

// The framework-style opener every cartridge read uses: the real file when
// it opens, else (read only) the virtual-disk file of that base name,
// wrapped as a memory stream. The stream must not outlive the next write to
// that virtual file. Returns false when neither exists.
bool vdisk_open_read(const vexel_vdisk* disk, fenn_file& f, const char* path);

// The base name and extension of a path (the text after the last '/').
const char* vdisk_base_name(const char* path);
