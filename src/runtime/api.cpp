#include "runtime/api.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "lua/lua_base.h"
#include "lua/lua_co.h"
#include "machine/lua_alloc.h"
#include "machine/machine.h"
#include "runtime/api_impl.h"
#include "runtime/commands.h"

namespace {

// Binding order is part of the system: it fixes the API name list.
constexpr api_function table[] = {
    {"flip", qz_flip, api_plain, ""},
    {"camera", nullptr, api_plain, "[x y]", qz_camera},
    {"clip", nullptr, api_plain, "[x y w h]", qz_clip},
    {"cls", nullptr, api_plain, "[c]", qz_cls},
    {"folder", qz_folder, api_plain, ""},
    {"ls", qz_ls, api_plain, "[filter]"},
    {"dir", qz_ls, api_plain, "[filter]"},
    {"cd", qz_cd, api_plain, "[folder]"},
    {"mkdir", qz_mkdir, api_plain, "name"},
    {"install_demos", qz_install_demos, api_plain, ""},
    {"install_games", qz_install_games, api_plain, ""},
    {"keyconfig", qz_keyconfig, api_plain, ""},
    {"browse", qz_browse, api_plain, ""},
    {"pset", nullptr, api_plain, "x y [c]", qz_pset},
    {"pget", nullptr, api_plain, "x y", qz_pget},
    {"color", nullptr, api_plain, "[c]", qz_color},
    {"print", qz_print, api_plain, "text [x y [c]]"},
    {"printh", qz_printh, api_plain, "value"},
    {"cursor", nullptr, api_plain, "[x y [c]]", qz_cursor},
    {"tonum", qz_tonum, api_plain, "value [flags]"},
    {"tostr", qz_tostr, api_plain, "value [flags]"},
    {"spr", qz_spr, api_plain, "n x y [w h [flip_x [flip_y]]]"},
    {"sspr", qz_sspr, api_plain, "sx sy sw sh dx dy [dw dh [flip_x [flip_y]]]"},
    {"rect", qz_rect, api_plain, "x0 y0 x1 y1 [c]"},
    {"rectfill", qz_rectfill, api_plain, "x0 y0 x1 y1 [c]"},
    {"circ", nullptr, api_plain, "x y [r [c]]", qz_circ},
    {"circfill", nullptr, api_plain, "x y [r [c]]", qz_circfill},
    {"line", qz_line, api_plain, "x0 y0 [x1 y1] [c]"},
    {"pal", qz_pal, api_plain, "[c0 c1 [p]]"},
    {"palt", qz_palt, api_plain, "[c [transparent]]"},
    {"fillp", nullptr, api_plain, "[pattern]", qz_fillp},
    {"mapdraw", qz_mapdraw, api_plain, "cx cy sx sy [cw ch [layers]]"},
    {"map", qz_mapdraw, api_plain, "cx cy sx sy [cw ch [layers]]"},
    {"mget", nullptr, api_plain, "x y", qz_mget},
    {"mset", nullptr, api_plain, "x y v", qz_mset},
    {"fget", qz_fget, api_plain, "n [f]"},
    {"fset", qz_fset, api_plain, "n [f] v"},
    {"sget", nullptr, api_plain, "x y", qz_sget},
    {"sset", nullptr, api_plain, "x y [c]", qz_sset},
    {"music", qz_music, api_plain, "[n [fade_ms [channel_mask]]]"},
    {"sfx", qz_sfx, api_plain, "n [channel [offset [length]]]"},
    {"peek", qz_peek, api_plain, "addr [n]"},
    {"poke", qz_poke, api_plain, "addr value [value...]"},
    {"memcpy", qz_memcpy, api_plain, "dest src len"},
    {"memset", qz_memset, api_plain, "dest value len"},
    {"reload", qz_reload, api_plain, "[dest src len [file]]"},
    {"cstore", qz_cstore, api_plain, "[dest src len [file]]"},
    {"rnd", qz_rnd, api_plain, "[x|table]"},
    {"srand", qz_srand, api_plain, "x"},
    {"flr", nullptr, api_plain, "x", qz_flr},
    {"sgn", nullptr, api_plain, "x", qz_sgn},
    {"abs", nullptr, api_plain, "x", qz_abs},
    {"min", nullptr, api_plain, "a b", qz_min},
    {"max", nullptr, api_plain, "a b", qz_max},
    {"mid", nullptr, api_plain, "a b c", qz_mid},
    {"cos", nullptr, api_plain, "turns", qz_cos},
    {"sin", nullptr, api_plain, "turns", qz_sin},
    {"sqrt", nullptr, api_plain, "x", qz_sqrt},
    {"atan2", nullptr, api_plain, "dx dy", qz_atan2},
    {"band", nullptr, api_plain, "a b", qz_band},
    {"bor", nullptr, api_plain, "a b", qz_bor},
    {"bxor", nullptr, api_plain, "a b", qz_bxor},
    {"bnot", nullptr, api_plain, "x", qz_bnot},
    {"shl", nullptr, api_plain, "x n", qz_shl},
    {"shr", nullptr, api_plain, "x n", qz_shr},
    {"load", qz_load, api_plain, "name [label [params]]"},
    {"save", qz_save, api_plain, "name"},
    {"run", qz_run, api_plain, "[params]"},
    {"stop", qz_stop, api_plain, "[message [x y [c]]]"},
    {"reboot", qz_reboot, api_plain, ""},
    {"shutdown", qz_shutdown, api_plain, ""},
    {"exit", qz_shutdown, api_plain, ""},
    {"info", qz_info, api_plain, ""},
    {"export", qz_export, api_plain, "name"},
    {"import", qz_import, api_plain, "name"},
    {"help", qz_help, api_plain, ""},
    {"time", qz_time, api_plain, ""},
    {"t", qz_time, api_common_word, ""},
    {"login", qz_login, api_plain, ""},
    {"logout", qz_logout, api_plain, ""},
    {"bbsreq", qz_bbsreq, api_plain, ""},
    {"scoresub", qz_scoresub, api_plain, ""},
    {"extcmd", qz_extcmd, api_plain, "command"},
    {"btn", qz_btn, api_plain, "[b [p]]"},
    {"btnp", qz_btnp, api_plain, "[b [p]]"},
    {"_menuitem", qz_menuitem, api_plain, "index label"},
    {"cartdata", qz_cartdata, api_plain, "id"},
    {"dget", qz_dget, api_plain, "index"},
    {"dset", qz_dset, api_plain, "index value"},
    {"stat", qz_stat, api_plain, "n"},
    {"sub", luaB_sub, api_plain, "s [i [j]]"},
    {"pairs", luaB_pairs, api_plain, "t"},
    {"type", luaB_type, api_plain, "value"},
    {"assert", luaB_assert, api_plain, "value [message]"},
    {"setmetatable", luaB_setmetatable, api_plain, "t metatable"},
    {"getmetatable", luaB_getmetatable, api_plain, "t"},
    {"cocreate", luaB_cocreate, api_plain, "function"},
    {"coresume", luaB_coresume, api_direct, "coroutine [values...]"},
    {"costatus", luaB_costatus, api_plain, "coroutine"},
    {"yield", luaB_yieldnothing, api_direct, ""},
    {"trace", luaB_trace, api_plain, "[coroutine] [message [level]]"},
    {"_paused", qz_paused, api_plain, ""},
    {"holdframe", qz_holdframe, api_plain, ""},
    {"_get_menu_item_selected", qz_get_menu_item_selected, api_plain, "index"},
    {"_update_buttons", qz_update_buttons, api_plain, ""},
    {"_update_framerate", qz_update_frame_rate, api_plain, ""},
    {"_set_mainloop_exists", qz_set_mainloop_exists, api_plain, "kind"},
    {"_set_fps", qz_set_fps, api_plain, "fps"},
    {"_mark_cpu", qz_mark_cpu, api_plain, "index"},
    {"_set_paused", qz_set_paused, api_plain, "paused"},
    {"ceil", nullptr, api_plain, "x", qz_ceil},
    {"lshr", nullptr, api_plain, "x n", qz_lshr},
    {"rotl", nullptr, api_plain, "x n", qz_rotl},
    {"rotr", nullptr, api_plain, "x n", qz_rotr},
    {"peek2", qz_peek2, api_plain, "addr"},
    {"poke2", qz_poke2, api_plain, "addr value"},
    {"peek4", qz_peek4, api_plain, "addr"},
    {"poke4", qz_poke4, api_plain, "addr value"},
    {"chr", luaB_chr, api_plain, "[byte...]"},
    {"ord", luaB_ord, api_plain, "s [i [n]]"},
    {"split", luaB_split, api_plain, "s [sep [convert]]"},
    {"select", luaB_select, api_plain, "n [values...]"},
    {"ipairs", luaB_ipairs, api_plain, "t"},
    {"inext", luaB_inext, api_plain, "t i"},
    {"next", luaB_next, api_plain, "t [key]"},
    {"unpack", luaB_unpack, api_plain, "t [i [j]]"},
    {"pack", luaB_pack, api_plain, "[values...]"},
    {"rawget", luaB_rawget, api_plain, "t key"},
    {"rawset", luaB_rawset, api_plain, "t key value"},
    {"rawequal", luaB_rawequal, api_plain, "a b"},
    {"rawlen", luaB_rawlen, api_plain, "t"},
    {"oval", qz_oval, api_plain, "x0 y0 x1 y1 [c]"},
    {"ovalfill", qz_ovalfill, api_plain, "x0 y0 x1 y1 [c]"},
    {"tline", qz_tline, api_plain, "x0 y0 x1 y1 mx my [mdx mdy [layers]]"},
    // Last, so that the names before it keep their places; a common word
    // in programs, so the token counter leaves it alone. At the prompt it
    // is a console command (runtime/commands.cpp).
    {"new", qz_new, api_common_word, ""},
};

constexpr size_t table_size = sizeof table / sizeof table[0];

// By name, through an index sorted once (names with their lengths): the
// code editor asks for every identifier it colours, and a scan of the table
// measured each name with strlen, a quarter of the editor's redraw time.
// Where a name appears twice the first entry answers, as in the table.
const api_function* find(std::string_view name) {
    using entry = std::pair<std::string_view, const api_function*>;
    static const std::vector<entry> index = [] {
        std::vector<entry> v;
        v.reserve(table_size);
        for (const api_function& f : table) v.emplace_back(f.name, &f);
        std::stable_sort(v.begin(), v.end(), [](const entry& a, const entry& b) { return a.first < b.first; });
        return v;
    }();
    const auto it = std::lower_bound(index.begin(), index.end(), name,
                                     [](const entry& e, std::string_view n) { return e.first < n; });
    return it != index.end() && it->first == name ? it->second : nullptr;
}

}  // namespace

