#include "cart/vdisk.h"

#include <cstring>
#include <memory>

namespace {
std::vector<std::unique_ptr<vdisk_file>> files;

vdisk_file* find(const char* name) {
    for (auto& f : files)
        if (std::strcmp(f->name, name) == 0) return f.get();
    return nullptr;
}
}  // namespace

const char* vdisk_base_name(const char* path) {
    if (!path) return "";
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

vdisk_file* fenn_fopen_vdisk(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    const char* name = vdisk_base_name(path);
    const size_t len = std::strlen(name);
    if (len == 0 || len > vdisk_name_max) return nullptr;
    vdisk_file* f = find(name);
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
    if (mode[0] != 'w' || files.size() >= size_t(vdisk_max_files)) return nullptr;
    auto made = std::make_unique<vdisk_file>();
    std::memcpy(made->name, name, len + 1);
    files.push_back(std::move(made));
    return files.back().get();
}

size_t vdisk_write(vdisk_file* file, const void* data, size_t size) {
    if (!file || !data) return 0;
    const auto* p = static_cast<const uint8_t*>(data);
    file->bytes.insert(file->bytes.end(), p, p + size);
    return size;
}

bool vdisk_file_owned(const void* file) {
    for (auto& f : files)
        if (f.get() == file) return true;
    return false;
}

int vdisk_file_count() { return int(files.size()); }

void vdisk_clear() { files.clear(); }

bool vdisk_open_read(fenn_file& f, const char* path) {
    if (!path || !*path) return false;
    if (fenn_file_open(f, path)) return true;
    vdisk_file* v = fenn_fopen_vdisk(path, "r");
    if (!v) return false;
    fenn_file_wrap(f, v->bytes.data(), v->bytes.size());
    return true;
}
