// vexel-board: builds a cartridge board as a static site, changes one a
// cartridge at a time, and checks one.
//
//   vexel-board build SOURCE OUT [-port N] [-jobs N]
//   vexel-board add SITE CART --author A [--lists new,wip] [--title T] [--id ID] [--rating N]
//   vexel-board update SITE ID [--cart CART] [--author A] [--lists L] [--title T] [--rating N]
//   vexel-board remove SITE ID
//   vexel-board check SITE
//
// Exit status: 0 done, 1 the board has problems (each printed as
// "file:line: what"), 2 a wrong command line.
#include <malloc.h>

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
constexpr int board_malloc_map_min = 32 << 20;
constexpr int pod_system_graphics = 1, pod_font = 2;  // items of data.pod holding nested pods
constexpr int pod_palette = 1;                        // item of the system graphics

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: vexel-board build SOURCE OUT [-port N] [-jobs N]\n"
                 "       vexel-board add SITE CART --author A [--lists new,wip] [--title T] [--id ID] [--rating N]\n"
                 "       vexel-board update SITE ID [--cart CART] [--author A] [--lists L] [--title T] [--rating N]\n"
                 "       vexel-board remove SITE ID\n"
                 "       vexel-board check SITE\n"
                 "\n"
                 "build   makes a board in the folder OUT from the cartridges (.qz, .qz.png)\n"
                 "        listed in SOURCE/board.txt: PNG cartridges, list pictures, search\n"
                 "        results, web pages, its catalogue and an example nginx.conf (port N,\n"
                 "        default 8080), with N worker processes (default: one per core). OUT\n"
                 "        is replaced only by a complete board, and only when it is empty or\n"
                 "        holds an earlier one.\n"
                 "add     puts one cartridge on a built board (lists: new, featured, wip,\n"
                 "        collab, jam; default new), rewriting only the files it touches.\n"
                 "update  changes a cartridge's file, author, lists, title or rating.\n"
                 "remove  takes a cartridge off the board.\n"
                 "check   reads a built board back: every list picture and cartridge.\n");
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
    // A build draws hundreds of thousands of 2 MiB list pictures: kept on
    // the heap and reused, rather than mapped, faulted in and unmapped each
    // time (which cost more than drawing them).
    mallopt(M_MMAP_THRESHOLD, board_malloc_map_min);
    mallopt(M_TRIM_THRESHOLD, board_malloc_map_min * 2);
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
    const std::string command = argc >= 2 ? argv[1] : "";
    board_build_options options;
    board_change change;
    std::string id;
    int first_option = 0;
    if (command == "build" && argc >= 4) {
        options.source = argv[2];
        options.out = argv[3];
        first_option = 4;
    } else if (command == "add" && argc >= 4) {
        options.out = argv[2];
        change.cart = argv[3];
        first_option = 4;
    } else if ((command == "update" || command == "remove") && argc >= 4) {
        options.out = argv[2];
        id = argv[3];
        first_option = 4;
    } else {
        usage(stderr);
        return exit_usage;
    }
    for (int i = first_option; i < argc; i += 2) {
        const std::string o = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vexel-board: %s needs a value\n", o.c_str());
            return exit_usage;
        }
        const char* v = argv[i + 1];
        const bool change_command = command == "add" || command == "update";
        long n = 0;
        char* end = nullptr;
        if (command == "build" && (o == "-port" || o == "-jobs")) {
            n = std::strtol(v, &end, 10);
            const long most = o == "-port" ? 65535 : board_workers_max;
            if (!end || *end || n < 1 || n > most) {
                std::fprintf(stderr, "vexel-board: %s takes a number from 1 to %ld\n", o.c_str(), most);
                return exit_usage;
            }
            (o == "-port" ? options.port : options.workers) = int(n);
        } else if (change_command && o == "--author") {
            change.author = v;
        } else if (change_command && o == "--lists") {
            change.lists = v;
        } else if (change_command && o == "--title") {
            change.title = v;
        } else if (command == "add" && o == "--id") {
            change.id = v;
        } else if (command == "update" && o == "--cart") {
            change.cart = v;
        } else if (change_command && o == "--rating") {
            n = std::strtol(v, &end, 10);
            if (!end || *end || n < -999999 || n > 999999) {
                std::fprintf(stderr, "vexel-board: --rating takes a whole number\n");
                return exit_usage;
            }
            change.set_rating = true;
            change.rating = int(n);
        } else {
            std::fprintf(stderr, "vexel-board: %s: unknown option for %s\n", o.c_str(), command.c_str());
            usage(stderr);
            return exit_usage;
        }
    }
    if (command == "remove") {
        if (argc != 4) {
            usage(stderr);
            return exit_usage;
        }
        board_report r;
        const bool ok = board_remove(options, id, &r);
        if (ok) std::printf("%s: removed %s, %d files written\n", options.out.c_str(), id.c_str(), r.files);
        return report(r, ok);
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
    bool ok;
    if (command == "build") {
        ok = board_build(options, &r);
        if (ok)
            std::printf("%s: %d cartridges, %d list pictures, %d files\n", options.out.c_str(), r.carts, r.pictures,
                        r.files);
    } else if (command == "add") {
        ok = board_add(options, change, &r);
        if (ok) std::printf("%s: added %s, %d files written\n", options.out.c_str(), r.id.c_str(), r.files);
    } else {
        ok = board_update(options, id, change, &r);
        if (ok) std::printf("%s: updated %s, %d files written\n", options.out.c_str(), id.c_str(), r.files);
    }
    fenn_destroy_pod(font);
    fenn_destroy_pod(graphics);
    fenn_destroy_pod(resources);
    return report(r, ok);
}
