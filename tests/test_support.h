// Small helpers shared by the unit tests of every module.
#pragma once
#include <string>
#include <unistd.h>

namespace vexel_test {

// A fresh, empty folder under the system's temporary folder, unique to this
// process and name.
std::string temp_dir(const std::string& name);

// The whole file as bytes; empty when it cannot be read.
std::string read_file(const std::string& path);

// Runs a shell command and returns its standard output; the exit status as
// pclose gives it goes to *status when asked for (-1 if it could not start).
std::string command_output(const std::string& command, int* status = nullptr);

}  // namespace vexel_test
