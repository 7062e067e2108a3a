// Shared helpers for the unit tests live here; see test_support.h.
#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vexel_test {

std::string temp_dir(const std::string& name) {
    std::filesystem::path p = std::filesystem::temp_directory_path() /
                              ("vexel_test_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p.string();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string command_output(const std::string& command, int* status) {
    std::string out;
    if (status) *status = -1;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = pclose(p);
    if (status) *status = st;
    return out;
}

}  // namespace vexel_test
