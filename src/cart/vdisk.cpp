#include "cart/vdisk.h"

#include <cstring>
#include <memory>

namespace {
vdisk_file* find(const vexel_vdisk* disk, const char* name) {
    if (!disk) return nullptr;
    for (auto& f : disk->files)
        if (std::strcmp(f->name, name) == 0) return f.get();
    return nullptr;
}
}  // namespace

const char* vdisk_base_name(const char* path) {
    if (!path) return "";
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

vdisk_file* vdisk_open(vexel_vdisk* disk, const char* path, const char* mode) {
    if (!disk || !path || !mode) return nullptr;
    const char* name = vdisk_base_name(path);
    const size_t len = std::strlen(name);
    if (len == 0 || len > vdisk_name_max) return nullptr;
    vdisk_file* f = find(disk, name);
    if (f) {
        if (mode[0] == 'r') {
            f->pos = 0;
            return f;
        }
        if (mode[0] == 'w') {
            f->bytes.clear();
            f->pos = 0;
            return f;
        }
        return nullptr;
    }
    if (mode[0] != 'w' || disk->files.size() >= size_t(vdisk_max_files)) return nullptr;
    auto made = std::make_unique<vdisk_file>();
    std::memcpy(made->name, name, len + 1);
    disk->files.push_back(std::move(made));
    return disk->files.back().get();
}

size_t vdisk_write(vdisk_file* file, const void* data, size_t size) {
    if (!file || !data) return 0;
    const auto* p = static_cast<const uint8_t*>(data);
    file->bytes.insert(file->bytes.end(), p, p + size);
    return size;
}

bool vdisk_file_owned(const vexel_vdisk* disk, const void* file) {
    if (!disk) return false;
    for (auto& f : disk->files)
        if (f.get() == file) return true;
    return false;
}

int vdisk_file_count(const vexel_vdisk* disk) { return disk ? int(disk->files.size()) : 0; }

void vdisk_clear(vexel_vdisk* disk) {
    if (!disk) return;
    disk->files.clear();
    disk->embedded.clear();
}

bool vdisk_open_read(const vexel_vdisk* disk, fenn_file& f, const char* path) {
    if (!path || !*path) return false;
    if (fenn_file_open(f, path)) return true;
    vdisk_file* v = find(disk, vdisk_base_name(path));
    if (!v) return false;
    fenn_file_wrap(f, v->bytes.data(), v->bytes.size());
    return true;
}
