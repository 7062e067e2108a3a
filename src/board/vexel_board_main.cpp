// vexel-board: builds a cartridge board as a static site, and checks one.
//
//   vexel-board build SOURCE OUT [-port N]
//   vexel-board check OUT
//
// Exit status: 0 done, 1 the board has problems (each printed as
// "file:line: what"), 2 a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board_site.h"
#include "cart/cart_art.h"
#include "framework/fenn_path.h"
#include "framework/fenn_pod.h"
#include "framework/fenn_video.h"
#include "machine/text.h"

namespace {

constexpr int exit_problems = 1, exit_usage = 2;
constexpr int pod_system_graphics = 1, pod_font = 2;  // items of data.pod holding nested pods
constexpr int pod_palette = 1;                        // item of the system graphics

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: vexel-board build SOURCE OUT [-port N]\n"
                 "       vexel-board check OUT\n"
                 "\n"
                 "build  makes a board in the folder OUT from the cartridges (.qz, .qz.png)\n"
                 "       listed in SOURCE/board.txt: PNG cartridges, list pictures, search\n"
                 "       results, a web page per cartridge, index.html and nginx.conf (a server\n"
                 "       block listening on port N, default 8080). OUT is replaced only by a\n"
                 "       complete board, and only when it is empty or holds an earlier one.\n"
                 "check  reads a built board back: every list picture and cartridge.\n");
}

fenn_pod* nested_pod(const fenn_pod* resources, int index) {
    fenn_pod_item* item = fenn_pod_get_item(resources, index);
    if (!item || item->type != fenn_pod_type_data) return nullptr;
    return fenn_load_pod_memory(item->name, item->bytes.data(), item->bytes.size());
}

int report(const board_report& r, bool ok) {
    for (const std::string& e : r.errors) std::fprintf(stderr, "%s\n", e.c_str());
    return ok ? 0 : exit_problems;
}

}  // namespace

int main(int argc, char** argv) {
    fenn_path_set_argv0(argv[0]);
    if (argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        usage(stdout);
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[1], "check")) {
        board_report r;
        const bool ok = board_check(argv[2], &r);
        if (ok) std::printf("%s: %d cartridges, %d list pictures: ok\n", argv[2], r.carts, r.pictures);
        return report(r, ok);
    }
    if (argc < 4 || std::strcmp(argv[1], "build") != 0 || (argc != 4 && argc != 6)) {
        usage(stderr);
        return exit_usage;
    }
    board_build_options options;
    options.source = argv[2];
    options.out = argv[3];
    if (argc == 6) {
        char* end = nullptr;
        const long port = std::strtol(argv[5], &end, 10);
        if (std::strcmp(argv[4], "-port") != 0 || !end || *end || port < 1 || port > 65535) {
            std::fprintf(stderr, "vexel-board: -port takes a number from 1 to 65535\n");
            return exit_usage;
        }
        options.port = int(port);
    }

    // The palette, the cartridge picture and the program font come from the
    // resource file beside the program, as in the console.
    cart_art art;
    const std::string pod_path = fenn_prefix_with_program_path("data.pod");
    fenn_pod* resources = fenn_load_pod(pod_path.c_str());
    fenn_pod* graphics = nested_pod(resources, pod_system_graphics);
    fenn_pod_item* palette = fenn_pod_get_item(graphics, pod_palette);
    if (!palette || palette->type != fenn_pod_type_palette) {
        std::fprintf(stderr, "vexel-board: %s cannot be read; it lies beside the program once vexel is built\n",
                     pod_path.c_str());
        fenn_destroy_pod(graphics);
        fenn_destroy_pod(resources);
        return exit_problems;
    }
    fenn_set_palette(palette->bytes.data());
    fenn_pod* font = nested_pod(resources, pod_font);
    if (!font) font = vexel_create_console_font();
    const fenn_pod_item* picture = fenn_pod_get_data(graphics, cart_art_template_item);
    const fenn_pod_item* glyphs = fenn_pod_get_data(graphics, cart_art_font_item);
    if (picture && glyphs &&
        cart_art_set_from_png(&art, picture->bytes.data(), picture->bytes.size(), glyphs->bytes.data(),
                              glyphs->bytes.size()) == 0)
        options.art = &art;
    options.font = font;

    board_report r;
    const bool ok = board_build(options, &r);
    if (ok) std::printf("%s: %d cartridges, %d list pictures\n", argv[3], r.carts, r.pictures);
    fenn_destroy_pod(font);
    fenn_destroy_pod(graphics);
    fenn_destroy_pod(resources);
    return report(r, ok);
}
