// The language additions of cartridge format 15, as the compiler and the
// interpreter see them (the preprocessor's part is tests/runtime/): integer
// division, the bit operators and their precedence, the peek operators,
// numerals that end at letters, binary numerals, the new string escapes and
// "?" as a print statement. Bit-exactness against the machine's functions
// is tests/runtime/operators_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lua_oracle_harness.h"
#include "lua/lua_object.h"

namespace {

// What a script prints with printh, or "error: message".
std::string out(const std::string& src) {
    lua_oracle::Run r = lua_oracle::run(src);
    EXPECT_EQ(0, r.leaked);
    return r.status == LUA_OK ? r.out : "error: " + r.err;
}

// The value of an expression as tostr prints it in hex ("0x0001.0000").
std::string hex(const std::string& expr) {
    std::string s = out("printh(tostr(" + expr + ", true))");
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

std::string listing(const std::string& src) { return lua_oracle::listing(src, "=test"); }

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(LuaSyntax, IntegerDivisionIsFloorOfDivision) {
    EXPECT_EQ(out("printh(7 \\ 2) printh(-7 \\ 2) printh(7.5 \\ 0.5) printh(1 \\ 3)"), "3\n-4\n15\n0\n");
    // by zero as / does: flr(1 / 0) and flr(-1 / 0)
    EXPECT_EQ(hex("1 \\ 0"), "0x7fff.0000");
    EXPECT_EQ(hex("-1 \\ 0"), "0x8000.0000");
    EXPECT_EQ(out("local z = 0 printh(5 \\ z) printh(-5 \\ z)"), "32767\n-32768\n");
    // as * / % : left to right, above + -, below the unary operators
    EXPECT_EQ(out("printh(7 \\ 2 * 2) printh(7 * 2 \\ 4) printh(9 % 4 \\ 2) printh(1 + 7 \\ 2) printh(-7 \\ 2 ^ 1)"),
              "6\n3\n0\n4\n-4\n");
}

TEST(LuaSyntax, BitOperatorsGiveTheirValues) {
    EXPECT_EQ(hex("0x0f0f.f0f0 & 0x00ff.ff00"), "0x000f.f000");
    EXPECT_EQ(hex("0x0f0f.f0f0 | 0x00ff.ff00"), "0x0fff.fff0");
    EXPECT_EQ(hex("0x0f0f.f0f0 ^^ 0x00ff.ff00"), "0x0ff0.0ff0");
    EXPECT_EQ(hex("~0x0f0f.f0f0"), "0xf0f0.0f0f");
    EXPECT_EQ(hex("1 << 4"), "0x0010.0000");
    EXPECT_EQ(hex("-16 >> 2"), "0xfffc.0000");
    EXPECT_EQ(hex("-16 >>> 2"), "0x3ffc.0000");
    EXPECT_EQ(hex("0x8000.0001 <<> 1"), "0x0000.0003");
    EXPECT_EQ(hex("0x0000.0003 >>< 1"), "0x8000.0001");
    // shift counts: whole part only, above 31 all out, negative by its low bits
    EXPECT_EQ(hex("1 << 1.99"), "0x0002.0000");
    EXPECT_EQ(hex("-1 >> 32"), "0x0000.0000");
    EXPECT_EQ(hex("0x0000.0001 << -1"), "0x8000.0000");
    EXPECT_EQ(hex("0x1234.5678 <<> 32"), "0x1234.5678");
    EXPECT_EQ(hex("0x1234.5678 >>< -4"), "0x2345.6781");
}

TEST(LuaSyntax, PrecedenceOfEachOperatorAgainstItsNeighbours) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // or < and < comparisons < |
        {"false or 1 | 2", "3"},
        {"1 and 1 | 2", "3"},
        {"3 == 1 | 2", "true"},
        {"1 | 2 == 3", "true"},
        {"2 < 1 | 2", "true"},
        // | < ^^ < &
        {"1 | 3 ^^ 2", "1"},   // 1 | (3 ^^ 2)
        {"3 ^^ 2 | 1", "1"},   // (3 ^^ 2) | 1
        {"6 ^^ 3 & 1", "7"},   // 6 ^^ (3 & 1)
        {"3 & 1 ^^ 6", "7"},
        {"4 | 6 & 3", "6"},    // 4 | (6 & 3)
        // & < shifts
        {"3 & 1 << 1", "2"},   // 3 & (1 << 1)
        {"1 << 1 & 3", "2"},
        {"1 ^^ 1 << 2", "5"},
        {"8 | 1 >> 1", "8.5"},  // 8 | (1 >> 1) = 8 | 0.5
        // shifts are left-associative among themselves
        {"1 << 2 >> 1", "2"},
        {"16 >> 2 << 1", "8"},
        {"1 << 3 >>> 1", "4"},
        {"1 <<> 1 >>< 1", "1"},
        // shifts < ..  (so the string converts)
        {"1 << 2 .. \"\"", "4"},
        {"\"1\" .. 2 >> 1", "6"},  // "12" >> 1
        // .. < + -
        {"1 .. 2 + 3", "15"},
        // + - < * / \\ %
        {"1 + 2 \\ 2", "2"},
        {"2 * 3 \\ 4", "1"},
        {"7 \\ 2 % 2", "1"},
        // * < unary: ~ - not #
        {"~1 & 3", "2"},            // (~1) & 3 = 0xfffe.ffff & 3
        {"-1 \\ 2", "-1"},
        {"~-1", "1"},               // ~(-1.0) = 0x0000.ffff, printed rounded
        {"not 1 == nil", "false"},
        {"#\"ab\" << 1", "4"},
        // unary < ^
        {"~2 ^ 2", "-4"},           // ~(2 ^ 2) = ~4
        {"2 ^ 2 & 6", "4"},
        {"2 ^ 3 \\ 3", "2"},
    };
    for (const auto& [expr, want] : cases) EXPECT_EQ(out("printh(" + expr + ")"), want + "\n") << expr;
}

