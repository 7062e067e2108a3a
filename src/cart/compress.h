// compress: the small byte-oriented compressed form of program text.
//
// A compressed block is ":c:\0", the text length (big-endian, 2 bytes), two
// zero bytes, then a token stream: byte 1-59 is one character of a fixed
// alphabet, 0 followed by a byte is any other character, 60-255 with a second
// byte is a copy of 3-17 characters from up to 3120 characters back.
//
// The compressed size is a limit users hit (a cartridge picture holds 15360
// bytes of code), so the compressor follows its matching rule exactly: the same
// text always gives the same bytes. The decompressor reads blocks from
// strangers: it never reads past the block nor writes past the capacity, and
// reports damaged streams instead of guessing.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t compress_header_size = 8;
constexpr size_t compress_max_text = 65535;      // the header holds 16 bits of length
constexpr int compress_window = 3120;             // farthest back-reference
constexpr int compress_max_match = 17;
constexpr int compress_min_match = 3;
constexpr int compress_hash_size = 8192;

// Room compress_mini_pack needs in `out` for a text of `length` characters: the
// header plus two bytes per character in the worst case, and never less than
// the text itself (the plain text is stored when compression does not help).
constexpr size_t compress_mini_bound(size_t length) { return compress_header_size + 2 * length; }

// Compresses `length` characters of `text` into `out`. Returns the number of
// bytes written: the compressed block, or the plain text (no header, no
// terminator) when the block would not be shorter than the text. Returns 0
// without writing when `length` is above compress_max_text or `out_capacity`
// is below compress_mini_bound(length); an empty text also gives 0.
size_t compress_mini_pack(const char* text, size_t length, uint8_t* out, size_t out_capacity);

// True when the bytes start with the compressed block header ":c:\0".
bool compress_is_block(const uint8_t* data, size_t size);

enum compress_status : int {
    decompress_ok = 0,
    decompress_not_a_block = 1,    // too short or no ":c:\0" header
    decompress_too_long = 2,       // the header length exceeds the capacity
    decompress_truncated = 3,      // the token stream ends before the text does
    decompress_bad_reference = 4,  // a copy reaches before the start of the text
};

// Decompresses `block` (`size` bytes) into `out`. `out` is cleared to
// `capacity` bytes first, so it stays NUL-terminated when the caller gives one
// byte less than its buffer. A copy token is written in full even past the
// declared length, but never past `capacity`. A text that ends in one of the
// two historical frame-doubling tails loses that tail. On success *out_length
// is the length of the text; on failure it is 0 and `out` is left cleared.
int compress_mini_unpack(const uint8_t* block, size_t size, char* out, size_t capacity,
                    size_t* out_length);
