// stat(n): the program's window on the system — memory and CPU use, frame
// rates, run parameters, clipboard, sound and music state, mouse and clock.
#pragma once
#include <cstdint>

struct lua_State;

constexpr int32_t stat_cycles = 16;
constexpr int32_t stat_version = 14;

int qz_stat(lua_State* L);

// The clipboard text a program reads with stat(4) (set by Ctrl+V).
void stat_set_clipboard(const char* text);
