// Shared helpers for the unit tests live here; see test_support.h.
#include "test_support.h"

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "cart/cart.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_video.h"
#include "machine/machine.h"
#include "runtime/machine_life.h"

namespace vexel_test {

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    saved_cur_ = old.rlim_cur;
    saved_max_ = old.rlim_max;
    saved_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit lim{};
    lim.rlim_cur = saved_cur_;
    lim.rlim_max = saved_max_;
    ::setrlimit(RLIMIT_FSIZE, &lim);
    ::signal(SIGXFSZ, saved_handler_);
}

DistinctPalette::DistinctPalette() {
    std::memcpy(saved_, fenn_get_palette(), sizeof saved_);
    uint8_t pal[768] = {};
    for (int i = 0; i < 16; ++i) {
        pal[3 * i] = uint8_t(i * 17);
        pal[3 * i + 1] = uint8_t(255 - i * 13);
        pal[3 * i + 2] = uint8_t(i % 4 * 80);
    }
    fenn_set_palette(pal);
}

DistinctPalette::~DistinctPalette() { fenn_set_palette(saved_); }

TestMachine::TestMachine() {
    host.user = this;
    host.output = [](void* user, const char* text, size_t length) {
        static_cast<TestMachine*>(user)->output.append(text, length);
    };
    host.request = [](void* user, vexel_request request) {
        static_cast<TestMachine*>(user)->requests.push_back(request);
    };
    host.show_message = [](void* user, const char* text, int) { static_cast<TestMachine*>(user)->message = text; };
    m = vexel_machine_create(&host);
}

bool TestMachine::requested(vexel_request request) const {
    for (vexel_request r : requests)
        if (r == request) return true;
    return false;
}

TestMachine::~TestMachine() { vexel_machine_destroy(m); }

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
