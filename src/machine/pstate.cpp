#include "machine/pstate.h"

#include <cstring>
#include <type_traits>

static_assert(std::is_trivially_copyable_v<vexel_pstate>, "pstate is zeroed with memset");

vexel_pstate pstate;

void vexel_pstate_zero() { std::memset(&pstate, 0, sizeof pstate); }
