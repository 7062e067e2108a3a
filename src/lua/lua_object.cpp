// Numbers and text of the 16.16 dialect, and small object helpers.
#include "lua/lua_object.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fixed/fixed.h"
#include "lua/lua_debug.h"
#include "lua/lua_do.h"
#include "lua/lua_string.h"

const TValue luaO_nilobject_ = {{nullptr}, LUA_TNIL};

void setsvalue(lua_State*, TValue* o, TString* s) { o->value_.gc = s; o->tt_ = ctb(s->tt); }
void sethvalue(lua_State*, TValue* o, Table* t) { o->value_.gc = reinterpret_cast<GCObject*>(t); o->tt_ = ctb(LUA_TTABLE); }
void setuvalue(lua_State*, TValue* o, Udata* u) { o->value_.gc = u; o->tt_ = ctb(LUA_TUSERDATA); }
void setthvalue(lua_State*, TValue* o, lua_State* th) { o->value_.gc = th; o->tt_ = ctb(LUA_TTHREAD); }
void setclLvalue(lua_State*, TValue* o, Closure* cl) { o->value_.gc = &cl->l; o->tt_ = ctb(LUA_TLCL); }
void setclCvalue(lua_State*, TValue* o, Closure* cl) { o->value_.gc = &cl->c; o->tt_ = ctb(LUA_TCCL); }

// Converts an integer to a "floating point byte" eeeeexxx: (1xxx) * 2^(eeeee - 1)
// when eeeee != 0, else xxx.
int luaO_int2fb(unsigned int x) {
    int e = 0;
    if (x < 8) return int(x);
    while (x >= 0x10) {
        x = (x + 1) >> 1;
        e++;
    }
    return ((e + 1) << 3) | (int(x) - 8);
}

int luaO_fb2int(int x) {
    int e = (x >> 3) & 0x1f;
    if (e == 0) return x;
    return ((x & 7) + 8) << (e - 1);
}

int luaO_ceillog2(unsigned int x) {
    int l = 0;
    x--;
    while (x >= 256) {
        l += 8;
        x >>= 8;
    }
    while (x > 0) {
        l++;
        x >>= 1;
    }
    return l;
}

int luaO_hexavalue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

lua_Number luaO_arith(int op, lua_Number a, lua_Number b) {
    switch (op) {
    case LUA_OPADD: return lua_Number(uint32_t(a) + uint32_t(b));
    case LUA_OPSUB: return lua_Number(uint32_t(a) - uint32_t(b));
    case LUA_OPMUL: return fixed_mul(a, b);
    case LUA_OPDIV: return fixed_div_wrap(a, b);
    case LUA_OPMOD: return fixed_mod(a, b);
    case LUA_OPPOW: return fixed_pow(a, b);
    case LUA_OPUNM: return lua_Number(0u - uint32_t(a));
    default: return 0;
    }
}

// ---- numerals ----

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Hexadecimal (radix 16, prefix x) or binary (radix 2, prefix b) numerals.
// Integer digits wrap at 32 bits and keep only their low 16 bits in the
// result; fraction digits fill the 16 fraction bits from the top, and
// digits beyond those 16 bits are dropped.
bool read_radix(const char* s, const char* end, int radix, lua_Number* result) {
    const int frac_digits = radix == 16 ? 4 : 16;
    const int bits = radix == 16 ? 4 : 1;
    while (s < end && is_space(static_cast<unsigned char>(*s))) s++;
    bool neg = false;
    if (s < end && (*s == '-' || *s == '+')) neg = *s++ == '-';
    if (end - s < 2 || s[0] != '0' || (s[1] | 0x20) != (radix == 16 ? 'x' : 'b')) return false;
    s += 2;
    auto digit = [&](int c) -> int {
        if (radix == 2) return (c == '0' || c == '1') ? c - '0' : -1;
        if (c >= '0' && c <= '9') return c - '0';
        c |= 0x20;
        return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    uint32_t acc = 0, frac = 0;
    int ndigits = 0;
    int d;
    while (s < end && (d = digit(static_cast<unsigned char>(*s))) >= 0) {
        acc = acc * uint32_t(radix) + uint32_t(d);
        ndigits++;
        s++;
    }
    if (s < end && *s == '.') {
        s++;
        int count = 0;
        while (s < end && (d = digit(static_cast<unsigned char>(*s))) >= 0) {
            // Digits past the 16 fraction bits are read but dropped (the
            // value is truncated toward zero), never carried into the
            // integer part.
            if (count < frac_digits) frac = frac * uint32_t(radix) + uint32_t(d);
            count++;
            s++;
        }
        if (count > 0 && count < frac_digits) frac <<= bits * (frac_digits - count);
        ndigits += count;
    }
    if (ndigits == 0) return false;
    while (s < end && is_space(static_cast<unsigned char>(*s))) s++;
    if (s != end) return false;  // also rejects a p/P exponent
    uint32_t v = (acc << 16) + frac;
    if (neg) v = 0u - v;
    *result = lua_Number(v);
    return true;
}

// Decimal numerals as strtod reads them, rounded on the magnitude: raw =
// trunc(|x| * 65536 + 2^-17), out of range giving 0x80000000; then the sign
// is applied, so "-1" is exactly -1.0 and "-0.1" is raw -6553.
bool read_decimal(const char* s, size_t len, lua_Number* result) {
    char small[64];
    std::string big;
    const char* text;
    if (len < sizeof small) {
        std::memcpy(small, s, len);
        small[len] = '\0';
        text = small;
    } else {
        big.assign(s, len);
        text = big.c_str();
    }
    char* endp;
    double d = std::strtod(text, &endp);
    if (endp == text) return false;
    const char* e = endp;
    const char* end = text + len;
    while (e < end && is_space(static_cast<unsigned char>(*e))) e++;
    if (e != end) return false;
    bool neg = std::signbit(d);
    double m = std::fabs(d) * 65536.0 + 7.62939453125e-6;
    uint32_t raw = (m < 2147483648.0) ? uint32_t(m) : 0x80000000u;
    if (neg) raw = 0u - raw;
    *result = lua_Number(raw);
    return true;
}

}  // namespace