TEST(LuaSyntax, OperatorsAreSingleInstructionsAndFold) {
    const char* names[] = {"IDIV", "BAND", "BOR", "BXOR", "SHL", "SHR", "LSHR", "ROTL", "ROTR"};
    const char* ops[] = {"\\", "&", "|", "^^", "<<", ">>", ">>>", "<<>", ">><"};
    for (int i = 0; i < 9; ++i) {
        const std::string l = listing(std::string("local a, b = ... return a ") + ops[i] + " b");
        EXPECT_EQ(count_of(l, std::string("\t") + names[i] + " "), 1) << ops[i] << "\n" << l;
        // numerals are folded, as for + - * /
        const std::string f = listing(std::string("return 6 ") + ops[i] + " 2");
        EXPECT_EQ(count_of(f, names[i]), 0) << ops[i] << "\n" << f;
    }
    EXPECT_EQ(count_of(listing("local a = ... return ~a"), "\tBNOT "), 1);
    EXPECT_EQ(count_of(listing("return ~5"), "BNOT"), 0);
    // a division by the constant 0 is left to run time
    EXPECT_EQ(count_of(listing("return 1 \\ 0"), "\tIDIV "), 1);
    // constant operands go straight into the instruction
    EXPECT_NE(listing("local a = ... return a & 255").find("BAND     \t1 0 -1\t; - 255"), std::string::npos)
        << listing("local a = ... return a & 255");
}

TEST(LuaSyntax, OperatorsDoNotDependOnGlobals) {
    EXPECT_EQ(out("band = nil bor = nil shl = function() return 99 end printh(6 & 3) printh(1 << 2) printh(6 | 1)"),
              "2\n4\n7\n");
}

