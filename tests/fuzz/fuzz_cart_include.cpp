// Fuzz target for the joining of #include lines: any program text, with a
// folder of small files that include each other (a chain, a loop, a
// cartridge file), must join without a crash, and the joined text must
// keep one origin per line, each naming a known file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cart/cart_include.h"

namespace {

const std::string& folder() {
    static const std::string dir = [] {
        const std::filesystem::path p =
            std::filesystem::temp_directory_path() / ("vexel_fuzz_include_" + std::to_string(::getpid()));
        std::filesystem::create_directories(p / "sub");
        auto put = [&](const char* name, const char* text) { std::ofstream(p / name, std::ios::binary) << text; };
        put("a.lua", "a=1\n#include sub/b.lua\n");
        put("sub/b.lua", "b=[[\n#include ../a.lua\n]]\n#include ../loop.lua\n");
        put("loop.lua", "#include loop.lua\n");
        put("lib.qz", "vexel cartridge\nversion 15\n__lua__\n#include a.lua\nlib=1\n__gfx__\n");
        return p.string() + "/";
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string code(reinterpret_cast<const char*>(data), size);
    const char* text = code.c_str();  // the program ends at a NUL, as a cartridge's does
    const bool has = cart_has_includes(text);
    for (const bool allowed : {true, false}) {
        const cart_joined_program j = cart_join_includes(text, folder(), allowed);
        size_t newlines = 0;
        for (char c : j.text) newlines += c == '\n';
        if (j.lines.size() != newlines + 1) std::abort();
        for (const cart_include_origin& o : j.lines)
            if (o.file < 0 || size_t(o.file) >= j.files.size() || o.line < 0) std::abort();
        if (!has && (j.files.size() != 1 || !j.errors.empty() || j.text != text)) std::abort();
        if (!allowed && j.files.size() != 1) std::abort();
    }
    return 0;
}
