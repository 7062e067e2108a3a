// Any bytes given to the save-data reader fill the 64 values and nothing
// else; the values written back read the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "machine/cdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t values[cdata_values + 1];
    values[cdata_values] = 0x5a5a5a5a;  // a guard just past the values
    const size_t digits = cdata_parse(data, size, values);
    if (digits > cdata_digits_max || values[cdata_values] != 0x5a5a5a5a) std::abort();
    const std::string text = cdata_format(values);
    if (text.size() != cdata_file_size) std::abort();
    int32_t again[cdata_values];
    cdata_parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), again);
    if (std::memcmp(values, again, sizeof again) != 0) std::abort();
    return 0;
}
