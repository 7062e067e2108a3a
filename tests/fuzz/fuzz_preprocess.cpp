// Fuzz target for the preprocessor: any bytes must come out as text that fits
// the given output (or a refusal with an empty output), never a crash, and the
// result must not depend on anything but the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/pre.h"

namespace {

void check(const char* text, size_t size, size_t capacity, std::vector<char>& out) {
    out.assign(capacity + 16, '\x5a');
    vexel_pre_report r{};
    const int code = vexel_preprocess(text, size, out.data(), capacity, &r);
    for (size_t i = capacity; i < out.size(); ++i)
        if (out[i] != '\x5a') std::abort();
    if (r.length >= capacity || out[r.length] != '\0') std::abort();
    if (code != vexel_pre_ok && (r.length != 0 || r.message[0] == '\0')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<char> a, b;
    // The runner's room after the header, and a small one to reach the refusals.
    check(text, size, 81920 - 1024, a);
    check(text, size, 257, b);
    std::vector<char> again;
    check(text, size, 81920 - 1024, again);
    if (std::strcmp(a.data(), again.data()) != 0) std::abort();
    return 0;
}
