// Code generation and behaviour compared with the stock Lua 5.2 programs:
// the same source must give the same instructions (luac5.2 -l -l), the same
// output and the same number of executed instructions (a count hook of 1),
// because the console's CPU budget charges one cycle per instruction. The
// corpus is integer-only, where the 16.16 numbers and doubles agree.
#include <gtest/gtest.h>

#include <random>

#include "lua_oracle_harness.h"

namespace {

// Instructions the stock command line spends around the script itself
// (calling dofile and removing the hook), measured with an empty script.
constexpr long long kStockOverhead = 7;

TEST(LuaOracle, ListingsMatchStockCompiler) {
    if (!lua_oracle::have("luac5.2")) GTEST_SKIP() << "luac5.2 not installed";
    // our corpus, and every other Lua program of the tree that stock Lua can compile
    std::vector<std::string> files = lua_oracle::corpus_files();
    for (const char* dir : {"/tests/lua/diff/programs", "/bench/lua", "/tests/fuzz/corpus/lua_run"}) {
        std::string d = std::string(VEXEL_SOURCE_DIR) + dir;
        if (!std::filesystem::is_directory(d)) continue;
        for (const auto& e : std::filesystem::directory_iterator(d))
            if (e.path().extension() == ".lua") files.push_back(e.path().string());
    }
    for (const auto& path : files) {
        std::string name = std::filesystem::path(path).filename().string();
        std::string ours = lua_oracle::listing(lua_oracle::read_file(path), "@" + path);
        std::string stock = lua_oracle::stock_listing(path);
        EXPECT_EQ(stock, ours) << "listing differs for " << name;
    }
}

TEST(LuaOracle, OutputAndInstructionCountsMatchStockInterpreter) {
    if (!lua_oracle::have("lua5.2")) GTEST_SKIP() << "lua5.2 not installed";
    for (const auto& path : lua_oracle::corpus_files()) {
        std::string name = std::filesystem::path(path).filename().string();
        std::string stock = lua_oracle::stock_run(path);
        size_t at = stock.rfind("COUNT ");
        ASSERT_NE(at, std::string::npos) << name << ": " << stock;
        long long stock_count = std::atoll(stock.c_str() + at + 6) - kStockOverhead;
        std::string stock_out = stock.substr(0, at);
        lua_oracle::Run r = lua_oracle::run(lua_oracle::read_file(path), true, ("@" + path).c_str());
        EXPECT_EQ(LUA_OK, r.status) << name << ": " << r.err;
        EXPECT_EQ(stock_out, r.out) << "output differs for " << name;
        EXPECT_EQ(stock_count, r.count) << "instruction count differs for " << name;
        EXPECT_EQ(0, r.leaked) << name;
    }
}

// Constructs whose code generation is easy to get subtly wrong, checked
// one by one so a failure names the construct.
TEST(LuaOracle, TrickyConstructsCompileLikeStock) {
    if (!lua_oracle::have("luac5.2")) GTEST_SKIP() << "luac5.2 not installed";
    const char* cases[] = {
        "local a, b, c = f() local d = ... return a, ...",
        "local t = {} t.x, t.y = t.y, t.x local i = 1 i, t[i] = i + 1, 20",
        "local a = x and y or z local b = not (a == 1) local c = a ~= nil and a > 2",
        "if a and b or c then x() elseif not d then y() else z() end",
        "while a < 10 do a = a + 1 if a == 5 then break end end repeat local q = 1 until q",
        "for i = 1, 10, 2 do local function f() return i end end for k, v in next, t do end",
        "local x = -2 ^ 2 local y = 2 ^ -1 local z = 1 / 0 local w = 5 % 0 local v = -(3)",
        "local s = 'a' .. 'b' .. c .. d local u = (a .. b) .. c",
        "goto l1 do local x ::l2:: end ::l1:: local y = function() goto l3 ::l3:: end",
        "local t = {1, 2, 3, n = 4, [5] = 5, f(), g()} local u = {...} local v = {f()}",
        "function a.b.c:d(x, ...) return self, x, ... end return a:b(1)(2){3}'4'",
        "local a = {} a[1], a[2], a[3] = 1 local b, c = (f())",
        "do local a; local function g() return a end end do local b = 1 goto out end ::out::",
        "local x <const> = 1",
        "return not not x, #t, -t, t == nil, 1 < 2, 'a' <= 'b', nil == false",
        "local a = 1; a = a + 1 - 2 * 3 / 4 % 5 ^ 6; return a .. a",
    };
    for (const char* src : cases) {
        std::string path = lua_oracle::scratch_path("tricky.lua");
        {
            std::ofstream f(path);
            f << src;
        }
        std::string stock = lua_oracle::stock_listing(path);
        std::string ours = lua_oracle::listing(src, "@" + path);
        if (stock.find("luac5.2: ") == 0) {
            // The stock compiler rejects it, so must we, with the same message
            // (our line number prints scaled down: compare without it).
            std::regex line(":[0-9.]+: ");
            std::string want = std::regex_replace(stock.substr(9, stock.find('\n') - 9), line, ":N: ");
            EXPECT_EQ(want, std::regex_replace(ours, line, ":N: ")) << src;
        } else {
            EXPECT_EQ(stock, ours) << src;
        }
        std::filesystem::remove(path);
    }
}

}  // namespace