TEST(LuaSyntax, OperandsConvertLikeArithmeticOrFail) {
    EXPECT_EQ(out("printh(\"3\" & 1) printh(\"0x10\" >> 4) printh(~\"0\" == ~0) printh(\"7\" \\ 2)"),
              "1\n1\ntrue\n3\n");
    EXPECT_EQ(out("x = y & 1"), "error: attempt to perform bitwise operation on global 'y' (a nil value)");
    EXPECT_EQ(out("local t = {} x = 1 << t"),
              "error: attempt to perform bitwise operation on local 't' (a table value)");
    EXPECT_EQ(out("x = ~{}"), "error: attempt to perform bitwise operation on a table value");
    EXPECT_EQ(out("x = y \\ 2"), "error: attempt to perform arithmetic on global 'y' (a nil value)");
    EXPECT_EQ(out("x = \"a\" | 1"), "error: attempt to perform bitwise operation on a string value");
    // no metamethods: a table with __div or __band is still not a number
    EXPECT_EQ(out("local t = setmetatable({}, {__div = function() return 1 end}) x = t \\ 2"),
              "error: attempt to perform arithmetic on local 't' (a table value)");
}

TEST(LuaSyntax, PeekOperatorsCallTheGlobals) {
    const std::string defs =
        "function peek(a) return a + 1000 end function peek2(a) return a + 2000 end "
        "function peek4(a) return a + 4000 end ";
    EXPECT_EQ(out(defs + "printh(@1) printh(%1) printh($1)"), "1001\n2001\n4001\n");
    // unary, at the precedence of -: below ^, above * and +
    EXPECT_EQ(out(defs + "printh(@1 + 1) printh(@2 * 2) printh(@2 ^ 2) printh(-@1) printh(@-1)"),
              "1002\n2004\n1004\n-1001\n999\n");
    // % is modulo after an operand and peek2 before one
    EXPECT_EQ(out(defs + "printh(7 % 4) printh(7 % %1) printh(%1 % 7) printh(@@1)"), "3\n7\n6\n2001\n");
    // one value, wherever it stands
    EXPECT_EQ(out("function peek(a) return a, 9 end t = {@1} printh(#t) local a, b = @1 printh(b)"), "1\n[nil]\n");
    // the global, never a local of that name
    EXPECT_EQ(out(defs + "local peek = function() return 0 end printh(@1)"), "1001\n");
    // until the function exists, the usual error
    EXPECT_EQ(out("x = %0"), "error: attempt to call global 'peek2' (a nil value)");
    EXPECT_EQ(out("x = $0"), "error: attempt to call global 'peek4' (a nil value)");
}

TEST(LuaSyntax, NumeralsEndAtTheFirstCharacterThatCannotContinueThem) {
    EXPECT_EQ(out("for i=0,2do printh(i) end"), "0\n1\n2\n");
    EXPECT_EQ(out("x=2and 1 printh(x)"), "1\n");
    EXPECT_EQ(out("x=0x1f if x==0x1fthen printh(\"y\") end"), "y\n");
    EXPECT_EQ(out("if false then x=2else x=3 end printh(x)"), "3\n");
    // 2e is 2 then the name e: "y=x*2 e z=1" is no statement
    EXPECT_EQ(out("x=3 e=2 y=x*2e z=1 printh(y)"), "error: test:0: syntax error near 'z'");
    EXPECT_EQ(out("x=1e2 y=1e+2 z=1E-2 printh(x) printh(y) printh(z)"), "100\n100\n0.01\n");
    EXPECT_EQ(out("x=1 y=2 z=x<y and 1or 2 printh(z)"), "1\n");
    EXPECT_EQ(out("x=0b101or 1 printh(x)"), "5\n");
    // malformed as before
    EXPECT_EQ(out("x=1..2"), "error: test:0: malformed number near '1..2'");
    EXPECT_EQ(out("x=0x"), "error: test:0: malformed number near '0x'");
    EXPECT_EQ(out("x=0b12"), "error: test:0: malformed number near '0b12'");
    EXPECT_EQ(out("x=1.2.3"), "error: test:0: malformed number near '1.2.3'");
}

