// Feeds arbitrary bytes to the WAV reader; the samples it reports must lie
// inside the input.
#include <cstdint>
#include <cstdlib>

#include "audio/audio_wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* samples = nullptr;
    int64_t count = 0;
    if (vexel_wav_parse(data, size, &samples, &count) == 0) {
        if (samples < data || count < 0 || samples + count * 2 > data + size) std::abort();
        int sum = 0;
        for (int64_t j = 0; j < count * 2; ++j) sum += samples[j];
        (void)sum;
    }
    return 0;
}
