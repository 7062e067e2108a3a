// Shared helpers for the unit tests live here; see test_support.h.
#include "test_support.h"

#include <cstdlib>
#include <filesystem>

namespace vexel_test {

std::string temp_dir(const std::string& name) {
    std::filesystem::path p = std::filesystem::temp_directory_path() /
                              ("vexel_test_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p.string();
}

}  // namespace vexel_test