const api_function* api_functions(size_t* count) {
    if (count) *count = table_size;
    return table;
}

namespace {

// Every binding is called through one of these. A fault the machine
// recorded during the call (machine/error.h: a bad address, save data used
// before cartdata) is raised when the binding returns, as an error of the
// calling line: it reads like any other runtime error and stops the program
// at once, the same inside a callback as at the top level.
int finish_binding(lua_State* L, int results) {
    vexel_machine* m = api_machine(L);
    if (m && m->error_pending) {
        m->error_pending = false;
        return luaL_error(L, "%s", m->error_string);
    }
    return results;
}

// One wrapper per table entry, made at compile time, so the binding is a
// plain C function that knows its target: a closure holding the entry as
// an upvalue had to read it back on every call, about 8% of the host
// instructions of bench_frame.
template <size_t I>
int call_binding(lua_State* L) {
    return finish_binding(L, table[I].fn(L));
}

template <size_t... I>
constexpr std::array<lua_CFunction, sizeof...(I)> make_bindings(std::index_sequence<I...>) {
    return {&call_binding<I>...};
}

constexpr auto bindings = make_bindings(std::make_index_sequence<table_size>{});

}  // namespace

namespace {

void push_entry(lua_State* L, size_t i) {
    if (table[i].numbers)
        lua_pushnumberfunction(L, table[i].numbers);
    else
        lua_pushcfunction(L, table[i].flags & api_direct ? table[i].fn : bindings[i]);
}

}  // namespace

void api_register(lua_State* L) {
    for (size_t i = 0; i < table_size; i++) {
        push_entry(L, i);
        lua_setglobal(L, table[i].name);
    }
    luaB_open_string_index(L);
}

bool api_push(lua_State* L, const char* name) {
    const api_function* f = find(name ? name : "");
    if (!f) return false;
    push_entry(L, size_t(f - table));
    return true;
}

bool api_is_function(std::string_view word) {
    const api_function* f = find(word);
    return f && !(f->flags & api_common_word);
}

std::string api_expand_shorthand(const char* text) {
    std::string line = text ? text : "";
    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const cmd_console_command* c = cmd_find_console_command(word);
    if (!c) return line;
    if (space == std::string::npos) return c->program ? c->program : word + "()";
    if (c->program) return line;  // a command of its own takes no word
    if (line.size() >= space + 2 && line[space + 1] != '"') return word + "(\"" + line.substr(space + 1) + "\")";
    return line;
}
