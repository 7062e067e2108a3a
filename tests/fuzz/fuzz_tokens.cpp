// Fuzz target for the light tokenizer and the token count: any bytes must be
// walked to the end without reading outside them, every token must advance,
// and the count must agree with a walk of the same text.
#include <cstdint>
#include <cstdlib>

#include "runtime/token.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* end = text + size;
    int tokens = 0;
    vexel_tokenizer t{};
    const char* p = token_first(t, text, size);
    const char* before = text;
    while (t.tok != tok_eof) {
        if (p <= before || p > end || t.token_start < before || t.token_end != p) std::abort();
        switch (t.tok) {
        case tok_eol: case tok_comment: case tok_local: case tok_end:
        case ';': case ')': case '}': case ']': case ',': case '.': case ':':
            break;
        default:
            ++tokens;
        }
        before = p;
        p = token_next(t, p);
    }
    if (p != end || token_count(text, size) != tokens) std::abort();
    vexel_limit_report report;
    vexel_check_code_limits(text, size, &report);
    return 0;
}
