#include "machine/host.h"

#include <cstdio>
#include <string>

#include "cart/cart_glyphs.h"

#include "machine/machine.h"

void vexel_host_request(const vexel_machine* m, vexel_request request) {
    if (m && m->host && m->host->request) m->host->request(m->host->user, request);
}

void vexel_host_message(const vexel_machine* m, const char* text, int ms) {
    if (m && m->host && m->host->show_message) m->host->show_message(m->host->user, text ? text : "", ms);
}

void vexel_host_output(const vexel_machine* m, const char* text, size_t length) {
    // Standard output is UTF-8 text: glyphs leave the machine as the same
    // characters a text cartridge holds.
    std::string utf8;
    cart_machine_to_utf8(text, length, &utf8);
    if (m && m->host && m->host->output) {
        m->host->output(m->host->user, utf8.data(), utf8.size());
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

bool vexel_host_quit_requested(const vexel_machine* m) {
    return m && m->host && m->host->quit_requested && m->host->quit_requested(m->host->user);
}

bool vexel_host_menu_paused(const vexel_machine* m) {
    return m && m->host && m->host->menu_paused && m->host->menu_paused(m->host->user);
}

void vexel_host_cart_released(const vexel_machine* m, const vexel_cart* cart) {
    if (m && m->host && m->host->cart_released) m->host->cart_released(m->host->user, cart);
}

void vexel_host_open_url(const vexel_machine* m, const char* url) {
    if (m && m->host && m->host->open_url) m->host->open_url(m->host->user, url);
}

bool vexel_host_exec_mode(const vexel_machine* m) { return m && m->host && m->host->exec_mode; }
bool vexel_host_show_backup_messages(const vexel_machine* m) { return m && m->host && m->host->show_backup_messages; }

const char* vexel_host_carts_path(const vexel_machine* m) {
    return m && m->host && m->host->carts_path ? m->host->carts_path : "";
}

const char* vexel_host_cdata_path(const vexel_machine* m) {
    return m && m->host && m->host->cdata_path ? m->host->cdata_path : "";
}

void vexel_host_finish(const vexel_machine* m, int status) {
    if (m && m->host && m->host->finish) m->host->finish(m->host->user, status);
}
