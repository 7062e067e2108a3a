#include "runtime/machine_life.h"

#include "audio/audio.h"
#include "cart/cart.h"
#include "machine/button.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "runtime/run.h"

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
    for (char*& tab : m->code_tabs) tab = new char[vexel_code_buffer]();
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
    for (char*& tab : m->code_tabs) delete[] tab;
    vexel_cart_destroy(m->working_cart);
    vexel_cart_destroy(m->cart);
    fenn_destroy_bitmap(m->screen);
    fenn_destroy_bitmap(m->display);
    delete m;
}
