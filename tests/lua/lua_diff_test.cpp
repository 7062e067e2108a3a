// Differential tests: integer-only programs run by vexel-lua and by stock
// Lua 5.2 must print the same lines and execute the same number of
// instructions (the CPU budget charges one cycle per instruction).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>

#include "runtime/header.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDiffDir = fs::path(VEXEL_SOURCE_DIR) / "tests/lua/diff";
const fs::path kVexelLua = fs::path(VEXEL_BINARY_DIR) / "vexel-lua";

struct RunResult {
    std::string out;
    long long instructions = -1;
    int status = -1;
};

std::string slurp(const fs::path& p) { return vexel_test::read_file(p.string()); }

RunResult run(const std::string& command, const fs::path& errfile) {
    RunResult r;
    r.out = vexel_test::command_output(command + " 2>" + errfile.string(), &r.status);
    std::smatch m;
    std::string err = slurp(errfile);
    static const std::regex re("instructions: ([0-9]+)");
    if (std::regex_search(err, m, re)) r.instructions = std::stoll(m[1]);
    return r;
}

bool have_stock_lua() { return std::system("lua5.2 -v >/dev/null 2>&1") == 0; }

RunResult run_vexel(const fs::path& script, const fs::path& tmp) {
    return run(kVexelLua.string() + " --count " + script.string(), tmp / "vexel.err");
}

// Stock Lua runs the same header as vexel-lua (the one every cartridge
// program starts with; it is plain Lua 5.2), so the instruction counts
// compare the same code.
RunResult run_stock(const fs::path& script, const fs::path& tmp) {
    const fs::path header = tmp / "header.lua";
    if (!fs::exists(header)) std::ofstream(header) << vexel_program_header;
    return run("lua5.2 " + (kDiffDir / "stock_driver.lua").string() + " " + script.string() + " " + header.string(),
               tmp / "stock.err");
}

TEST(LuaDifferential, ProgramsPrintAndCountAsStockLua) {
    if (!have_stock_lua()) GTEST_SKIP() << "lua5.2 is not installed";
    ASSERT_TRUE(fs::exists(kVexelLua));
    fs::path tmp = vexel_test::temp_dir("lua_diff");
    // The stock driver runs a few instructions of its own around the
    // program; an empty program measures them.
    RunResult ve = run_vexel(kDiffDir / "programs/empty.lua", tmp);
    RunResult se = run_stock(kDiffDir / "programs/empty.lua", tmp);
    ASSERT_EQ(ve.status, 0);
    ASSERT_EQ(se.status, 0);
    long long overhead = se.instructions - ve.instructions;
    ASSERT_GE(overhead, 0);

    int programs = 0;
    for (const auto& entry : fs::directory_iterator(kDiffDir / "programs")) {
        if (entry.path().extension() != ".lua") continue;
        SCOPED_TRACE(entry.path().filename().string());
        RunResult v = run_vexel(entry.path(), tmp);
        RunResult s = run_stock(entry.path(), tmp);
        EXPECT_EQ(v.status, 0) << slurp(tmp / "vexel.err");
        EXPECT_EQ(s.status, 0) << slurp(tmp / "stock.err");
        EXPECT_EQ(v.out, s.out);
        EXPECT_EQ(v.instructions + overhead, s.instructions);
        programs++;
    }
    EXPECT_GE(programs, 5);
}

// Run-time error messages name the value as stock Lua does; stock adds a
// "chunk:line: " prefix that the console's messages leave out.
TEST(LuaDifferential, RuntimeErrorMessagesAsStockLua) {
    if (!have_stock_lua()) GTEST_SKIP() << "lua5.2 is not installed";
    const char* snippets[] = {
        "local t = nil; t.x = 1",
        "local t = {} ; t.a.b.c = 1",
        "x.y.z = 1",
        "local a = {} ; local b = a.c + 1",
        "local s = 'x' .. {}",
        "local u = {} ; local f = function() return u.v.w end ; f()",
        "local f ; f()",
        "local t = {} ; t:nomethod()",
        "local t = {} ; t.x.y()",
        "local n = -{}",
        "local n = #5",
        "local c = {} < 1",
        "local c = 'a' < 1",
        "local c = {} <= {}",
        "local t = setmetatable({}, {__index = function(t, k) return nil + k end}) ; local v = t.x",
        "local a = 1 ; local b = a()",
        "local up = 5 ; local function g() return up() end ; g()",
        "local t = {} ; t[nil] = 1",
        "for i = 1, 'x' do end",
        "for i = {}, 1 do end",
        "for i = 1, 2, {} do end",
        "local a = 'abc' + 1",
        "local t = {} ; t.f = 5 ; t.f()",
        "local x = 1 .. nil",
        "local t = {{}} ; t[1][2][3] = 4",
        "local a, b = 1 ; local c = a + b",
        "local t = setmetatable({}, {__newindex = 'oops'}) ; t.x = 1",
        "local t = setmetatable({}, {__call = 5}) ; t()",
        "local x = (1)()",
        "local t = setmetatable({}, {}) getmetatable(t).__index = t ; local v = t.x",
        "nope()",
        "local u ; local function f() return u.x end ; f()",
        "local n = 1 + {}",
        "local n = 5 ; local v = n.x",
        "local t, k = {}, nil ; t[k] = 1",
        "local t, k = nil, 1 ; local v = t[k]",
        "local s = 'abc' ; local v = s * 2",
        "local t = {} ; local v = t % 3",
        "local t = {} ; local b = t <= 1",
        "local n = 1 ; local v = n:m()",
        "local function f() return undefinedglobal.x end ; f()",
    };
    fs::path tmp = vexel_test::temp_dir("lua_diff_errors");
    fs::path script = tmp / "e.lua";
    static const std::regex prefix("^lua5\\.2: [^:]*:[0-9]+: ");
    for (const char* snippet : snippets) {
        SCOPED_TRACE(snippet);
        std::ofstream(script) << snippet << "\n";
        run(kVexelLua.string() + " " + script.string(), tmp / "v.err");
        run("lua5.2 " + script.string(), tmp / "s.err");
        std::string v = slurp(tmp / "v.err");
        std::string s = slurp(tmp / "s.err");
        s = std::regex_replace(s.substr(0, s.find('\n') + 1), prefix, "");
        EXPECT_EQ(v, s);
    }
}

}  // namespace
