// Compresses and decompresses a 65535-character program and prints the time
// per call. Target: compressing takes under 20 ms.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cart/compress.h"

namespace {

// Program-like text: statements built from a small vocabulary with varying
// names and numbers, like a real game's code.
std::string make_program(size_t size) {
    const char* words[] = {"function", "local", "end", "if", "then", "else", "for", "in", "all",
                           "do", "return", "spr", "pset", "circfill", "rectfill", "print",
                           "player", "enemies", "particles", "btn", "btnp", "mget", "fget"};
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < size) {
        int indent = rng() % 4;
        s.append(size_t(indent), ' ');
        int n = 2 + rng() % 6;
        for (int i = 0; i < n; ++i) {
            s += words[rng() % (sizeof words / sizeof *words)];
            if (rng() % 3 == 0) s += std::to_string(rng() % 128);
            s += rng() % 5 == 0 ? "(" : rng() % 4 == 0 ? "," : " ";
        }
        s += "\n";
    }
    s.resize(size);
    return s;
}

}  // namespace

int main() {
    std::string text = make_program(65535);
    std::vector<uint8_t> block(compress_mini_bound(text.size()));
    std::vector<char> back(65536);
    constexpr int rounds = 20;

    size_t size = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) size = compress_mini_pack(text.data(), text.size(), block.data(), block.size());
    auto t1 = std::chrono::steady_clock::now();
    size_t length = 0;
    for (int i = 0; i < rounds; ++i) compress_mini_unpack(block.data(), size, back.data(), 65535, &length);
    auto t2 = std::chrono::steady_clock::now();

    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count() / rounds; };
    std::printf("compress_mini_pack   65535 chars -> %zu bytes: %.2f ms (target < 20 ms)\n", size, ms(t1 - t0));
    std::printf("compress_mini_unpack %zu bytes -> %zu chars: %.3f ms\n", size, length, ms(t2 - t1));

    // Texts that make the match search work hardest.
    std::mt19937 rng(9);
    struct { const char* name; std::string text; } hard[] = {
        {"one repeated character", std::string(65535, 'a')},
        {"two random letters", std::string(65535, ' ')},
        {"random letters", std::string(65535, ' ')},
        {"random bytes", std::string(65535, ' ')},
    };
    for (char& c : hard[1].text) c = "ab"[rng() % 2];
    for (char& c : hard[2].text) c = char('a' + rng() % 26);
    for (char& c : hard[3].text) c = char(1 + rng() % 255);
    for (auto& h : hard) {
        auto a = std::chrono::steady_clock::now();
        size_t n = compress_mini_pack(h.text.data(), h.text.size(), block.data(), block.size());
        auto b = std::chrono::steady_clock::now();
        std::printf("  %-24s -> %6zu bytes: %.2f ms\n", h.name, n,
                    std::chrono::duration<double, std::milli>(b - a).count());
    }
    return length == text.size() ? 0 : 1;
}