TEST(LuaSyntax, BinaryNumerals) {
    EXPECT_EQ(out("printh(0b1011) printh(0b1011.1) printh(0b0.01) printh(0B11) printh(0b.1)"),
              "11\n11.5\n0.25\n3\n0.5\n");
    EXPECT_EQ(hex("0b1111111111111111.1111111111111111"), "0xffff.ffff");
    EXPECT_EQ(hex("0b0.0000000000000001"), "0x0000.0001");
}

TEST(LuaSyntax, NumeralsValidBeforeKeepTheirValues) {
    const char* numerals[] = {"0",        "3",      "3.",          ".5",       "3.25",      "3.e2",   "1e5",
                              "1E+2",     "2.5e-1", "0.1",         "32767.99", "32768",     "65535",  "0x10",
                              "0XaB",     "0xA.8",  "0x.8",        "0x8.",     "0xffff.ffff", "0x12345", "0b101",
                              "0b1.01",   "0b.1",   "0b1.",        "0x1.23456", "1e-5",     "007",    "0.00001"};
    for (const char* n : numerals) {
        lua_Number want = 0;
        ASSERT_TRUE(luaO_str2d(n, std::strlen(n), &want)) << n;
        // the compiled value is the numeral's value, compared as its raw bits
        lua_oracle::Run r = lua_oracle::run(std::string("printh(tostr(") + n + ", true))");
        char wanttext[32];
        std::snprintf(wanttext, sizeof wanttext, "0x%04x.%04x\n", unsigned(uint32_t(want) >> 16),
                      unsigned(uint32_t(want) & 0xffff));
        EXPECT_EQ(r.out, wanttext) << n << " " << r.err;
    }
}

TEST(LuaSyntax, StringEscapes) {
    const std::string bytes = "local s = \"\\*\\#\\-\\|\\+\\^\\0\" return s";
    lua_State* L = luaL_newstate();
    ASSERT_EQ(luaL_loadbuffer(L, bytes.data(), bytes.size(), "=t"), LUA_OK);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), LUA_OK);
    size_t len = 0;
    const char* s = lua_tolstring(L, -1, &len);
    EXPECT_EQ(std::string(s, len), std::string("\x01\x02\x03\x04\x05\x06\x00", 7));
    lua_close(L);
    // the Lua 5.2 escapes as before
    EXPECT_EQ(out("printh(\"\\65\\x42\\z   C\\\\\\\"\\'\" == 'AB' .. 'C\\\\\"\\'')"), "true\n");
    EXPECT_EQ(out("printh(\"\\01\" == \"\\1\") printh(#\"\\0\\00\\000\")"), "true\n3\n");
    EXPECT_EQ(out("x = \"\\q\""), "error: test:0: invalid escape sequence near '\\q'");
}

TEST(LuaSyntax, StringsHoldAnyByte) {
    // every byte but the line breaks, the quote and the backslash, raw in a
    // short string; every byte but NUL in a long string; none of it rewritten
    std::string shortstr, longstr;
    for (int b = 1; b < 256; ++b) {
        longstr += char(b);
        if (b != '\n' && b != '\r' && b != '"' && b != '\\') shortstr += char(b);
    }
    for (const std::string& body : {std::string("\"") + shortstr + "\"", "[==[" + longstr + "]==]"}) {
        const std::string src = "return " + body;
        lua_State* L = luaL_newstate();
        ASSERT_EQ(luaL_loadbuffer(L, src.data(), src.size(), "=t"), LUA_OK);
        ASSERT_EQ(lua_pcall(L, 0, 1, 0), LUA_OK);
        size_t len = 0;
        const char* s = lua_tolstring(L, -1, &len);
        std::string want = body[0] == '"' ? shortstr : longstr;
        if (body[0] == '[') {  // a long string reads \r as a line break
            std::string w;
            for (size_t i = 0; i < want.size(); ++i) {
                if (want[i] == '\r' && i + 1 < want.size() && want[i + 1] == '\n') continue;
                if (want[i] == '\n' && i > 0 && want[i - 1] == '\r') { w += '\n'; continue; }
                w += want[i] == '\r' ? '\n' : want[i];
            }
            want = w;
        }
        EXPECT_EQ(std::string(s, len), want);
        lua_close(L);
    }
}

