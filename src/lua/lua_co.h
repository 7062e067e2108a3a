// Coroutines: resuming and yielding threads, and the coroutine functions a
// cartridge sees.
//
// lua_resume runs a thread inside its own recover point until it returns,
// yields or fails; lua_yieldk unwinds to that point with LUA_YIELD. A yield
// is possible from Lua code, from a C function called from Lua (`flip`), out
// of a metamethod called by an instruction, and from the count hook; it is
// refused ("attempt to yield across a C-call boundary") while a C call
// without a continuation (L->nny > 0) is on the thread's stack. The main
// thread may be resumed like any coroutine: that is how the program runner
// drives a program a frame at a time.
//
// Invariants:
// - A thread suspended by a yield has status LUA_YIELD and its L->ci is the
//   call that yielded; ci->extra holds the offset of its real func slot, and
//   ci->func is moved down so that only the yielded values sit above it.
// - A yield from a hook leaves the Lua call's pc on the instruction that was
//   about to run and marks the call CIST_HOOKYIELD, so resuming re-runs that
//   instruction without calling the hook again.
// - Between a yield and the next resume the resumer leaves the thread's
//   stack as the yield left it (it pops whatever it pushed there).
// - A thread whose run failed has the error status (it is dead) and keeps
//   its call stack for tracebacks; lua_reset_call_state_vexel makes the main
//   thread usable again.
// - While a thread runs inside lua_resume, L->resumer is the thread whose
//   coresume resumed it (null when the host did). A hook yield in a
//   coroutine marks it hookyielded, and its coresume yields its own thread
//   in turn (also marked) with a continuation that resumes the coroutine
//   again: the whole chain up to the host is suspended, and carries on
//   unchanged when the host resumes. A hookyielded coroutine counts as
//   "normal": nothing but its own resumer's continuation may resume it.
// - After lua_vexel_stop, coresume passes errors on instead of returning
//   them and finalizers are skipped, until lua_vexel_clear_stop.
#pragma once

#include "lua/lua.h"
#include "lua/lua_do.h"

// cocreate(f): a new coroutine running f.
int luaB_cocreate(lua_State* L);
// coresume(co, ...): true and the values passed to yield or returned, or
// false and the error message.
int luaB_coresume(lua_State* L);
// costatus(co): "suspended", "running", "normal" or "dead".
int luaB_costatus(lua_State* L);
// yield(...): suspends the running coroutine, passing the arguments to the
// resumer.
int luaB_yield(lua_State* L);
// yield(...) as the console has it: suspends the running coroutine, passing
// nothing to the resumer.
int luaB_yieldnothing(lua_State* L);
// Registers cocreate, coresume, costatus and yield as globals.
void luaB_open_cart_co(lua_State* L);


// ---- switches inside the instruction loop ----
//
// coresume called from Lua code on a coroutine at rest (suspended by a
// yield with only Lua functions below it, or not started and holding a Lua
// function) does not need a C call that resumes the coroutine in a nested
// run of the loop: the loop switches to the coroutine's thread, runs it,
// and switches back when it yields or returns. Everything else, and every
// unusual end (an error, a hook yield, a yield across a metamethod), goes
// through the same steps as lua_resume and coresume, so the threads end up
// exactly as the C call leaves them.

// One run of the instruction loop (one luaV_execute). While it runs another
// thread, that thread's recover point is lj: an error or a yield that
// unwinds the thread lands in the loop, which ends the resume as
// lua_resume would.
struct luaCo_Switch {
    lua_State* entry;    // the thread the loop was started for
    lua_State* running;  // the thread it runs now
    lua_longjmp lj;
};

// Called for coresume at func (its arguments up to L->top, L's pc and
// countdown saved): enters the coroutine and returns it, its L->ci the Lua
// call to run, or returns nullptr, having changed nothing, when the C call
// has to be made. L's coresume call stays on L's CallInfo list meanwhile.
lua_State* luaCo_enter(lua_State* L, StkId func, int nresults, luaCo_Switch* sw);
// luaCo_leave's status for a yield out of a C function called by the loop.
constexpr int LUACO_YIELDED = 100;
// Called for coresume, yield or yieldnothing (f) at func, its arguments up
// to L->top, L's pc and countdown saved. coresume enters the coroutine as
// luaCo_enter does. yield in a coroutine the loop entered suspends it as the C call
// would, without making the call, and leaves it (luaCo_leave). Returns the
// thread to run on from its L->ci, or nullptr, having changed nothing, when
// the C call has to be made.
lua_State* luaCo_switch(lua_State* L, lua_CFunction f, StkId func, int nresults, luaCo_Switch* sw);
// The coroutine co that luaCo_enter entered stopped: LUACO_YIELDED, LUA_OK (its function returned, or a function that a C
// call had entered), or the status the unwinding carried. Ends its resume
// and the coresume call on its resumer, and returns the resumer, to run on
// from its L->ci; nullptr when a hook yield suspended the whole chain up to
// sw->entry, which the loop then leaves as yielded.
lua_State* luaCo_leave(lua_State* co, int status, luaCo_Switch* sw);
