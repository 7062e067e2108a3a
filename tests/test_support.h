// Small helpers shared by the unit tests of every module.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include <unistd.h>

#include "machine/host.h"

struct vexel_machine;

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

// A whole machine (memory, screen, cartridge records, code tabs, sound,
// runner and script machine) made fresh for a test and destroyed with it.
// Its host has the defaults of machine/host.h unless changed before use
// (host.carts_path, host.exec_mode, ...); `output` collects what the
// machine writes to standard output (printh, exec-mode console lines);
// `message` the last message it asked the host to show.
class TestMachine {
public:
    TestMachine();
    ~TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    // Whether the machine asked for `request` since the last clear.
    bool requested(vexel_request request) const;
    void clear_requests() { requests.clear(); }

    vexel_host host;
    std::string output;
    std::string message;  // the last message the machine asked the host to show
    std::vector<vexel_request> requests;  // what the machine asked the host for
    vexel_machine* m;
};

}  // namespace vexel_test