int luaO_str2d(const char* s, size_t len, lua_Number* result) {
    bool hex = false, bin = false;
    for (size_t i = 0; i < len; i++) {
        char c = char(s[i] | 0x20);
        if (c == 'n') return 0;  // neither nan nor inf is a number
        if (c == 'x') hex = true;
        if (c == 'b') bin = true;
    }
    if (hex) return read_radix(s, s + len, 16, result);
    if (bin) return read_radix(s, s + len, 2, result);
    return read_decimal(s, len, result);
}

int luaO_fixed_to_string(char* buff, lua_Number n) {
    double d = double(n) / 65536.0;
    std::snprintf(buff, LUAI_MAXNUMBER2STR, "%0.5f", d);
    if (std::strstr(buff, ".9999") || std::strstr(buff, ".0000"))
        std::snprintf(buff, LUAI_MAXNUMBER2STR, "%0.3f", d);
    else
        std::snprintf(buff, LUAI_MAXNUMBER2STR, "%0.4f", d);
    int len = int(std::strlen(buff));
    while (len > 0 && buff[len - 1] == '0') len--;
    if (len > 1 && buff[len - 1] == '.') len--;
    buff[len] = '\0';
    return len;
}

// ---- formatted messages ----

const char* luaO_pushvfstring(lua_State* L, const char* fmt, va_list argp) {
    std::string out;
    for (;;) {
        const char* e = std::strchr(fmt, '%');
        if (e == nullptr) break;
        out.append(fmt, size_t(e - fmt));
        switch (e[1]) {
        case 's': {
            const char* s = va_arg(argp, char*);
            out += s ? s : "(null)";
            break;
        }
        case 'c': out += char(va_arg(argp, int)); break;
        case 'd':
        case 'f': {
            char buff[LUAI_MAXNUMBER2STR];
            luaO_fixed_to_string(buff, lua_Number(va_arg(argp, int)));
            out += buff;
            break;
        }
        case 'p': {
            char buff[4 * sizeof(void*) + 8];
            std::snprintf(buff, sizeof buff, "%p", va_arg(argp, void*));
            out += buff;
            break;
        }
        case '%': out += '%'; break;
        default:
            luaG_runerror(L, "invalid option '%%%c' to 'lua_pushfstring'", e[1]);
        }
        fmt = e + 2;
    }
    out += fmt;
    TString* ts = luaS_newlstr(L, out.data(), out.size());
    setsvalue(L, L->top, ts);
    incr_top(L);
    return getstr(ts);
}

const char* luaO_pushfstring(lua_State* L, const char* fmt, ...) {
    va_list argp;
    va_start(argp, fmt);
    const char* msg = luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    return msg;
}

// The printable name of a chunk, at most LUA_IDSIZE bytes with the NUL:
// "=name" as is, "@file" as the file name (its end kept when too long),
// anything else as [string "first line..."].
void luaO_chunkid(char* out, const char* source, size_t bufflen) {
    constexpr char RETS[] = "...";
    constexpr char PRE[] = "[string \"";
    constexpr char POS[] = "\"]";
    size_t l = std::strlen(source);
    if (*source == '=') {
        if (l <= bufflen) {
            std::memcpy(out, source + 1, l);
        } else {
            std::memcpy(out, source + 1, bufflen - 1);
            out[bufflen - 1] = '\0';
        }
    } else if (*source == '@') {
        if (l <= bufflen) {
            std::memcpy(out, source + 1, l);
        } else {
            std::memcpy(out, RETS, 3);
            bufflen -= 3;
            std::memcpy(out + 3, source + 1 + l - bufflen, bufflen);
        }
    } else {
        const char* nl = std::strchr(source, '\n');
        std::memcpy(out, PRE, sizeof PRE - 1);
        out += sizeof PRE - 1;
        bufflen -= sizeof PRE + sizeof RETS + sizeof POS - 3 + 1;
        if (l < bufflen && nl == nullptr) {
            std::memcpy(out, source, l);
            out += l;
        } else {
            if (nl != nullptr) l = size_t(nl - source);
            if (l > bufflen) l = bufflen;
            std::memcpy(out, source, l);
            out += l;
            std::memcpy(out, RETS, 3);
            out += 3;
        }
        std::memcpy(out, POS, sizeof POS);
    }
}
