// The web build reads PNG with vexel's own decoder: a browser's image
// decoding premultiplies alpha and may convert colours, which would destroy
// the bytes a PNG cartridge keeps in the low bits of every channel.
#include "framework/fenn_png.h"

int fenn_png_decode(const uint8_t* data, size_t size, fenn_bitmap** out, int max_w, int max_h) {
    return fenn_png_decode_portable(data, size, out, max_w, max_h);
}
