// Small helpers shared by the unit tests of every module.
#pragma once
#include <cstdint>
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

// While it lives, files this process writes may grow to `bytes` at most (a
// longer write fails with EFBIG, the way a full disk makes it fail with
// ENOSPC); SIGXFSZ is ignored meanwhile, as the console does. The limits and
// the signal's handling are put back afterwards.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long saved_cur_, saved_max_;
    void (*saved_handler_)(int);
};

// Sixteen distinct colours in the framework palette while it lives (so
// machine colours convert to pictures one to one); the old palette is put
// back afterwards.
class DistinctPalette {
public:
    DistinctPalette();
    ~DistinctPalette();
    DistinctPalette(const DistinctPalette&) = delete;
    DistinctPalette& operator=(const DistinctPalette&) = delete;

private:
    uint8_t saved_[768];
};

// The machine state cartridge code works on (both cartridge records, the
// screen, the code tabs), made fresh and freed again.
void make_machine_state();
void free_machine_state();

}  // namespace vexel_test
