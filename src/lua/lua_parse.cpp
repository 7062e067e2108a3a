// The parser: recursive descent over the Lua 5.2 grammar, generating code
// as it reads.
#include "lua/lua_parse.h"

#include <cstring>

#include "lua/lua_code.h"
#include "lua/lua_do.h"
#include "lua/lua_func.h"
#include "lua/lua_gc.h"
#include "lua/lua_mem.h"
#include "lua/lua_state.h"
#include "lua/lua_string.h"

FuncState::~FuncState() { luaK_freecache(h); }

// Nesting of blocks within one function.
struct BlockCnt {
    BlockCnt* previous;
    short firstlabel;  // index of first label of this block
    short firstgoto;   // index of first pending goto of this block
    lu_byte nactvar;   // active locals outside the block
    lu_byte upval;     // true if some variable of the block is an upvalue
    lu_byte isloop;    // true if the block is a loop
};

namespace {

constexpr int UNARY_PRIORITY = 12;  // above * / \\ %, below ^

void statement(LexState* ls);
void expr(LexState* ls, expdesc* v);

inline bool hasmultret(expkind k) { return k == VCALL || k == VVARARG; }

// A line for a message that names one: mapped to the line within its code
// tab when the runner installed a mapping, as a number (line << 16); -1 when
// the line lies beyond every tab.
int msgline(LexState* ls, int line) {
    int (*map)(int) = G(ls->L)->linemap;
    int l = map ? map(line) : line;
    if (l < 0 || l > 32767) l = -1;
    return int(uint32_t(l) << 16);
}

[[noreturn]] void semerror(LexState* ls, const char* msg) {
    ls->t.token = 0;  // no "near <token>" in the message
    luaX_syntaxerror(ls, msg);
}

[[noreturn]] void error_expected(LexState* ls, int token) {
    luaX_syntaxerror(ls, luaO_pushfstring(ls->L, "%s expected", luaX_token2str(ls, token)));
}

[[noreturn]] void errorlimit(FuncState* fs, int limit, const char* what) {
    lua_State* L = fs->ls->L;
    int line = fs->f->linedefined;
    const char* where = (line == 0) ? "main function" : luaO_pushfstring(L, "function at line %d", msgline(fs->ls, line));
    const char* msg = luaO_pushfstring(L, "too many %s (limit is %d) in %s", what, int(uint32_t(limit) << 16), where);
    luaX_syntaxerror(fs->ls, msg);
}

void checklimit(FuncState* fs, int v, int l, const char* what) {
    if (v > l) errorlimit(fs, l, what);
}

bool testnext(LexState* ls, int c) {
    if (ls->t.token != c) return false;
    luaX_next(ls);
    return true;
}

void check(LexState* ls, int c) {
    if (ls->t.token != c) error_expected(ls, c);
}

void checknext(LexState* ls, int c) {
    check(ls, c);
    luaX_next(ls);
}

void check_condition(LexState* ls, bool c, const char* msg) {
    if (!c) luaX_syntaxerror(ls, msg);
}

void check_match(LexState* ls, int what, int who, int where) {
    if (testnext(ls, what)) return;
    if (where == ls->linenumber) error_expected(ls, what);
    luaX_syntaxerror(ls, luaO_pushfstring(ls->L, "%s expected (to close %s at line %d)", luaX_token2str(ls, what),
                                          luaX_token2str(ls, who), msgline(ls, where)));
}

TString* str_checkname(LexState* ls) {
    check(ls, TK_NAME);
    TString* ts = ls->t.seminfo.ts;
    luaX_next(ls);
    return ts;
}

void init_exp(expdesc* e, expkind k, int i) {
    e->f = e->t = NO_JUMP;
    e->k = k;
    e->u.info = i;
}

void codestring(LexState* ls, expdesc* e, TString* s) { init_exp(e, VK, luaK_stringK(ls->fs, s)); }

void checkname(LexState* ls, expdesc* e) { codestring(ls, e, str_checkname(ls)); }

// ---- variables ----

int registerlocalvar(LexState* ls, TString* varname) {
    FuncState* fs = ls->fs;
    Proto* f = fs->f;
    int oldsize = f->sizelocvars;
    luaM_growvector(ls->L, f->locvars, fs->nlocvars, f->sizelocvars, SHRT_MAX, "local variables");
    while (oldsize < f->sizelocvars) f->locvars[oldsize++].varname = nullptr;
    f->locvars[fs->nlocvars].varname = varname;
    luaC_objbarrier(ls->L, f, varname);
    return fs->nlocvars++;
}

void new_localvar(LexState* ls, TString* name) {
    FuncState* fs = ls->fs;
    Dyndata* dyd = ls->dyd;
    int reg = registerlocalvar(ls, name);
    checklimit(fs, dyd->actvar.n + 1 - fs->firstlocal, MAXVARS, "local variables");
    luaM_growvector(ls->L, dyd->actvar.arr, dyd->actvar.n + 1, dyd->actvar.size, MAX_INT, "local variables");
    dyd->actvar.arr[dyd->actvar.n++].idx = short(reg);
}

template <size_t N>
void new_localvarliteral(LexState* ls, const char (&name)[N]) {
    new_localvar(ls, luaX_newstring(ls, name, N - 1));
}

LocVar* getlocvar(FuncState* fs, int i) {
    int idx = fs->ls->dyd->actvar.arr[fs->firstlocal + i].idx;
    return &fs->f->locvars[idx];
}

void adjustlocalvars(LexState* ls, int nvars) {
    FuncState* fs = ls->fs;
    fs->nactvar = lu_byte(fs->nactvar + nvars);
    for (; nvars; nvars--) getlocvar(fs, fs->nactvar - nvars)->startpc = fs->pc;
}

void removevars(FuncState* fs, int tolevel) {
    fs->ls->dyd->actvar.n -= (fs->nactvar - tolevel);
    while (fs->nactvar > tolevel) getlocvar(fs, --fs->nactvar)->endpc = fs->pc;
}

int searchupvalue(FuncState* fs, TString* name) {
    Upvaldesc* up = fs->f->upvalues;
    for (int i = 0; i < fs->nups; i++)
        if (luaS_eqstr(up[i].name, name)) return i;
    return -1;
}

int newupvalue(FuncState* fs, TString* name, expdesc* v) {
    Proto* f = fs->f;
    int oldsize = f->sizeupvalues;
    checklimit(fs, fs->nups + 1, MAXUPVAL, "upvalues");
    luaM_growvector(fs->ls->L, f->upvalues, fs->nups, f->sizeupvalues, MAXUPVAL, "upvalues");
    while (oldsize < f->sizeupvalues) f->upvalues[oldsize++].name = nullptr;
    f->upvalues[fs->nups].instack = (v->k == VLOCAL);
    f->upvalues[fs->nups].idx = lu_byte(v->u.info);
    f->upvalues[fs->nups].name = name;
    luaC_objbarrier(fs->ls->L, f, name);
    return fs->nups++;
}

int searchvar(FuncState* fs, TString* n) {
    for (int i = int(fs->nactvar) - 1; i >= 0; i--)
        if (luaS_eqstr(n, getlocvar(fs, i)->varname)) return i;
    return -1;
}

// Marks the block where local `level' was declared as having an upvalue.
void markupval(FuncState* fs, int level) {
    BlockCnt* bl = fs->bl;
    while (bl->nactvar > level) bl = bl->previous;
    bl->upval = 1;
}

// Finds a variable: a local of this function, an upvalue, or (VVOID) a
// global; base is false when looking from an inner function.
expkind singlevaraux(FuncState* fs, TString* n, expdesc* var, bool base) {
    if (fs == nullptr) return VVOID;
    int v = searchvar(fs, n);
    if (v >= 0) {
        init_exp(var, VLOCAL, v);
        if (!base) markupval(fs, v);  // the local will be an upvalue
        return VLOCAL;
    }
    int idx = searchupvalue(fs, n);
    if (idx < 0) {
        if (singlevaraux(fs->prev, n, var, false) == VVOID) return VVOID;
        idx = newupvalue(fs, n, var);
    }
    init_exp(var, VUPVAL, idx);
    return VUPVAL;
}

void singlevar(LexState* ls, expdesc* var) {
    TString* varname = str_checkname(ls);
    FuncState* fs = ls->fs;
    if (singlevaraux(fs, varname, var, true) == VVOID) {  // global: _ENV[name]
        expdesc key;
        singlevaraux(fs, ls->envn, var, true);
        codestring(ls, &key, varname);
        luaK_indexed(fs, var, &key);
    }
}

void adjust_assign(LexState* ls, int nvars, int nexps, expdesc* e) {
    FuncState* fs = ls->fs;
    int extra = nvars - nexps;
    if (hasmultret(e->k)) {
        extra++;  // the call itself counts
        if (extra < 0) extra = 0;
        luaK_setreturns(fs, e, extra);
        if (extra > 1) luaK_reserveregs(fs, extra - 1);
    } else {
        if (e->k != VVOID) luaK_exp2nextreg(fs, e);
        if (extra > 0) {
            int reg = fs->freereg;
            luaK_reserveregs(fs, extra);
            luaK_nil(fs, reg, extra);
        }
    }
}

void enterlevel(LexState* ls) {
    lua_State* L = ls->L;
    ++L->nCcalls;
    checklimit(ls->fs, L->nCcalls, LUAI_MAXCCALLS, "C levels");
}

void leavelevel(LexState* ls) { ls->L->nCcalls--; }

// ---- gotos and labels ----

void closegoto(LexState* ls, int g, Labeldesc* label) {
    FuncState* fs = ls->fs;
    Labellist* gl = &ls->dyd->gt;
    Labeldesc* gt = &gl->arr[g];
    if (gt->nactvar < label->nactvar) {
        TString* vname = getlocvar(fs, gt->nactvar)->varname;
        const char* msg = luaO_pushfstring(ls->L, "<goto %s> at line %d jumps into the scope of local '%s'",
                                           getstr(gt->name), msgline(ls, gt->line), getstr(vname));
        semerror(ls, msg);
    }
    luaK_patchlist(fs, gt->pc, label->pc);
    for (int i = g; i < gl->n - 1; i++) gl->arr[i] = gl->arr[i + 1];  // remove the goto
    gl->n--;
}

// Closes goto g with a label visible in the current block (a backward jump).
bool findlabel(LexState* ls, int g) {
    BlockCnt* bl = ls->fs->bl;
    Dyndata* dyd = ls->dyd;
    Labeldesc* gt = &dyd->gt.arr[g];
    for (int i = bl->firstlabel; i < dyd->label.n; i++) {
        Labeldesc* lb = &dyd->label.arr[i];
        if (luaS_eqstr(lb->name, gt->name)) {
            if (gt->nactvar > lb->nactvar && (bl->upval || dyd->label.n > bl->firstlabel))
                luaK_patchclose(ls->fs, gt->pc, lb->nactvar);
            closegoto(ls, g, lb);
            return true;
        }
    }
    return false;
}

int newlabelentry(LexState* ls, Labellist* l, TString* name, int line, int pc) {
    int n = l->n;
    luaM_growvector(ls->L, l->arr, n, l->size, SHRT_MAX, "labels/gotos");
    l->arr[n].name = name;
    l->arr[n].line = line;
    l->arr[n].nactvar = ls->fs->nactvar;
    l->arr[n].pc = pc;
    l->n++;
    return n;
}

// Closes the pending gotos of the current block that match a new label
// (forward jumps).
void findgotos(LexState* ls, Labeldesc* lb) {
    Labellist* gl = &ls->dyd->gt;
    int i = ls->fs->bl->firstgoto;
    while (i < gl->n) {
        if (luaS_eqstr(gl->arr[i].name, lb->name))
            closegoto(ls, i, lb);
        else
            i++;
    }
}

// Moves the pending gotos of a block being left to the enclosing block;
// gotos leaving the scope of a captured variable close it on the way.
void movegotosout(FuncState* fs, BlockCnt* bl) {
    int i = bl->firstgoto;
    Labellist* gl = &fs->ls->dyd->gt;
    while (i < gl->n) {
        Labeldesc* gt = &gl->arr[i];
        if (gt->nactvar > bl->nactvar) {
            if (bl->upval) luaK_patchclose(fs, gt->pc, bl->nactvar);
            gt->nactvar = bl->nactvar;
        }
        if (!findlabel(fs->ls, i)) i++;
    }
}

void enterblock(FuncState* fs, BlockCnt* bl, lu_byte isloop) {
    bl->isloop = isloop;
    bl->nactvar = fs->nactvar;
    bl->firstlabel = short(fs->ls->dyd->label.n);
    bl->firstgoto = short(fs->ls->dyd->gt.n);
    bl->upval = 0;
    bl->previous = fs->bl;
    fs->bl = bl;
}

// A label named "break" at the end of a loop resolves its breaks.
void breaklabel(LexState* ls) {
    TString* n = luaS_new(ls->L, "break");
    int l = newlabelentry(ls, &ls->dyd->label, n, 0, ls->fs->pc);
    findgotos(ls, &ls->dyd->label.arr[l]);
}

[[noreturn]] void undefgoto(LexState* ls, Labeldesc* gt) {
    const char* msg = isreserved(gt->name) ? "<%s> at line %d not inside a loop"
                                           : "no visible label '%s' for <goto> at line %d";
    msg = luaO_pushfstring(ls->L, msg, getstr(gt->name), msgline(ls, gt->line));
    semerror(ls, msg);
}

void leaveblock(FuncState* fs) {
    BlockCnt* bl = fs->bl;
    LexState* ls = fs->ls;
    if (bl->previous && bl->upval) {  // a jump to here closes the upvalues
        int j = luaK_jump(fs);
        luaK_patchclose(fs, j, bl->nactvar);
        luaK_patchtohere(fs, j);
    }
    if (bl->isloop) breaklabel(ls);
    fs->bl = bl->previous;
    removevars(fs, bl->nactvar);
    fs->freereg = fs->nactvar;
    ls->dyd->label.n = bl->firstlabel;  // the block's labels go out of scope
    if (bl->previous)
        movegotosout(fs, bl);
    else if (bl->firstgoto < ls->dyd->gt.n)
        undefgoto(ls, &ls->dyd->gt.arr[bl->firstgoto]);
}

// ---- functions ----

Proto* addprototype(LexState* ls) {
    lua_State* L = ls->L;
    FuncState* fs = ls->fs;
    Proto* f = fs->f;
    if (fs->np >= f->sizep) {
        int oldsize = f->sizep;
        luaM_growvector(L, f->p, fs->np, f->sizep, MAXARG_Bx, "functions");
        while (oldsize < f->sizep) f->p[oldsize++] = nullptr;
    }
    Proto* clp = luaF_newproto(L);
    f->p[fs->np++] = clp;
    luaC_objbarrier(L, f, clp);
    return clp;
}

// The CLOSURE goes in the last register in use.
void codeclosure(LexState* ls, expdesc* v) {
    FuncState* fs = ls->fs->prev;
    init_exp(v, VRELOCABLE, luaK_codeABx(fs, OP_CLOSURE, 0, unsigned(fs->np - 1)));
    luaK_exp2nextreg(fs, v);
}

void open_func(LexState* ls, FuncState* fs, BlockCnt* bl) {
    fs->prev = ls->fs;
    fs->ls = ls;
    ls->fs = fs;
    fs->pc = 0;
    fs->lasttarget = 0;
    fs->jpc = NO_JUMP;
    fs->freereg = 0;
    fs->nk = 0;
    fs->np = 0;
    fs->nups = 0;
    fs->nlocvars = 0;
    fs->nactvar = 0;
    fs->firstlocal = ls->dyd->actvar.n;
    fs->bl = nullptr;
    Proto* f = fs->f;
    f->source = ls->source;
    f->maxstacksize = 2;  // registers 0 and 1 are always valid
    fs->h = luaK_newcache(ls->L);
    enterblock(fs, bl, 0);
}

void close_func(LexState* ls) {
    lua_State* L = ls->L;
    FuncState* fs = ls->fs;
    Proto* f = fs->f;
    luaK_ret(fs, 0, 0);  // final return
    leaveblock(fs);
    luaM_reallocvector(L, f->code, size_t(f->sizecode), size_t(fs->pc));
    f->sizecode = fs->pc;
    luaM_reallocvector(L, f->lineinfo, size_t(f->sizelineinfo), size_t(fs->pc));
    f->sizelineinfo = fs->pc;
    luaM_reallocvector(L, f->k, size_t(f->sizek), size_t(fs->nk));
    f->sizek = fs->nk;
    luaM_reallocvector(L, f->p, size_t(f->sizep), size_t(fs->np));
    f->sizep = fs->np;
    luaM_reallocvector(L, f->locvars, size_t(f->sizelocvars), size_t(fs->nlocvars));
    f->sizelocvars = fs->nlocvars;
    luaM_reallocvector(L, f->upvalues, size_t(f->sizeupvalues), size_t(fs->nups));
    f->sizeupvalues = fs->nups;
    luaK_specialize(f);
    f->framespan = static_cast<unsigned short>(f->maxstacksize + (f->is_vararg ? 2 * f->numparams : 0));
    luaK_freecache(fs->h);
    fs->h = nullptr;
    ls->fs = fs->prev;
    luaC_checkGC(L);
}

// ---- grammar ----

bool block_follow(LexState* ls, bool withuntil) {
    switch (ls->t.token) {
    case TK_ELSE:
    case TK_ELSEIF:
    case TK_END:
    case TK_EOS: return true;
    case TK_UNTIL: return withuntil;
    default: return false;
    }
}

void statlist(LexState* ls) {
    while (!block_follow(ls, true)) {
        if (ls->t.token == TK_RETURN) {
            statement(ls);
            return;  // 'return' must be the last statement
        }
        statement(ls);
    }
}

void fieldsel(LexState* ls, expdesc* v) {
    FuncState* fs = ls->fs;
    expdesc key;
    luaK_exp2anyregup(fs, v);
    luaX_next(ls);  // skip the dot or colon
    checkname(ls, &key);
    luaK_indexed(fs, v, &key);
}

void yindex(LexState* ls, expdesc* v) {
    luaX_next(ls);  // skip '['
    expr(ls, v);
    luaK_exp2val(ls->fs, v);
    checknext(ls, ']');
}

struct ConsControl {
    expdesc v;    // last list item read
    expdesc* t;   // table descriptor
    int nh;       // total number of record elements
    int na;       // total number of array elements
    int tostore;  // array elements pending to be stored
};

void recfield(LexState* ls, ConsControl* cc) {
    FuncState* fs = ls->fs;
    int reg = ls->fs->freereg;
    expdesc key, val;
    if (ls->t.token == TK_NAME) {
        checklimit(fs, cc->nh, MAX_INT, "items in a constructor");
        checkname(ls, &key);
    } else {
        yindex(ls, &key);
    }
    cc->nh++;
    checknext(ls, '=');
    int rkkey = luaK_exp2RK(fs, &key);
    expr(ls, &val);
    luaK_codeABC(fs, OP_SETTABLE, cc->t->u.info, rkkey, luaK_exp2RK(fs, &val));
    fs->freereg = lu_byte(reg);
}

void closelistfield(FuncState* fs, ConsControl* cc) {
    if (cc->v.k == VVOID) return;  // there is no list item
    luaK_exp2nextreg(fs, &cc->v);
    cc->v.k = VVOID;
    if (cc->tostore == LFIELDS_PER_FLUSH) {
        luaK_setlist(fs, cc->t->u.info, cc->na, cc->tostore);
        cc->tostore = 0;
    }
}

void lastlistfield(FuncState* fs, ConsControl* cc) {
    if (cc->tostore == 0) return;
    if (hasmultret(cc->v.k)) {
        luaK_setmultret(fs, &cc->v);
        luaK_setlist(fs, cc->t->u.info, cc->na, LUA_MULTRET);
        cc->na--;  // the last item's count is not known
    } else {
        if (cc->v.k != VVOID) luaK_exp2nextreg(fs, &cc->v);
        luaK_setlist(fs, cc->t->u.info, cc->na, cc->tostore);
    }
}

void listfield(LexState* ls, ConsControl* cc) {
    expr(ls, &cc->v);
    checklimit(ls->fs, cc->na, MAX_INT, "items in a constructor");
    cc->na++;
    cc->tostore++;
}

void field(LexState* ls, ConsControl* cc) {
    switch (ls->t.token) {
    case TK_NAME:
        if (luaX_lookahead(ls) != '=')
            listfield(ls, cc);
        else
            recfield(ls, cc);
        break;
    case '[': recfield(ls, cc); break;
    default: listfield(ls, cc); break;
    }
}

void constructor(LexState* ls, expdesc* t) {
    FuncState* fs = ls->fs;
    int line = ls->linenumber;
    int pc = luaK_codeABC(fs, OP_NEWTABLE, 0, 0, 0);
    ConsControl cc;
    cc.na = cc.nh = cc.tostore = 0;
    cc.t = t;
    init_exp(t, VRELOCABLE, pc);
    init_exp(&cc.v, VVOID, 0);
    luaK_exp2nextreg(ls->fs, t);  // the table goes to the top
    checknext(ls, '{');
    do {
        if (ls->t.token == '}') break;
        closelistfield(fs, &cc);
        field(ls, &cc);
    } while (testnext(ls, ',') || testnext(ls, ';'));
    check_match(ls, '}', '{', line);
    lastlistfield(fs, &cc);
    SETARG_B(fs->f->code[pc], luaO_int2fb(unsigned(cc.na)));  // initial sizes
    SETARG_C(fs->f->code[pc], luaO_int2fb(unsigned(cc.nh)));
}

void parlist(LexState* ls) {
    FuncState* fs = ls->fs;
    Proto* f = fs->f;
    int nparams = 0;
    f->is_vararg = 0;
    if (ls->t.token != ')') {
        do {
            switch (ls->t.token) {
            case TK_NAME:
                new_localvar(ls, str_checkname(ls));
                nparams++;
                break;
            case TK_DOTS:
                luaX_next(ls);
                f->is_vararg = 1;
                break;
            default: luaX_syntaxerror(ls, "<name> or '...' expected");
            }
        } while (!f->is_vararg && testnext(ls, ','));
    }
    adjustlocalvars(ls, nparams);
    f->numparams = fs->nactvar;
    luaK_reserveregs(fs, fs->nactvar);
}

void body(LexState* ls, expdesc* e, bool ismethod, int line) {
    FuncState new_fs;
    BlockCnt bl;
    new_fs.f = addprototype(ls);
    new_fs.f->linedefined = line;
    open_func(ls, &new_fs, &bl);
    checknext(ls, '(');
    if (ismethod) {
        new_localvarliteral(ls, "self");
        adjustlocalvars(ls, 1);
    }
    parlist(ls);
    checknext(ls, ')');
    statlist(ls);
    new_fs.f->lastlinedefined = ls->linenumber;
    check_match(ls, TK_END, TK_FUNCTION, line);
    codeclosure(ls, e);
    close_func(ls);
}

int explist(LexState* ls, expdesc* v) {
    int n = 1;
    expr(ls, v);
    while (testnext(ls, ',')) {
        luaK_exp2nextreg(ls->fs, v);
        expr(ls, v);
        n++;
    }
    return n;
}

void funcargs(LexState* ls, expdesc* f, int line) {
    FuncState* fs = ls->fs;
    expdesc args;
    switch (ls->t.token) {
    case '(':
        luaX_next(ls);
        if (ls->t.token == ')') {
            args.k = VVOID;
        } else {
            explist(ls, &args);
            luaK_setmultret(fs, &args);
        }
        check_match(ls, ')', '(', line);
        break;
    case '{': constructor(ls, &args); break;
    case TK_STRING:
        codestring(ls, &args, ls->t.seminfo.ts);
        luaX_next(ls);
        break;
    default: luaX_syntaxerror(ls, "function arguments expected");
    }
    int base = f->u.info;  // base register of the call
    int nparams;
    if (hasmultret(args.k)) {
        nparams = LUA_MULTRET;
    } else {
        if (args.k != VVOID) luaK_exp2nextreg(fs, &args);
        nparams = fs->freereg - (base + 1);
    }
    init_exp(f, VCALL, luaK_codeABC(fs, OP_CALL, base, nparams + 1, 2));
    luaK_fixline(fs, line);
    fs->freereg = lu_byte(base + 1);  // the call leaves one result (unless changed)
}

void prefixexp(LexState* ls, expdesc* v) {
    switch (ls->t.token) {
    case '(': {
        int line = ls->linenumber;
        luaX_next(ls);
        expr(ls, v);
        check_match(ls, ')', '(', line);
        luaK_dischargevars(ls->fs, v);
        return;
    }
    case TK_NAME: singlevar(ls, v); return;
    default: luaX_syntaxerror(ls, "unexpected symbol");
    }
}

void suffixedexp(LexState* ls, expdesc* v) {
    FuncState* fs = ls->fs;
    int line = ls->linenumber;
    prefixexp(ls, v);
    for (;;) {
        switch (ls->t.token) {
        case '.': fieldsel(ls, v); break;
        case '[': {
            expdesc key;
            luaK_exp2anyregup(fs, v);
            yindex(ls, &key);
            luaK_indexed(fs, v, &key);
            break;
        }
        case ':': {
            expdesc key;
            luaX_next(ls);
            checkname(ls, &key);
            luaK_self(fs, v, &key);
            funcargs(ls, v, line);
            break;
        }
        case '(':
        case TK_STRING:
        case '{':
            luaK_exp2nextreg(fs, v);
            funcargs(ls, v, line);
            break;
        default: return;
        }
    }
}

void simpleexp(LexState* ls, expdesc* v) {
    switch (ls->t.token) {
    case TK_NUMBER:
        init_exp(v, VKNUM, 0);
        v->u.nval = ls->t.seminfo.r;
        break;
    case TK_STRING: codestring(ls, v, ls->t.seminfo.ts); break;
    case TK_NIL: init_exp(v, VNIL, 0); break;
    case TK_TRUE: init_exp(v, VTRUE, 0); break;
    case TK_FALSE: init_exp(v, VFALSE, 0); break;
    case TK_DOTS: {
        FuncState* fs = ls->fs;
        check_condition(ls, fs->f->is_vararg, "cannot use '...' outside a vararg function");
        init_exp(v, VVARARG, luaK_codeABC(fs, OP_VARARG, 0, 1, 0));
        break;
    }
    case '{': constructor(ls, v); return;
    case TK_FUNCTION:
        luaX_next(ls);
        body(ls, v, false, ls->linenumber);
        return;
    default: suffixedexp(ls, v); return;
    }
    luaX_next(ls);
}

UnOpr getunopr(int op) {
    switch (op) {
    case TK_NOT: return OPR_NOT;
    case '-': return OPR_MINUS;
    case '#': return OPR_LEN;
    case '~': return OPR_BNOT;
    case '@': return OPR_PEEK;
    case '%': return OPR_PEEK2;  // only where an operand is expected
    case '$': return OPR_PEEK4;
    default: return OPR_NOUNOPR;
    }
}

BinOpr getbinopr(int op) {
    switch (op) {
    case '+': return OPR_ADD;
    case '-': return OPR_SUB;
    case '*': return OPR_MUL;
    case '/': return OPR_DIV;
    case '%': return OPR_MOD;
    case '^': return OPR_POW;
    case TK_CONCAT: return OPR_CONCAT;
    case TK_NE: return OPR_NE;
    case TK_EQ: return OPR_EQ;
    case '<': return OPR_LT;
    case TK_LE: return OPR_LE;
    case '>': return OPR_GT;
    case TK_GE: return OPR_GE;
    case TK_AND: return OPR_AND;
    case TK_OR: return OPR_OR;
    case '\\': return OPR_IDIV;
    case '&': return OPR_BAND;
    case '|': return OPR_BOR;
    case TK_BXOR: return OPR_BXOR;
    case TK_SHL: return OPR_SHL;
    case TK_SHR: return OPR_SHR;
    case TK_LSHR: return OPR_LSHR;
    case TK_ROTL: return OPR_ROTL;
    case TK_ROTR: return OPR_ROTR;
    default: return OPR_NOBINOPR;
    }
}

// Left and right binding power of each binary operator (in BinOpr order);
// ^ and .. bind to the right. Lowest first: or; and; comparisons; |; ^^; &;
// the shifts and rotations; ..; + -; * / \ %; the unary operators; ^.
constexpr struct {
    lu_byte left;
    lu_byte right;
} priority[] = {
    {10, 10}, {10, 10}, {11, 11}, {11, 11}, {11, 11},  // + - * / %
    {14, 13}, {9, 8},                                  // ^ ..
    {3, 3}, {3, 3}, {3, 3},                            // == < <=
    {3, 3}, {3, 3}, {3, 3},                            // ~= > >=
    {2, 2}, {1, 1},                                    // and or
    {11, 11}, {6, 6}, {4, 4}, {5, 5},                  // \ & | ^^
    {7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7},            // << >> >>> <<> >><
};
static_assert(sizeof priority / sizeof priority[0] == OPR_NOBINOPR);

// The name of the global a peek operator calls.
const char* peekname(UnOpr op) { return op == OPR_PEEK ? "peek" : op == OPR_PEEK2 ? "peek2" : "peek4"; }

// The global `name` (through _ENV, whatever locals there are) into the
// next free register.
void globalfunc(LexState* ls, expdesc* f, const char* name) {
    FuncState* fs = ls->fs;
    expdesc key;
    singlevaraux(fs, ls->envn, f, true);
    codestring(ls, &key, luaX_newstring(ls, name, std::strlen(name)));
    luaK_indexed(fs, f, &key);
    luaK_exp2nextreg(fs, f);
}

// subexpr -> (simpleexp | unop subexpr) { binop subexpr }, where binop is
// any operator binding tighter than limit.
BinOpr subexpr(LexState* ls, expdesc* v, int limit) {
    enterlevel(ls);
    UnOpr uop = getunopr(ls->t.token);
    if (uop == OPR_PEEK || uop == OPR_PEEK2 || uop == OPR_PEEK4) {
        // @a, %a, $a: a call of the global peek, peek2 or peek4 with one
        // argument, giving one value.
        FuncState* fs = ls->fs;
        int line = ls->linenumber;
        luaX_next(ls);
        globalfunc(ls, v, peekname(uop));
        int base = v->u.info;
        expdesc arg;
        subexpr(ls, &arg, UNARY_PRIORITY);
        luaK_exp2nextreg(fs, &arg);
        init_exp(v, VCALL, luaK_codeABC(fs, OP_CALL, base, 2, 2));
        luaK_fixline(fs, line);
        fs->freereg = lu_byte(base + 1);
        luaK_setoneret(fs, v);
    } else if (uop != OPR_NOUNOPR) {
        int line = ls->linenumber;
        luaX_next(ls);
        subexpr(ls, v, UNARY_PRIORITY);
        luaK_prefix(ls->fs, uop, v, line);
    } else {
        simpleexp(ls, v);
    }
    BinOpr op = getbinopr(ls->t.token);
    while (op != OPR_NOBINOPR && priority[op].left > limit) {
        expdesc v2;
        int line = ls->linenumber;
        luaX_next(ls);
        luaK_infix(ls->fs, op, v);
        BinOpr nextop = subexpr(ls, &v2, priority[op].right);
        luaK_posfix(ls->fs, op, v, &v2, line);
        op = nextop;
    }
    leavelevel(ls);
    return op;  // the first operator not handled
}

void expr(LexState* ls, expdesc* v) { subexpr(ls, v, 0); }

// ---- statements ----

void block(LexState* ls) {
    FuncState* fs = ls->fs;
    BlockCnt bl;
    enterblock(fs, &bl, 0);
    statlist(ls);
    leaveblock(fs);
}

// The targets of a multiple assignment, most recent first.
struct LHS_assign {
    LHS_assign* prev;
    expdesc v;
};

// When a local or upvalue assigned in a multiple assignment is also the
// table or index of an earlier target, that target uses a copy taken first.
void check_conflict(LexState* ls, LHS_assign* lh, expdesc* v) {
    FuncState* fs = ls->fs;
    int extra = fs->freereg;
    bool conflict = false;
    for (; lh; lh = lh->prev) {
        if (lh->v.k == VINDEXED) {
            if (lh->v.u.ind.vt == v->k && lh->v.u.ind.t == v->u.info) {
                conflict = true;
                lh->v.u.ind.vt = VLOCAL;
                lh->v.u.ind.t = lu_byte(extra);
            }
            if (v->k == VLOCAL && lh->v.u.ind.idx == v->u.info) {
                conflict = true;
                lh->v.u.ind.idx = short(extra);
            }
        }
    }
    if (conflict) {
        OpCode op = (v->k == VLOCAL) ? OP_MOVE : OP_GETUPVAL;
        luaK_codeABC(fs, op, extra, v->u.info, 0);
        luaK_reserveregs(fs, 1);
    }
}

void assignment(LexState* ls, LHS_assign* lh, int nvars) {
    expdesc e;
    check_condition(ls, vkisvar(lh->v.k), "syntax error");
    if (testnext(ls, ',')) {
        LHS_assign nv;
        nv.prev = lh;
        suffixedexp(ls, &nv.v);
        if (nv.v.k != VINDEXED) check_conflict(ls, lh, &nv.v);
        checklimit(ls->fs, nvars + ls->L->nCcalls, LUAI_MAXCCALLS, "C levels");
        assignment(ls, &nv, nvars + 1);
    } else {
        checknext(ls, '=');
        int nexps = explist(ls, &e);
        if (nexps != nvars) {
            adjust_assign(ls, nvars, nexps, &e);
            if (nexps > nvars) ls->fs->freereg = lu_byte(ls->fs->freereg - (nexps - nvars));
        } else {
            luaK_setoneret(ls->fs, &e);
            luaK_storevar(ls->fs, &lh->v, &e);
            return;
        }
    }
    init_exp(&e, VNONRELOC, ls->fs->freereg - 1);  // default assignment
    luaK_storevar(ls->fs, &lh->v, &e);
}

int cond(LexState* ls) {
    expdesc v;
    expr(ls, &v);
    if (v.k == VNIL) v.k = VFALSE;  // all false values are the same here
    luaK_goiftrue(ls->fs, &v);
    return v.f;
}

void gotostat(LexState* ls, int pc) {
    int line = ls->linenumber;
    TString* label;
    if (testnext(ls, TK_GOTO)) {
        label = str_checkname(ls);
    } else {
        luaX_next(ls);  // skip break
        label = luaS_new(ls->L, "break");
    }
    int g = newlabelentry(ls, &ls->dyd->gt, label, line, pc);
    findlabel(ls, g);  // close it when the label is already defined
}

void checkrepeated(FuncState* fs, Labellist* ll, TString* label) {
    for (int i = fs->bl->firstlabel; i < ll->n; i++) {
        if (luaS_eqstr(label, ll->arr[i].name)) {
            const char* msg = luaO_pushfstring(fs->ls->L, "label '%s' already defined on line %d", getstr(label),
                                               msgline(fs->ls, ll->arr[i].line));
            semerror(fs->ls, msg);
        }
    }
}

void skipnoopstat(LexState* ls) {
    while (ls->t.token == ';' || ls->t.token == TK_DBCOLON) statement(ls);
}

void labelstat(LexState* ls, TString* label, int line) {
    FuncState* fs = ls->fs;
    Labellist* ll = &ls->dyd->label;
    checkrepeated(fs, ll, label);
    checknext(ls, TK_DBCOLON);
    int l = newlabelentry(ls, ll, label, line, fs->pc);
    skipnoopstat(ls);
    if (block_follow(ls, false)) {
        // a label at the end of a block sees the block's locals as gone
        ll->arr[l].nactvar = fs->bl->nactvar;
    }
    findgotos(ls, &ll->arr[l]);
}

void whilestat(LexState* ls, int line) {
    FuncState* fs = ls->fs;
    BlockCnt bl;
    luaX_next(ls);
    int whileinit = luaK_getlabel(fs);
    int condexit = cond(ls);
    enterblock(fs, &bl, 1);
    checknext(ls, TK_DO);
    block(ls);
    luaK_jumpto(fs, whileinit);
    check_match(ls, TK_END, TK_WHILE, line);
    leaveblock(fs);
    luaK_patchtohere(fs, condexit);  // a false condition ends the loop
}

void repeatstat(LexState* ls, int line) {
    FuncState* fs = ls->fs;
    int repeat_init = luaK_getlabel(fs);
    BlockCnt bl1, bl2;
    enterblock(fs, &bl1, 1);  // loop block
    enterblock(fs, &bl2, 0);  // scope block
    luaX_next(ls);
    statlist(ls);
    check_match(ls, TK_UNTIL, TK_REPEAT, line);
    int condexit = cond(ls);  // the condition sees the body's locals
    if (bl2.upval) luaK_patchclose(fs, condexit, bl2.nactvar);
    leaveblock(fs);
    luaK_patchlist(fs, condexit, repeat_init);
    leaveblock(fs);
}

void exp1(LexState* ls) {
    expdesc e;
    expr(ls, &e);
    luaK_exp2nextreg(ls->fs, &e);
}

void forbody(LexState* ls, int base, int line, int nvars, bool isnum) {
    BlockCnt bl;
    FuncState* fs = ls->fs;
    adjustlocalvars(ls, 3);  // control variables
    checknext(ls, TK_DO);
    int prep = isnum ? luaK_codeAsBx(fs, OP_FORPREP, base, NO_JUMP) : luaK_jump(fs);
    enterblock(fs, &bl, 0);  // scope of the declared variables
    adjustlocalvars(ls, nvars);
    luaK_reserveregs(fs, nvars);
    block(ls);
    leaveblock(fs);
    luaK_patchtohere(fs, prep);
    int endfor;
    if (isnum) {
        endfor = luaK_codeAsBx(fs, OP_FORLOOP, base, NO_JUMP);
    } else {
        luaK_codeABC(fs, OP_TFORCALL, base, 0, nvars);
        luaK_fixline(fs, line);
        endfor = luaK_codeAsBx(fs, OP_TFORLOOP, base + 2, NO_JUMP);
    }
    luaK_patchlist(fs, endfor, prep + 1);
    luaK_fixline(fs, line);
}

void fornum(LexState* ls, TString* varname, int line) {
    FuncState* fs = ls->fs;
    int base = fs->freereg;
    new_localvarliteral(ls, "(for index)");
    new_localvarliteral(ls, "(for limit)");
    new_localvarliteral(ls, "(for step)");
    new_localvar(ls, varname);
    checknext(ls, '=');
    exp1(ls);  // initial value
    checknext(ls, ',');
    exp1(ls);  // limit
    if (testnext(ls, ',')) {
        exp1(ls);  // step
    } else {
        luaK_codek(fs, fs->freereg, luaK_numberK(fs, FIX_ONE));
        luaK_reserveregs(fs, 1);
    }
    forbody(ls, base, line, 1, true);
}

void forlist(LexState* ls, TString* indexname) {
    FuncState* fs = ls->fs;
    expdesc e;
    int nvars = 4;  // generator, state, control and at least one variable
    int base = fs->freereg;
    new_localvarliteral(ls, "(for generator)");
    new_localvarliteral(ls, "(for state)");
    new_localvarliteral(ls, "(for control)");
    new_localvar(ls, indexname);
    while (testnext(ls, ',')) {
        new_localvar(ls, str_checkname(ls));
        nvars++;
    }
    checknext(ls, TK_IN);
    int line = ls->linenumber;
    adjust_assign(ls, 3, explist(ls, &e), &e);
    luaK_checkstack(fs, 3);  // room to call the generator
    forbody(ls, base, line, nvars - 3, false);
}

void forstat(LexState* ls, int line) {
    FuncState* fs = ls->fs;
    BlockCnt bl;
    enterblock(fs, &bl, 1);  // scope of the loop and its control variables
    luaX_next(ls);
    TString* varname = str_checkname(ls);
    switch (ls->t.token) {
    case '=': fornum(ls, varname, line); break;
    case ',':
    case TK_IN: forlist(ls, varname); break;
    default: luaX_syntaxerror(ls, "'=' or 'in' expected");
    }
    check_match(ls, TK_END, TK_FOR, line);
    leaveblock(fs);  // breaks jump here
}

void test_then_block(LexState* ls, int* escapelist) {
    BlockCnt bl;
    FuncState* fs = ls->fs;
    expdesc v;
    int jf;  // jump over the 'then' part when the condition is false
    luaX_next(ls);  // skip IF or ELSEIF
    expr(ls, &v);
    checknext(ls, TK_THEN);
    if (ls->t.token == TK_GOTO || ls->t.token == TK_BREAK) {
        luaK_goiffalse(ls->fs, &v);  // jump to the label when true
        enterblock(fs, &bl, 0);
        gotostat(ls, v.t);
        skipnoopstat(ls);
        if (block_follow(ls, false)) {  // the goto is the whole block
            leaveblock(fs);
            return;
        }
        jf = luaK_jump(fs);
    } else {
        luaK_goiftrue(ls->fs, &v);
        enterblock(fs, &bl, 0);
        jf = v.f;
    }
    statlist(ls);
    leaveblock(fs);
    if (ls->t.token == TK_ELSE || ls->t.token == TK_ELSEIF) luaK_concat(fs, escapelist, luaK_jump(fs));
    luaK_patchtohere(fs, jf);
}

void ifstat(LexState* ls, int line) {
    int escapelist = NO_JUMP;  // exits of the finished parts
    test_then_block(ls, &escapelist);
    while (ls->t.token == TK_ELSEIF) test_then_block(ls, &escapelist);
    if (testnext(ls, TK_ELSE)) block(ls);
    check_match(ls, TK_END, TK_IF, line);
    luaK_patchtohere(ls->fs, escapelist);
}

void localfunc(LexState* ls) {
    expdesc b;
    FuncState* fs = ls->fs;
    new_localvar(ls, str_checkname(ls));
    adjustlocalvars(ls, 1);  // the function sees itself
    body(ls, &b, false, ls->linenumber);
    getlocvar(fs, b.u.info)->startpc = fs->pc;  // debug information sees it from here
}

void localstat(LexState* ls) {
    int nvars = 0;
    int nexps;
    expdesc e;
    do {
        new_localvar(ls, str_checkname(ls));
        nvars++;
    } while (testnext(ls, ','));
    if (testnext(ls, '=')) {
        nexps = explist(ls, &e);
    } else {
        e.k = VVOID;
        nexps = 0;
    }
    adjust_assign(ls, nvars, nexps, &e);
    adjustlocalvars(ls, nvars);
}

bool funcname(LexState* ls, expdesc* v) {
    bool ismethod = false;
    singlevar(ls, v);
    while (ls->t.token == '.') fieldsel(ls, v);
    if (ls->t.token == ':') {
        ismethod = true;
        fieldsel(ls, v);
    }
    return ismethod;
}

void funcstat(LexState* ls, int line) {
    expdesc v, b;
    luaX_next(ls);
    bool ismethod = funcname(ls, &v);
    body(ls, &b, ismethod, line);
    luaK_storevar(ls->fs, &v, &b);
    luaK_fixline(ls->fs, line);  // the definition happens on its first line
}

void exprstat(LexState* ls) {
    FuncState* fs = ls->fs;
    LHS_assign v;
    suffixedexp(ls, &v.v);
    if (ls->t.token == '=' || ls->t.token == ',') {
        v.prev = nullptr;
        assignment(ls, &v, 1);
    } else {
        check_condition(ls, v.v.k == VCALL, "syntax error");
        SETARG_C(getcode(fs, &v.v), 1);  // a call statement keeps no results
    }
}

void printcall(LexState* ls, int line, expdesc* call);

void retstat(LexState* ls) {
    FuncState* fs = ls->fs;
    expdesc e;
    int first, nret;
    if (block_follow(ls, true) || ls->t.token == ';') {
        first = nret = 0;
    } else {
        // "return ?a,b" returns what print(a,b) returns.
        if (ls->t.token == '?') {
            printcall(ls, ls->linenumber, &e);
            nret = 1;
        } else {
            nret = explist(ls, &e);
        }
        if (hasmultret(e.k)) {
            luaK_setmultret(fs, &e);
            if (e.k == VCALL && nret == 1) SET_OPCODE(getcode(fs, &e), OP_TAILCALL);
            first = fs->nactvar;
            nret = LUA_MULTRET;
        } else if (nret == 1) {
            first = luaK_exp2anyreg(fs, &e);
        } else {
            luaK_exp2nextreg(fs, &e);  // the values go to consecutive registers
            first = fs->nactvar;
        }
    }
    luaK_ret(fs, first, nret);
    testnext(ls, ';');
}

// "?" explist: the call print(explist), print found as the name print
// would be. The explist runs to the end of the statement. Leaves in *call
// the call as an expression of one result (like funcargs).
void printcall(LexState* ls, int line, expdesc* call) {
    FuncState* fs = ls->fs;
    expdesc args;
    luaX_next(ls);  // skip '?'
    TString* name = luaX_newstring(ls, "print", 5);
    if (singlevaraux(fs, name, call, true) == VVOID) {
        expdesc key;
        singlevaraux(fs, ls->envn, call, true);
        codestring(ls, &key, name);
        luaK_indexed(fs, call, &key);
    }
    luaK_exp2nextreg(fs, call);
    int base = call->u.info;
    int nparams;
    if (block_follow(ls, true) || ls->t.token == ';') {
        nparams = 0;
    } else {
        explist(ls, &args);
        if (hasmultret(args.k)) {
            luaK_setmultret(fs, &args);
            nparams = LUA_MULTRET;
        } else {
            luaK_exp2nextreg(fs, &args);
            nparams = fs->freereg - (base + 1);
        }
    }
    init_exp(call, VCALL, luaK_codeABC(fs, OP_CALL, base, nparams + 1, 2));
    luaK_fixline(fs, line);
    fs->freereg = lu_byte(base + 1);
}

// "?" explist as a statement: the call keeps no results.
void printstat(LexState* ls, int line) {
    expdesc call;
    printcall(ls, line, &call);
    SETARG_C(getcode(ls->fs, &call), 1);
}

void statement(LexState* ls) {
    int line = ls->linenumber;
    G(ls->L)->last_line_number = line;
    enterlevel(ls);
    switch (ls->t.token) {
    case ';': luaX_next(ls); break;
    case TK_IF: ifstat(ls, line); break;
    case TK_WHILE: whilestat(ls, line); break;
    case TK_DO:
        luaX_next(ls);
        block(ls);
        check_match(ls, TK_END, TK_DO, line);
        break;
    case TK_FOR: forstat(ls, line); break;
    case '?': printstat(ls, line); break;
    case TK_REPEAT: repeatstat(ls, line); break;
    case TK_FUNCTION: funcstat(ls, line); break;
    case TK_LOCAL:
        luaX_next(ls);
        if (testnext(ls, TK_FUNCTION))
            localfunc(ls);
        else
            localstat(ls);
        break;
    case TK_DBCOLON:
        luaX_next(ls);
        labelstat(ls, str_checkname(ls), line);
        break;
    case TK_RETURN:
        luaX_next(ls);
        retstat(ls);
        break;
    case TK_BREAK:
    case TK_GOTO: gotostat(ls, luaK_jump(ls->fs)); break;
    default: exprstat(ls); break;
    }
    ls->fs->freereg = ls->fs->nactvar;  // free registers
    leavelevel(ls);
}

// The main function is vararg and has one upvalue, _ENV.
void mainfunc(LexState* ls, FuncState* fs) {
    BlockCnt bl;
    expdesc v;
    open_func(ls, fs, &bl);
    fs->f->is_vararg = 1;
    init_exp(&v, VLOCAL, 0);
    newupvalue(fs, ls->envn, &v);
    luaX_next(ls);
    statlist(ls);
    check(ls, TK_EOS);
    close_func(ls);
}

}  // namespace

Closure* luaY_parser(lua_State* L, ZIO* z, Mbuffer* buff, Dyndata* dyd, const char* name, int firstchar) {
    LexState lexstate;
    FuncState funcstate;
    Closure* cl = luaF_newLclosure(L, 1);
    setclLvalue(L, L->top, cl);  // anchored on the stack
    incr_top(L);
    funcstate.f = cl->l.p = luaF_newproto(L);
    funcstate.f->source = luaS_new(L, name);
    lexstate.buff = buff;
    lexstate.dyd = dyd;
    dyd->actvar.n = dyd->gt.n = dyd->label.n = 0;
    luaX_setinput(L, &lexstate, z, funcstate.f->source, firstchar);
    mainfunc(&lexstate, &funcstate);
    return cl;
}
