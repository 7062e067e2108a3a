#include "runtime/machine_life.h"

#include "audio/audio.h"
#include "cart/cart.h"
#include "machine/button.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "runtime/run.h"

#include <cstdlib>
#include <new>

vexel_machine* vexel_machine_create(const vexel_host* host) {
    auto* m = new vexel_machine;
    m->host = host;
    m->screen = fenn_create_bitmap(vexel_screen_w, vexel_screen_h, 8);
    m->display = fenn_create_bitmap(vexel_screen_w, vexel_screen_h, 8);
    for (int i = 0; i < 16; ++i) m->screen_pal[i] = i;
    m->clip_x1 = vexel_screen_w;
    m->clip_y1 = vexel_screen_h;
    m->cart = vexel_cart_create();
    m->working_cart = vexel_cart_create();
    // calloc, not new[](): the allocator hands out fresh pages already
    // zero without touching them, and most tabs stay empty. Clearing all 16
    // buffers (4 MiB) byte by byte was a fifth of `vexel -x`'s start-up.
    for (char*& tab : m->code_tabs) {
        tab = static_cast<char*>(std::calloc(vexel_code_buffer, 1));
        if (!tab) throw std::bad_alloc();
    }
    m->audio = vexel_audio_create(m->audio_fx);
    m->runner = new vexel_runner{};
    vexel_buttons_reset(m);
    // A new cartridge has nothing unsaved until it is edited.
    cart_hash(m->working_cart, m->file.hash);
    vexel_mark_cart_saved(m);
    run_start_lua(m);
    return m;
}

void vexel_machine_destroy(vexel_machine* m) {
    if (!m) return;
    run_close_lua(m);
    vexel_audio_destroy(m->audio);
    delete[] m->runner->chain;
    delete m->runner;
    for (char*& tab : m->code_tabs) std::free(tab);
    vexel_cart_destroy(m->working_cart);
    vexel_cart_destroy(m->cart);
    fenn_destroy_bitmap(m->screen);
    fenn_destroy_bitmap(m->display);
    delete m;
}
