// Feeds arbitrary bytes to the button replay parser; what it accepts must
// hold one value per non-blank line.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "machine/button.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint16_t> frames;
    int line = 0;
    int err = vexel_parse_button_replay(reinterpret_cast<const char*>(data), size, frames, &line);
    if (err == replay_ok) {
        size_t lines = 1;
        for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
        if (frames.size() > lines || line != 0) std::abort();
    } else if (line < 0 || (err != replay_too_large && line == 0)) {
        std::abort();
    }
    return 0;
}
