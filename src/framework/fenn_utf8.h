// fenn_utf8: reading UTF-8 text one character at a time.
//
// Host text (typed text, the clipboard, files written by other programs) is
// UTF-8 of unknown quality. The decoder takes a buffer and a length, never
// reads past it, and consumes at least one byte per call, so any loop over
// it ends; what is not a well-formed character (a stray continuation byte,
// a sequence cut short, an overlong form, a surrogate, a value above
// U+10FFFF) is reported as invalid one byte at a time.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t fenn_utf8_invalid = -1;
constexpr uint32_t fenn_utf8_max_code = 0x10ffff;
constexpr size_t fenn_utf8_max_bytes = 4;

// Decodes the character at the start of text[0, length) (length > 0).
// Returns its code point and sets *used to its byte count, or returns
// fenn_utf8_invalid with *used 1.
int32_t fenn_utf8_decode(const char* text, size_t length, size_t* used);
