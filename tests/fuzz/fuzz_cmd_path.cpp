// Folder and file names that programs give to the console commands: the
// input is "FOLDER\nNAME"; the target changes into FOLDER with cd, creates
// NAME with mkdir and resolves NAME. Whatever the bytes, a resolved path must
// lie inside the cartridge root, and nothing may appear outside it (the
// sandbox holds the root, a folder outside it, and links leading there).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <climits>
#include <unistd.h>

#include "machine/host.h"
#include "machine/machine.h"
#include "runtime/commands.h"
#include "runtime/machine_life.h"

namespace fs = std::filesystem;

namespace {

std::string sandbox, root, root_path, real_root;
vexel_host host;
vexel_machine* m = nullptr;

void remove_sandbox() {
    std::error_code ec;
    fs::remove_all(sandbox, ec);
}

void make_sandbox() {
    sandbox = (fs::temp_directory_path() / ("vexel_fuzz_cmd_path_" + std::to_string(::getpid()))).string();
    remove_sandbox();
    root = sandbox + "/root";
    fs::create_directories(root + "/a/b");
    fs::create_directories(sandbox + "/outside");
    fs::create_symlink(sandbox + "/outside", root + "/out");
    fs::create_symlink("../..", root + "/a/up");
    fs::create_symlink(root + "/missing", root + "/gone");
    root_path = root + "/";
    host.carts_path = root_path.c_str();
    m = vexel_machine_create(&host);
    char buf[PATH_MAX];
    real_root = ::realpath(root.c_str(), buf) ? buf : root;
    std::atexit(remove_sandbox);
}

bool inside(const std::string& path) {
    return path == real_root || path.compare(0, real_root.size() + 1, real_root + "/") == 0;
}

void check_sandbox() {
    for (const auto& e : fs::directory_iterator(sandbox)) {
        const std::string name = e.path().filename().string();
        if (name != "root" && name != "outside") std::abort();
    }
    if (!fs::is_empty(sandbox + "/outside")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (sandbox.empty()) make_sandbox();
    std::string input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\n');
    std::string folder = cut == std::string::npos ? "" : input.substr(0, cut);
    std::string name = cut == std::string::npos ? input : input.substr(cut + 1);
    folder = folder.substr(0, folder.find('\0'));
    name = name.substr(0, name.find('\0'));

    m->file.folder[0] = 0;
    cmd_cd(m, folder.c_str());
    cmd_mkdir(m, name.c_str());
    std::string full, relative;
    if (cmd_resolve(m, name.c_str(), &full, &relative) == 0) {
        char buf[PATH_MAX];
        // The deepest existing part of the path, links followed, is inside.
        std::string existing = full;
        while (!existing.empty() && ::access(existing.c_str(), F_OK) != 0) existing = existing.substr(0, existing.rfind('/'));
        if (!::realpath(existing.empty() ? "/" : existing.c_str(), buf) || !inside(buf)) std::abort();
        // The relative path is plain names: no empty, "." or ".." parts.
        size_t start = 0;
        while (!relative.empty() && start <= relative.size()) {
            size_t end = relative.find('/', start);
            if (end == std::string::npos) end = relative.size();
            const std::string part = relative.substr(start, end - start);
            if (part.empty() || part == "." || part == "..") std::abort();
            start = end + 1;
        }
    }
    check_sandbox();
    return 0;
}
