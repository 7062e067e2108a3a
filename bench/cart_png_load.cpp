// Loads a full PNG cartridge (every ROM byte used, a program whose compressed
// form nearly fills the block) and prints the time per load, and per save.
// Target: loading takes under 20 ms.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cart/cart_art.h"
#include "cart/png_cart.h"
#include "cart/cart_rom.h"

namespace {

std::string make_program(size_t size) {
    const char* words[] = {"function", "local", "end", "if", "then", "else", "for", "in", "all",
                           "do", "return", "spr", "pset", "circfill", "rectfill", "print",
                           "player", "enemies", "particles", "btn", "btnp", "mget", "fget"};
    std::mt19937 rng(11);
    std::string s;
    while (s.size() < size) {
        s.append(size_t(rng() % 4), ' ');
        for (int i = 0, n = 2 + int(rng() % 6); i < n; ++i) {
            s += words[rng() % (sizeof words / sizeof *words)];
            if (rng() % 3 == 0) s += std::to_string(rng() % 128);
            s += rng() % 5 == 0 ? "(" : " ";
        }
        s += "\n";
    }
    s.resize(size);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    cart_art art;
    if (argc > 1) cart_art_load_folder(&art, argv[1]);  // the assets folder, optional
    vexel_cart* cart = vexel_cart_create();
    std::mt19937 rng(3);
    for (int a = 0; a < vexel_rom_size; ++a) vexel_cart_poke(cart, uint32_t(a), int(rng() & 0xff));
    std::string code = make_program(40000);
    std::strcpy(cart->code, code.c_str());

    std::vector<uint8_t> png;
    constexpr int rounds = 20;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        if (vexel_cart_png_encode(cart, &art, &png) != 0) {
            std::printf("program does not fit\n");
            return 1;
        }
    }
    auto t1 = std::chrono::steady_clock::now();
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        vexel_cart* back = nullptr;
        int version = 0;
        if (png_cart_load_memory(png.data(), png.size(), true, &back, &version) != 0) ++failures;
        vexel_cart_destroy(back);
    }
    auto t2 = std::chrono::steady_clock::now();

    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count() / rounds; };
    std::printf("PNG cartridge %zu bytes, program %zu chars\n", png.size(), code.size());
    std::printf("save (encode): %.2f ms\n", ms(t1 - t0));
    std::printf("load with label: %.2f ms (target < 20 ms)\n", ms(t2 - t1));
    vexel_cart_destroy(cart);
    return failures ? 1 : 0;
}
