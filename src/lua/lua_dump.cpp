// Listings of compiled functions, laid out as `luac -l -l' prints them so
// the two can be compared line by line (addresses aside).
#include "lua/lua_dump.h"

#include <cstdio>

#include "lua/lua_opcodes.h"
#include "lua/lua_state.h"

namespace {

void printf_to(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void printf_to(std::string& out, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (size_t(n) < sizeof buf) {
        out.append(buf, size_t(n));
    } else {
        std::string big(size_t(n) + 1, '\0');
        va_start(ap, fmt);
        std::vsnprintf(big.data(), big.size(), fmt, ap);
        va_end(ap);
        big.pop_back();
        out += big;
    }
}

void print_string(const TString* ts, std::string& out) {
    const char* s = getstr(ts);
    out += '"';
    for (size_t i = 0; i < ts->len; i++) {
        int c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\a': out += "\\a"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\v': out += "\\v"; break;
        default:
            if (c >= 0x20 && c < 0x7f) out += char(c);
            else printf_to(out, "\\%03d", c);
        }
    }
    out += '"';
}

void print_constant(const Proto* f, int i, std::string& out) {
    const TValue* o = &f->k[i];
    switch (ttypenv(o)) {
    case LUA_TNIL: out += "nil"; break;
    case LUA_TBOOLEAN: out += bvalue(o) ? "true" : "false"; break;
    case LUA_TNUMBER: {
        char buf[LUAI_MAXNUMBER2STR];
        luaO_fixed_to_string(buf, nvalue(o));
        out += buf;
        break;
    }
    case LUA_TSTRING: print_string(tsvalue(o), out); break;
    default: printf_to(out, "? type=%d", ttype(o));
    }
}

const char* upvalname(const Proto* f, int x) {
    return (x < f->sizeupvalues && f->upvalues[x].name) ? getstr(f->upvalues[x].name) : "-";
}

inline const char* plural(int n) { return n == 1 ? "" : "s"; }
inline int myk(int x) { return -1 - x; }

void print_header(const Proto* f, std::string& out) {
    const char* s = f->source ? getstr(f->source) : "=?";
    if (*s == '@' || *s == '=') s++;
    else if (*s == LUA_SIGNATURE[0]) s = "(bstring)";
    else s = "(string)";
    printf_to(out, "\n%s <%s:%d,%d> (%d instruction%s at %p)\n", f->linedefined == 0 ? "main" : "function", s,
              f->linedefined, f->lastlinedefined, f->sizecode, plural(f->sizecode), static_cast<const void*>(f));
    printf_to(out, "%d%s param%s, %d slot%s, %d upvalue%s, ", int(f->numparams), f->is_vararg ? "+" : "",
              plural(f->numparams), int(f->maxstacksize), plural(f->maxstacksize), f->sizeupvalues,
              plural(f->sizeupvalues));
    printf_to(out, "%d local%s, %d constant%s, %d function%s\n", f->sizelocvars, plural(f->sizelocvars), f->sizek,
              plural(f->sizek), f->sizep, plural(f->sizep));
}

void print_code(const Proto* f, std::string& out) {
    const Instruction* code = f->code;
    int n = f->sizecode;
    for (int pc = 0; pc < n; pc++) {
        Instruction i = code[pc];
        OpCode o = GET_OPCODE(i);
        int a = GETARG_A(i), b = GETARG_B(i), c = GETARG_C(i);
        int ax = GETARG_Ax(i), bx = GETARG_Bx(i), sbx = GETARG_sBx(i);
        int line = f->lineinfo && pc < f->sizelineinfo ? f->lineinfo[pc] : 0;
        printf_to(out, "\t%d\t", pc + 1);
        if (line > 0) printf_to(out, "[%d]\t", line);
        else out += "[-]\t";
        printf_to(out, "%-9s\t", o < NUM_OPCODES ? luaP_opnames[o] : "?");
        if (o >= NUM_OPCODES) {
            out += '\n';
            continue;
        }
        switch (getOpMode(o)) {
        case iABC:
            printf_to(out, "%d", a);
            if (getBMode(o) != OpArgN) printf_to(out, " %d", ISK(b) ? myk(INDEXK(b)) : b);
            if (getCMode(o) != OpArgN) printf_to(out, " %d", ISK(c) ? myk(INDEXK(c)) : c);
            break;
        case iABx:
            printf_to(out, "%d", a);
            if (getBMode(o) == OpArgK) printf_to(out, " %d", myk(bx));
            if (getBMode(o) == OpArgU) printf_to(out, " %d", bx);
            break;
        case iAsBx: printf_to(out, "%d %d", a, sbx); break;
        case iAx: printf_to(out, "%d", myk(ax)); break;
        }
        auto konst = [&](int k) {
            if (k < f->sizek) print_constant(f, k, out);
            else out += "?";
        };
        switch (o) {
        case OP_LOADK:
            out += "\t; ";
            konst(bx);
            break;
        case OP_GETUPVAL:
        case OP_SETUPVAL: printf_to(out, "\t; %s", upvalname(f, b)); break;
        case OP_GETTABUP:
            printf_to(out, "\t; %s", upvalname(f, b));
            if (ISK(c)) {
                out += ' ';
                konst(INDEXK(c));
            }
            break;
        case OP_SETTABUP:
            printf_to(out, "\t; %s", upvalname(f, a));
            if (ISK(b)) {
                out += ' ';
                konst(INDEXK(b));
            }
            if (ISK(c)) {
                out += ' ';
                konst(INDEXK(c));
            }
            break;
        case OP_GETTABLE:
        case OP_SELF:
            if (ISK(c)) {
                out += "\t; ";
                konst(INDEXK(c));
            }
            break;
        case OP_SETTABLE:
        case OP_ADD:
        case OP_SUB:
        case OP_MUL:
        case OP_DIV:
        case OP_POW:
        case OP_EQ:
        case OP_LT:
        case OP_LE:
        case OP_IDIV:
        case OP_BAND:
        case OP_BOR:
        case OP_BXOR:
        case OP_SHL:
        case OP_SHR:
        case OP_LSHR:
        case OP_ROTL:
        case OP_ROTR:
            // (MOD gets no comment: the stock listing leaves it out)
            if (ISK(b) || ISK(c)) {
                out += "\t; ";
                if (ISK(b)) konst(INDEXK(b));
                else out += '-';
                out += ' ';
                if (ISK(c)) konst(INDEXK(c));
                else out += '-';
            }
            break;
        case OP_JMP:
        case OP_FORLOOP:
        case OP_FORPREP:
        case OP_TFORLOOP: printf_to(out, "\t; to %d", sbx + pc + 2); break;
        case OP_CLOSURE:
            printf_to(out, "\t; %p", bx < f->sizep ? static_cast<const void*>(f->p[bx]) : nullptr);
            break;
        case OP_SETLIST:
            // A count too large for C follows in the next word, which the
            // stock listing shows here instead of on a line of its own.
            if (c == 0 && pc + 1 < n) printf_to(out, "\t; %d", int(code[++pc]));
            else printf_to(out, "\t; %d", c);
            break;
        case OP_EXTRAARG:
            out += "\t; ";
            konst(ax);
            break;
        default: break;
        }
        out += '\n';
    }
}

void print_debug(const Proto* f, std::string& out) {
    printf_to(out, "constants (%d) for %p:\n", f->sizek, static_cast<const void*>(f));
    for (int i = 0; i < f->sizek; i++) {
        printf_to(out, "\t%d\t", i + 1);
        print_constant(f, i, out);
        out += '\n';
    }
    printf_to(out, "locals (%d) for %p:\n", f->sizelocvars, static_cast<const void*>(f));
    for (int i = 0; i < f->sizelocvars; i++) {
        printf_to(out, "\t%d\t%s\t%d\t%d\n", i, f->locvars[i].varname ? getstr(f->locvars[i].varname) : "?",
                  f->locvars[i].startpc + 1, f->locvars[i].endpc + 1);
    }
    printf_to(out, "upvalues (%d) for %p:\n", f->sizeupvalues, static_cast<const void*>(f));
    for (int i = 0; i < f->sizeupvalues; i++)
        printf_to(out, "\t%d\t%s\t%d\t%d\n", i, upvalname(f, i), int(f->upvalues[i].instack), int(f->upvalues[i].idx));
}

}  // namespace

void luaU_list(const Proto* f, bool full, std::string& out) {
    print_header(f, out);
    print_code(f, out);
    if (full) print_debug(f, out);
    for (int i = 0; i < f->sizep; i++) luaU_list(f->p[i], full, out);
}

bool luaU_list_at(lua_State* L, int idx, bool full, std::string& out) {
    const TValue* o = idx > 0 ? L->ci->func + idx : L->top + idx;
    if (o < L->ci->func + 1 || o >= L->top || !ttisLclosure(o)) return false;
    luaU_list(getproto(o), full, out);
    return true;
}