TEST(LuaSyntax, QuestionMarkPrintsWhereAStatementMayStart) {
    const std::string pre = "print = printh ";
    EXPECT_EQ(out(pre + "?1"), "1\n");
    EXPECT_EQ(out(pre + "x = 2 ?x y = 3 ?y"), "2\n3\n");
    EXPECT_EQ(out(pre + "if true then ?\"yes\" end if false then ?\"no\" end"), "yes\n");
    EXPECT_EQ(out(pre + "for i = 1, 2 do ?i end"), "1\n2\n");
    EXPECT_EQ(out(pre + "function f() return 7 end ?f()"), "7\n");
    // the name print as the program sees it (a local too), as print(...) would
    EXPECT_EQ(out("local print = function(s) printh(\"local \" .. s) end ?5"), "local 5\n");
    EXPECT_EQ(out("?1"), "error: attempt to call global 'print' (a nil value)");
    // an expression ends where the next statement may begin
    EXPECT_EQ(out(pre + "x = 1 ?x + 1 ?x"), "2\n1\n");
    // after return: the values of print(...), a tail call, to the end of the statement
    const std::string p2 = "print = function(a, b) printh(a) return b, 9 end ";
    EXPECT_EQ(out(p2 + "function f(s) return ?s, 7 end printh(select('#', f('x'))) printh(f('y'))"),
              "x\n2\ny\n7\n");
    EXPECT_EQ(out(p2 + "function g(c) if c then return ?'a' end return ?'b' end g(true) g(false)"), "a\nb\n");
    EXPECT_EQ(out(p2 + "function h() return ? end printh(select('#', h()))"), "[nil]\n2\n");
}

TEST(LuaSyntax, StringsIndexedByNumberGiveTheirCharacters) {
    EXPECT_EQ(out("s = 'abc' printh(s[1] .. s[3] .. s[2.5]) printh(tostr(s[0]) .. tostr(s[4]) .. tostr(s[-1]))"),
              "acb\n[nil][nil][nil]\n");
    // other keys are nil, not an error, and there are no methods
    EXPECT_EQ(out("s = 'abc' printh(tostr(s.len) .. tostr(s['1']) .. tostr(s[true]))"), "[nil][nil][nil]\n");
    EXPECT_EQ(out("s = 'abc' s:len()"), "error: attempt to call method 'len' (a nil value)");
    // in a loop over a long string
    EXPECT_EQ(out("local s, n = '', 0 for i = 1, 300 do s = s .. chr(i % 256) end "
                  "for i = 1, #s do if s[i] == chr(i % 256) then n = n + 1 end end printh(n)"),
              "300\n");
    // tables are untouched
    EXPECT_EQ(out("t = {} t[1] = 'q' printh(t[1] .. tostr(t[2]))"), "q[nil]\n");
}

TEST(LuaSyntax, ChargedLikeTheirNearestOperations) {
    // the budget counts instructions: each operator costs what + costs, and
    // a peek operator what the call peek(a) costs
    auto count = [](const std::string& src) {
        lua_oracle::Run r = lua_oracle::run(src, true);
        EXPECT_EQ(r.status, LUA_OK) << r.err;
        return r.count;
    };
    const long long plus = count("local a, b = 6, 3 local c = a + b");
    for (const char* op : {"\\", "&", "|", "^^", "<<", ">>", ">>>", "<<>", ">><", "/", "*"})
        EXPECT_EQ(count(std::string("local a, b = 6, 3 local c = a ") + op + " b"), plus) << op;
    EXPECT_EQ(count("local a = 6 local c = ~a"), count("local a = 6 local c = -a"));
    const std::string defs = "function peek(a) return a end function peek2(a) return a end ";
    EXPECT_EQ(count(defs + "local c = @1"), count(defs + "local c = peek(1)"));
    EXPECT_EQ(count(defs + "local c = %1"), count(defs + "local c = peek2(1)"));
    EXPECT_EQ(count("print = printh ?1"), count("print = printh print(1)"));
}
