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

#include "cart/cart.h"
#include "framework/fenn_bitmap.h"
#include "framework/fenn_video.h"
#include "machine/pstate.h"

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

void make_machine_state() {
    vexel_pstate_zero();
    pstate.cart = vexel_cart_create();
    pstate.working_cart = vexel_cart_create();
    pstate.screen = fenn_create_bitmap(128, 128, 8);
    for (char*& tab : pstate.code_tabs) tab = new char[vexel_code_buffer]();
}

void free_machine_state() {
    for (char*& tab : pstate.code_tabs) {
        delete[] tab;
        tab = nullptr;
    }
    vexel_cart_destroy(pstate.working_cart);
    vexel_cart_destroy(pstate.cart);
    fenn_destroy_bitmap(pstate.screen);
    vexel_pstate_zero();
}

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
