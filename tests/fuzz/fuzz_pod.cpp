// Feeds arbitrary bytes to the pod reader, then reads every data item again
// as a nested pod, the way the resource file's items are read.
#include <cstddef>
#include <cstdint>

#include "framework/fenn_pod.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fenn_file f;
    fenn_file_wrap(f, data, size);
    // Successive pods of one stream, as a reader of back-to-back pods would.
    for (int round = 0; round < 4; ++round) {
        fenn_pod* pod = fenn_load_pod_file("fuzz", f);
        if (!pod) break;
        for (int i = 0; i < fenn_pod_item_count(pod); ++i) fenn_destroy_pod(fenn_pod_load_nested(pod, i));
        fenn_destroy_pod(pod);
    }
    return 0;
}