namespace {

// Random but well-formed programs (the grammar below covers every
// statement and expression form), so that code generation is compared on
// combinations nobody wrote by hand.
class ProgramGenerator {
public:
    explicit ProgramGenerator(unsigned seed) : rng_(seed) {}
    std::string program() { return block(0, false); }

private:
    std::mt19937 rng_;
    int pick(int n) { return int(rng_() % unsigned(n)); }
    template <size_t N>
    const char* any(const char* const (&options)[N]) { return options[pick(int(N))]; }
    std::string name() {
        static const char* const names[] = {"a", "b", "c", "d", "t", "x", "y", "f", "g"};
        return any(names);
    }
    std::string num() {
        static const char* const nums[] = {"0", "1", "2", "3", "5", "7", "10", "100", "255", "1000", "4"};
        return any(nums);
    }
    std::string list(int n, int d) {
        std::string s;
        for (int i = 0; i < n; i++) s += (i ? ", " : "") + expr(d);
        return s;
    }
    std::string expr(int d) {
        static const char* const binops[] = {"+", "-", "*", "/", "%", "^", "..", "==", "~=",
                                             "<", "<=", ">", ">=", "and", "or"};
        static const char* const unops[] = {"-", "not ", "#"};
        static const char* const atoms[] = {"nil", "true", "false", "...", "\"s\"", "\"k\""};
        if (d > 3) return pick(2) ? num() : name();
        switch (pick(14)) {
        case 0: return num();
        case 1: return name();
        case 2: return any(atoms);
        case 3: return "(" + expr(d + 1) + " " + any(binops) + " " + expr(d + 1) + ")";
        case 4: return std::string(any(unops)) + expr(d + 1);
        case 5: return name() + "." + name();
        case 6: return name() + "[" + expr(d + 1) + "]";
        case 7: return name() + "(" + list(pick(3), d + 1) + ")";
        case 8: return name() + ":" + name() + "(" + expr(d + 1) + ")";
        case 9: {
            std::string s = "{";
            for (int i = 0, n = pick(4); i < n; i++) {
                if (i) s += ", ";
                int k = pick(3);
                s += k == 0 ? expr(d + 1) : k == 1 ? name() + " = " + expr(d + 1) : "[" + expr(d + 1) + "] = " + expr(d + 1);
            }
            return s + "}";
        }
        case 10: {
            static const char* const params[] = {"", "a", "a, ...", "..."};
            return std::string("function(") + any(params) + ") " + block(d + 1, false) + " end";
        }
        case 11: return expr(d + 1) + " " + any(binops) + " " + expr(d + 1) + " " + any(binops) + " " + expr(d + 1);
        default: return pick(2) ? num() : name();
        }
    }
    std::string target(int d) {
        int k = pick(3);
        return k == 0 ? name() : k == 1 ? name() + "." + name() : name() + "[" + expr(d + 1) + "]";
    }
    std::string stat(int d) {
        int k = pick(13);
        if (k == 0) return "local " + name() + (pick(2) ? ", " + name() : "") + " = " + list(1 + pick(2), d);
        if (k == 1) return target(d) + (pick(2) ? ", " + target(d) : "") + " = " + list(1 + pick(2), d);
        if (k == 2) return name() + "(" + expr(d) + ")";
        if (d > 2) return name() + " = " + expr(d);
        switch (k) {
        case 3:
            return "if " + expr(d) + " then " + block(d + 1, false) + " elseif " + expr(d) + " then " + block(d + 1, false) +
                   " else " + block(d + 1, false) + " end";
        case 4: return "while " + expr(d) + " do " + block(d + 1, true) + " end";
        case 5: return "for i = " + expr(d) + ", " + expr(d) + (pick(2) ? ", " + expr(d) : "") + " do " + block(d + 1, true) + " end";
        case 6: return "for k, v in " + expr(d) + " do " + block(d + 1, true) + " end";
        case 7: return "repeat " + block(d + 1, true) + " until " + expr(d);
        case 8: return "do " + block(d + 1, false) + " end";
        case 9: return "local function " + name() + "(a, ...) " + block(d + 1, false) + " end";
        case 10: return "function " + name() + "." + name() + ":" + name() + "(a) " + block(d + 1, false) + " end";
        case 11: {
            std::string l = "l" + std::to_string(d);
            return "if " + expr(d) + " then goto " + l + " end local " + name() + " = 1 ::" + l + "::";
        }
        default: return name() + " = " + expr(d);
        }
    }
    std::string block(int d, bool loop) {
        std::string s;
        for (int i = 0, n = 1 + pick(6); i < n; i++) s += stat(d) + " ";
        if (loop && pick(3) == 0) s += "if " + expr(d) + " then break end ";
        if (pick(4) == 0) s += "return " + list(pick(3), d);
        return s;
    }
};

// Whether every number constant of a stock listing is a whole number the
// 16.16 dialect represents the same way (fractions, -0 and numbers past
// 32767 legitimately differ).
bool dialect_agrees(const std::string& stock_listing) {
    std::regex number_constant("\n\t[0-9]+\t(-?[0-9][^\n]*)");
    for (auto it = std::sregex_iterator(stock_listing.begin(), stock_listing.end(), number_constant);
         it != std::sregex_iterator(); ++it) {
        std::string v = (*it)[1];
        if (v == "-0" || v.find_first_not_of("-0123456789") != std::string::npos) return false;
        long n = std::atol(v.c_str());
        if (n < -32768 || n > 32767) return false;
    }
    return true;
}

TEST(LuaOracle, RandomProgramsCompileLikeStock) {
    if (!lua_oracle::have("luac5.2")) GTEST_SKIP() << "luac5.2 not installed";
    ProgramGenerator gen(20261206);
    std::string path = lua_oracle::scratch_path("random.lua");
    int compared = 0;
    for (int i = 0; i < 150; i++) {
        std::string src = gen.program();
        {
            std::ofstream f(path);
            f << src;
        }
        std::string stock = lua_oracle::stock_listing(path);
        if (!dialect_agrees(stock)) continue;
        std::string ours = lua_oracle::listing(src, "@" + path);
        std::regex line(":[0-9.]+: ");
        if (stock.find("luac5.2: ") == 0) {
            std::string want = std::regex_replace(stock.substr(9, stock.find('\n') - 9), line, ":N: ");
            EXPECT_EQ(want, std::regex_replace(ours, line, ":N: ")) << src;
        } else {
            EXPECT_EQ(stock, ours) << src;
        }
        compared++;
    }
    std::filesystem::remove(path);
    EXPECT_GT(compared, 100);
}

}  // namespace
