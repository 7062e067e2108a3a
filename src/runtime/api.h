// api: every function a cartridge program sees, declared in one table.
//
// Each entry gives the global name, the C function, how the name may be
// typed at the console prompt (the shorthand) and the arguments as the
// manual shows them. api_register binds them all, in table order, in a
// fresh script machine; no standard library of the script language is
// opened. The implementations are grouped by family (api_gfx.cpp,
// api_math.cpp, api_memory.cpp, api_input.cpp, api_sound.cpp,
// api_system.cpp, api_console.cpp; the language's own functions come from
// the interpreter) and all find their machine through vexel_lua_machine.
//
// Argument rules, shared by every function: numbers are read as raw 16.16
// values, a missing or non-numeric argument reads as 0, strings are taken
// as given (a missing one is absent, not an error); what a function does
// with the count of arguments it was given is its own rule. No function
// raises an error for a wrong argument type unless its entry says so.
//
// Adding a function: write it in the file of its family, declare it in
// api_impl.h and add one line to the table in api.cpp. A function that
// reads at most four numbers, gives at most one number and records no
// machine fault is written as a number function (api_impl.h): the
// instruction loop calls those without the C function protocol.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "lua/lua.h"

// How a name may be typed at the console prompt.
enum api_flags : uint8_t {
    api_plain = 0,
    // (The console's commands, typed without brackets, are the table of
    // runtime/commands.h.)
    // A word programs commonly use for their own variables: the token
    // counter treats it as a plain name.
    api_common_word = 2,
    // Bound as the function itself, without the wrapper that raises a
    // fault the machine recorded during the call: for a function that
    // records none and that the interpreter recognises by its address
    // (coresume and yield, whose switches the instruction loop makes
    // itself).
    api_direct = 4,
};

struct api_function {
    const char* name;
    lua_CFunction fn;   // null for a number function
    uint8_t flags;      // api_flags
    const char* usage;  // the arguments as the manual shows them; optional ones in brackets
    // A function of numbers only (lua.h), bound with lua_pushnumberfunction:
    // the instruction loop calls it without the C function protocol. Such a
    // function records no machine fault.
    lua_NumberFunction numbers = nullptr;
};

// The table, in binding order (the order is part of the system: it fixes
// the list of API names).
const api_function* api_functions(size_t* count);

// Binds every function of the table as a global of L.
void api_register(lua_State* L);
// Pushes the function of the table entry `name` as api_register binds it
// (nothing, and false, for a name not in the table).
bool api_push(lua_State* L, const char* name);

// Whether a word is the name of a table entry (common words excepted).
bool api_is_function(std::string_view word);

// A line typed at the console with its command shorthand applied (the
// commands are the table of runtime/commands.h): a line that is only a
// command name becomes its program, a command name and a word become the
// call with the word as a string. Other text is unchanged.
std::string api_expand_shorthand(const char* text);
