// Object creation and the incremental garbage collector.
//
// luaC_newobj allocates an object of tag tt (passed to the allocator as
// osize), sets its header and links it at the head of `list` (g->allgc when
// list is null). The collector is the tri-colour incremental mark and sweep
// of Lua 5.2.3: a cycle starts once the debt (bytes allocated past the
// pause threshold) is positive; every luaC_checkGC with a positive debt then
// does work in proportion to the allocation (step multiplier), interleaved
// with the program, until the cycle ends and the next pause is set at
// pause% of what survived.
//
// Phases (g->gcstate): GCSpause -> GCSpropagate (gray objects are traversed
// a few at a time) -> GCSatomic (one go: threads, weak tables, finalizers;
// the white flips) -> GCSsweepstring / GCSsweepudata / GCSsweep (dead
// objects freed a few at a time, survivors whitened) -> GCSpause.
//
// Colours: white (one of two whites; the current one marks new and
// not-yet-reached objects, the other one dead ones during the sweep), gray
// (reached, on one of the gray lists, contents not yet traversed) and black
// (reached and traversed).
//
// Invariants:
// - While marking (propagate, atomic) no black object points to a white one.
//   The write barriers keep it: luaC_barrier marks the stored object (used
//   for upvalues, userdata and prototypes), luaC_barrierback turns a table
//   gray again to be traversed anew in the atomic phase. Threads and weak
//   tables are never black while marking, so stores into them need no
//   barrier; the atomic phase traverses them again.
// - During the sweep, objects not yet swept may be black; objects created or
//   moved between lists then are made white in the current white so the
//   sweep keeps them.
// - Open upvalues belong to their thread (never swept while open) and are
//   whitened when a cycle starts; closing one during a cycle keeps the
//   invariant (luaC_upvalclosed).
// - A collection step only happens where L->top covers every live stack slot
//   (luaC_checkGC points) or in an emergency (a failed allocation, which
//   runs a whole cycle, skips finalizers and leaves the string table's size
//   alone). The collector is stopped while a text chunk is compiled.
#pragma once

#include "lua/lua_object.h"

// Collector phases.
constexpr lu_byte GCSpropagate = 0;
constexpr lu_byte GCSatomic = 1;
constexpr lu_byte GCSsweepstring = 2;
constexpr lu_byte GCSsweepudata = 3;
constexpr lu_byte GCSsweep = 4;
constexpr lu_byte GCSpause = 5;

// Colour bits of GCObject::marked.
constexpr lu_byte WHITE0BIT = 1 << 0;
constexpr lu_byte WHITE1BIT = 1 << 1;
constexpr lu_byte BLACKBIT = 1 << 2;
constexpr lu_byte SEPARATED = 1 << 4;  // on finobj or tobefnz
constexpr lu_byte WHITEBITS = WHITE0BIT | WHITE1BIT;

inline bool iswhite(const GCObject* o) { return (o->marked & WHITEBITS) != 0; }
inline bool isblack(const GCObject* o) { return (o->marked & BLACKBIT) != 0; }
inline bool isgray(const GCObject* o) { return (o->marked & (WHITEBITS | BLACKBIT)) == 0; }

GCObject* luaC_newobj(lua_State* L, int tt, size_t sz, GCObject** list, int offset);
void luaC_freeallobjects(lua_State* L);
void luaC_freeobj(lua_State* L, GCObject* o);
void luaC_checkGC(lua_State* L);
// One step of the collector (when it is running): work in proportion to the
// debt, then a few pending finalizers (all of them at the end of a cycle).
void luaC_step(lua_State* L);
// luaC_step whether or not the collector is running (lua_gc "step").
void luaC_forcestep(lua_State* L);
// lua_gc "step": the work that `kb` kilobytes of allocation would pay for
// (at least one piece). Returns 1 when the step ended a cycle.
int luaC_stepkb(lua_State* L, int kb);
void luaC_fullgc(lua_State* L, int isemergency);
// Moves o to the objects with finalizers when mt has __gc.
void luaC_checkfinalizer(lua_State* L, GCObject* o, Table* mt);
// Called when the open upvalue uv has been closed and moved to allgc.
void luaC_upvalclosed(lua_State* L, UpVal* uv);

// Barrier slow paths: o is black and v white.
void luaC_barrier_(lua_State* L, GCObject* o, GCObject* v);
void luaC_barrierback_(lua_State* L, GCObject* o);

inline void luaC_objbarrier(lua_State* L, GCObject* p, GCObject* o) {
    if (iswhite(o) && isblack(p)) luaC_barrier_(L, p, o);
}
inline void luaC_barrier(lua_State* L, GCObject* p, const TValue* v) {
    if (iscollectable(v)) luaC_objbarrier(L, p, gcvalue(v));
}
inline void luaC_objbarrierback(lua_State* L, GCObject* p, GCObject* o) {
    if (iswhite(o) && isblack(p)) luaC_barrierback_(L, p);
}
inline void luaC_barrierback(lua_State* L, GCObject* p, const TValue* v) {
    if (iscollectable(v)) luaC_objbarrierback(L, p, gcvalue(v));
}
