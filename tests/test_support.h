// Small helpers shared by the unit tests of every module.
#pragma once
#include <string>
#include <unistd.h>

namespace vexel_test {

// A fresh, empty folder under the system's temporary folder, unique to this
// process and name.
std::string temp_dir(const std::string& name);

}  // namespace vexel_test
