// The functions on values a program gets besides drawing: tables (the
// header's count, add, deli and del, rnd of a table), text (split, chr, ord,
// tostr and tonum flags), the language's base functions made global,
// numbers and bits, the 16- and 32-bit memory forms, and the input
// registers (btnp repeats, typed text).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/fenn_platform.h"
#include "lua/lua.h"
#include "lua/lua_aux.h"
#include "machine/button.h"
#include "machine/cpu.h"
#include "machine/machine.h"
#include "machine/mem.h"
#include "runtime/api.h"
#include "runtime/header.h"
#include "test_support.h"

namespace {

class ApiValues : public ::testing::Test {
protected:
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    lua_State* L = M->L;

    void SetUp() override {
        run(vexel_program_header);
        // j(...) joins its values with commas as tostr writes them, so one
        // string shows how many values came back and what they were.
        run("function j(...) local o='' for i=1,select('#',...) do "
            "o=o..(i>1 and ',' or '')..tostr((select(i,...))) end return o end "
            "function jt(t) return j(unpack(t)) end");
    }
    void run(const char* code) {
        if (luaL_loadstring(L, code) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
            ADD_FAILURE() << code << ": " << lua_tostring(L, -1);
            lua_pop(L, 1);
        }
    }
    int peek_byte(int32_t a) { return vexel_peek(M, M->cart, a); }
    // The text of `return <expr>`'s first value, or "error: ..." when it fails.
    std::string eval(const std::string& expr) {
        const std::string code = "return tostr(" + expr + ")";
        if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, 1, 0) != LUA_OK) {
            std::string e = std::string("error: ") + lua_tostring(L, -1);
            lua_pop(L, 1);
            return e;
        }
        std::string s = lua_tostring(L, -1);
        lua_pop(L, 1);
        return s;
    }
};

TEST_F(ApiValues, HeaderTableFunctions) {
    // count: non-nil entries, or those equal to a value; nil counts 0.
    EXPECT_EQ(eval("count({1,2,nil,4})"), "3");
    EXPECT_EQ(eval("count({1,2,2,3,2},2)"), "3");
    EXPECT_EQ(eval("count(nil)"), "0");
    EXPECT_EQ(eval("count({})"), "0");
    // add appends or inserts, clamping the index to 1..#t+1, and returns v.
    EXPECT_EQ(eval("j(add({1,2,3},9))"), "9");
    run("t={1,2,3} add(t,9,2) add(t,8,0) add(t,7,100) add(t,6,2.7)");
    EXPECT_EQ(eval("jt(t)"), "8,6,1,9,2,3,7");
    EXPECT_EQ(eval("j(add(nil,1))"), "");
    // deli removes and returns t[i] (the last by default); out of range: nothing.
    run("t={1,2,3,4}");
    EXPECT_EQ(eval("j(deli(t,2))"), "2");
    EXPECT_EQ(eval("j(deli(t))"), "4");
    EXPECT_EQ(eval("j(deli(t,5))"), "");
    EXPECT_EQ(eval("j(deli(t,0))"), "");
    EXPECT_EQ(eval("jt(t)"), "1,3");
    EXPECT_EQ(eval("j(deli({}))"), "");
    // del returns what it removed, only the first equal value.
    run("t={1,2,3,2}");
    EXPECT_EQ(eval("j(del(t,2))"), "2");
    EXPECT_EQ(eval("jt(t)"), "1,3,2");
    EXPECT_EQ(eval("j(del(t,9))"), "");
    // A program's own definition wins, as any global assignment does.
    run("function add(t,v) t[#t+1]=v..'!' end t={} add(t,'a')");
    EXPECT_EQ(eval("t[1]"), "a!");
}

TEST_F(ApiValues, RndOfATablePicksAnElement) {
    run("seen={} for i=1,200 do local v=rnd({'a','b','c'}) seen[v]=(seen[v] or 0)+1 end");
    EXPECT_EQ(eval("count({seen.a,seen.b,seen.c})"), "3");
    EXPECT_EQ(eval("j(rnd({}))"), "[nil]");
    EXPECT_EQ(eval("rnd({5})"), "5");
    // The same generator: one seed, one sequence whichever form is asked.
    run("srand(7) a=rnd(4) srand(7) b=rnd({1,2,3,4})");
    EXPECT_EQ(eval("flr(a)+1==b"), "true");
}

TEST_F(ApiValues, SplitFields) {
    EXPECT_EQ(eval("jt(split('1,b,,3.5'))"), "1,b,,3.5");
    EXPECT_EQ(eval("j(type(split('1,b')[1]),type(split('1,b')[2]))"), "number,string");
    EXPECT_EQ(eval("type(split('1,2',',',false)[1])"), "string");
    EXPECT_EQ(eval("type(split('',',')[1])"), "string");  // one empty field
    EXPECT_EQ(eval("#split('a,b,')"), "3");
    EXPECT_EQ(eval("jt(split('a--b--c','--'))"), "a,b,c");
    EXPECT_EQ(eval("jt(split('x y',' '))"), "x,y");
    EXPECT_EQ(eval("jt(split('abc',''))"), "a,b,c");
    EXPECT_EQ(eval("jt(split('abcde',2))"), "ab,cd,e");
    EXPECT_EQ(eval("jt(split('1234',2))"), "12,34");
    EXPECT_EQ(eval("type(split('1234',2)[1])"), "number");
    EXPECT_EQ(eval("#split('abc',0)"), "3");  // groups of at least one
    EXPECT_EQ(eval("jt(split('0x10,-2'))"), "16,-2");
    EXPECT_EQ(eval("split()").rfind("error:", 0), 0u);
}

TEST_F(ApiValues, BytesAndCharacters) {
    EXPECT_EQ(eval("chr(104,105,33)"), "hi!");
    EXPECT_EQ(eval("chr(256+65,-191,66.9)"), "AAB");  // flr(v) & 255
    EXPECT_EQ(eval("#chr()"), "0");
    EXPECT_EQ(eval("#chr(0,0)"), "2");
    EXPECT_EQ(eval("j(ord('abc'))"), "97");
    EXPECT_EQ(eval("j(ord('abc',2,5))"), "98,99");
    EXPECT_EQ(eval("j(ord('abc',4))"), "");
    EXPECT_EQ(eval("j(ord('abc',0))"), "");
    EXPECT_EQ(eval("j(ord(''))"), "");
    EXPECT_EQ(eval("j(ord({}))"), "");
    EXPECT_EQ(eval("ord(chr(200))"), "200");
}

TEST_F(ApiValues, TostrAndTonumFlags) {
    EXPECT_EQ(eval("tostr(1.5,true)"), "0x0001.8000");
    EXPECT_EQ(eval("tostr(1.5,1)"), "0x0001.8000");
    EXPECT_EQ(eval("tostr(1,2)"), "65536");
    EXPECT_EQ(eval("tostr(-1,2)"), "-65536");
    EXPECT_EQ(eval("tostr(1,3)"), "0x00010000");
    EXPECT_EQ(eval("tostr('x',3)"), "x");
    EXPECT_EQ(eval("tostr(1.5)"), "1.5");
    EXPECT_EQ(eval("tonum('ff',1)"), "255");
    EXPECT_EQ(eval("tonum('-ff.8',1)"), "-255.5");
    EXPECT_EQ(eval("tonum('0x10',1)"), "16");
    EXPECT_EQ(eval("tonum('65536',2)"), "1");
    EXPECT_EQ(eval("tonum('-32768',2)"), "-0.5");
    EXPECT_EQ(eval("tonum('18000',3)"), "1.5");  // hex digits of the raw value
    EXPECT_EQ(eval("tonum('4294967296',2)"), "0");  // wraps like the bits
    EXPECT_EQ(eval("j(tonum('1.5',2))"), "");  // a whole number only
    EXPECT_EQ(eval("j(tonum('x'))"), "");
    EXPECT_EQ(eval("tonum('x',4)"), "0");
    EXPECT_EQ(eval("tonum({},4)"), "0");
    EXPECT_EQ(eval("tonum(' 12 ')"), "12");
}

TEST_F(ApiValues, BaseFunctionsAsGlobals) {
    EXPECT_EQ(eval("select('#',1,nil,3)"), "3");
    EXPECT_EQ(eval("j(select(2,'a','b','c'))"), "b,c");
    EXPECT_EQ(eval("j(select(-1,'a','b','c'))"), "c");
    EXPECT_EQ(eval("select(0,1)").rfind("error:", 0), 0u);
    run("o='' for i,v in ipairs({4,5,nil,7}) do o=o..i..'='..v..' ' end");
    EXPECT_EQ(eval("o"), "1=4 2=5 ");
    EXPECT_EQ(eval("j(inext({7,8},1))"), "2,8");
    EXPECT_EQ(eval("j(inext({7},1))"), "");  // the loop's end: no values
    EXPECT_EQ(eval("j(unpack({1,2,3}))"), "1,2,3");
    EXPECT_EQ(eval("j(unpack({1,2,3},2))"), "2,3");
    EXPECT_EQ(eval("j(unpack({1,2,3},2,4))"), "2,3,[nil]");
    EXPECT_EQ(eval("j(unpack({},1,0))"), "");
    EXPECT_EQ(eval("unpack({},1,30000)").rfind("error:", 0), 0u);  // not a crash
    EXPECT_EQ(eval("j(pack(1,nil,3).n,pack().n)"), "3,0");
    EXPECT_EQ(eval("j(next({}))"), "[nil]");
    EXPECT_EQ(eval("j(next({5}))"), "1,5");
    run("mt={__index=function() return 'meta' end,__len=function() return 9 end,__eq=function() return true end}"
        " a=setmetatable({},mt) b=setmetatable({},mt)");
    EXPECT_EQ(eval("j(a.x,rawget(a,'x'))"), "meta,[nil]");
    EXPECT_EQ(eval("j(rawlen(a),#a)"), "0,9");
    EXPECT_EQ(eval("j(a==b,rawequal(a,b),rawequal(a,a))"), "true,false,true");
    run("rawset(a,'x',1)");
    EXPECT_EQ(eval("a.x"), "1");
    EXPECT_EQ(eval("rawlen('abc')"), "3");
    EXPECT_EQ(eval("rawget(1,2)").rfind("error:", 0), 0u);
}

TEST_F(ApiValues, CeilAndBitFunctions) {
    EXPECT_EQ(eval("j(ceil(1.5),ceil(-1.5),ceil(2),ceil(0.0001),ceil(-0.0001),ceil())"), "2,-1,2,1,0,0");
    EXPECT_EQ(eval("ceil(-32768)"), "-32768");
    // Missing, string and other arguments read as lua_tonumber reads them.
    EXPECT_EQ(eval("j(flr('2.5'),flr(),flr({}),min(3),max('4',2),mid(1,'5',3),atan2(),band(3),band('7',3))"),
              "2,0,0,0,4,3,0.25,0,3");
    EXPECT_EQ(eval("tostr(lshr(-1,28),true)"), "0x0000.000f");
    EXPECT_EQ(eval("tostr(lshr(0x8000,1),true)"), "0x4000.0000");
    EXPECT_EQ(eval("j(rotl(1,1),rotr(1,1),rotl(1,32),rotr(1,-1))"), "2,0.5,1,2");
    EXPECT_EQ(eval("tostr(rotr(1,16),true)"), "0x0000.0001");
    // They agree with the operators.
    EXPECT_EQ(eval("j(lshr(-8,1)==-8>>>1, rotl(3,5)==3<<>5, rotr(3,5)==3>><5)"), "true,true,true");
}

// The math and drawing functions of numbers only are called by the
// instruction loop without a call frame; reached any other way (a tail
// call, a metamethod) they run as ordinary C functions. Both give the same
// results and leave the machine in the same state, for every kind of
// argument.
TEST_F(ApiValues, NumberFunctionsAnswerAlikeHoweverCalled) {
    size_t count = 0;
    const api_function* table = api_functions(&count);
    const char* const arg_lists[] = {"",       "1.5",          "-2.25,'3'",   "{},2",
                                     "nil,3.5", "0x7fff.ffff,-32768,-1,2.5", "1,2,3,4,5", "'x',true,9",
                                     "10,20,30,'40',50", "1,2,3,{}"};
    vexel_test::TestMachine other;
    int number_functions = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!table[i].numbers) continue;
        number_functions++;
        const std::string f = table[i].name;
        for (const char* args : arg_lists) {
            SCOPED_TRACE(f + "(" + args + ")");
            const std::string call = f + "(" + args + ")";
            // All results, one, two, and through a tail call and __index.
            const std::string direct = eval("j(" + call + ")");
            run(("r1 = " + call + " r2, r3 = " + call).c_str());
            const std::string one = eval("j(r1)"), two = eval("j(r2, r3)");
            const std::string tail = eval("j((function(...) return " + f + "(...) end)(" + args + "))");
            EXPECT_EQ(tail, direct);
            EXPECT_EQ(one, direct.empty() ? "[nil]" : direct);
            EXPECT_EQ(two, (direct.empty() ? "[nil]" : direct) + ",[nil]");
            // The same effects: the call as a statement here, through a
            // tail call in the other machine.
            run(call.c_str());
            const std::string tail_call = "(function(...) return " + f + "(...) end)(" + args + ")";
            ASSERT_EQ(luaL_dostring(other.m->L, tail_call.c_str()), LUA_OK) << lua_tostring(other.m->L, -1);
            EXPECT_EQ(0, std::memcmp(M->ram, other.m->ram, sizeof M->ram));
        }
    }
    EXPECT_GE(number_functions, 30);
    // Arguments as a metamethod gets them: the table reads as 0.
    run("mt = setmetatable({}, {__index = max, __add = flr})");
    EXPECT_EQ(eval("j(mt[5], mt + 1, mt['2.5'])"), "5,0,2.5");
}

TEST_F(ApiValues, MemoryRunsAndWideForms) {
    run("poke(0x4300,1,2,3,4)");
    EXPECT_EQ(eval("j(peek(0x4300,4))"), "1,2,3,4");
    EXPECT_EQ(eval("j(peek(0x4300,0))"), "");
    EXPECT_EQ(eval("j(peek(0x7ffe,3))"), "0,0,0");  // beyond the end reads 0
    EXPECT_EQ(eval("select('#',peek(0,30000))"), "8192");
    run("poke2(0x4300,-2)");
    EXPECT_EQ(eval("j(peek2(0x4300),peek(0x4300),peek(0x4301))"), "-2,254,255");
    run("poke2(0x4300,0x12345.8)");  // the low 16 bits of the whole part
    EXPECT_EQ(eval("tostr(peek2(0x4300),true)"), "0x2345.0000");
    run("poke4(0x4300,-1.5)");
    EXPECT_EQ(eval("j(peek4(0x4300),$0x4300,%0x4302,@0x4303)"), "-1.5,-1.5,-2,255");
    EXPECT_EQ(eval("j(peek(0x4300,4))"), "0,128,254,255");
    // Registers see every byte: a 16-bit write to the camera moves it.
    run("poke2(0x5f28,-5)");
    EXPECT_EQ(M->camera_x, -5);
    // Writes beyond memory stop the program as a single poke does: the
    // fault is raised as an error of the calling line once the bytes that
    // fit are written.
    const std::string fault = eval("poke(0x7fff,1,2)");
    EXPECT_EQ(fault.rfind("error: ", 0), 0u) << fault;
    EXPECT_NE(fault.find("bad memory access"), std::string::npos) << fault;
    EXPECT_FALSE(M->error_pending);
    EXPECT_EQ(peek_byte(0x7fff), 1);
}

TEST_F(ApiValues, MemoryChargesFollowTheirSingleByteForms) {
    auto cost = [&](const char* code) {
        const int32_t before = M->cpu.api_cycles_since_flip;
        run(code);
        return M->cpu.api_cycles_since_flip - before;
    };
    // One byte, or 16/32 bits, are refunded like peek and poke; runs are
    // charged like a copy (peek) or a fill (poke) of that many bytes.
    EXPECT_EQ(cost("peek2(0)"), cost("peek(0)"));
    EXPECT_EQ(cost("poke4(0x4300,1)"), cost("poke(0x4300,1)"));
    EXPECT_EQ(cost("peek(0,100)"), 101);
    EXPECT_EQ(cost("poke(0x4300,1,2,3,4,5,6)"), 3);
}

TEST_F(ApiValues, ButtonRepeatRegisters) {
    M->target_fps = 30;
    vexel_buttons_reset(M);
    // Frames on which btnp(4) answers true while O is held for 30 frames.
    auto presses = [&]() {
        std::vector<uint16_t> frames(30, 16);
        vexel_set_button_replay(M, frames);
        vexel_buttons_reset(M);
        std::string seen;
        for (int f = 0; f < 30; ++f) {
            vexel_buttons_update(M);
            vexel_buttons_read(M);
            if (vexel_btnp(M, 4, 0)) seen += std::to_string(f) + " ";
        }
        vexel_clear_button_replay(M);
        return seen;
    };
    // Sample f is answered at update f+1; the default is 15 frames, then every 4.
    EXPECT_EQ(presses(), "1 16 20 24 28 ");
    M->ram[vexel_reg_btnp_delay] = 5;
    M->ram[vexel_reg_btnp_interval] = 10;
    EXPECT_EQ(presses(), "1 6 16 26 ");
    M->ram[vexel_reg_btnp_interval] = 0;
    EXPECT_EQ(presses(), "1 6 10 14 18 22 26 ");
    M->ram[vexel_reg_btnp_delay] = vexel_btnp_no_repeat;
    EXPECT_EQ(presses(), "1 ");
}

TEST_F(ApiValues, TypedTextWhileTheProgramAsks) {
    fenn_flush_keys();
    M->running = 1;
    fenn_push_key('h');
    fenn_push_key(13);
    // Keyboard input off: the keys stay for the console.
    vexel_buttons_read(M);
    EXPECT_EQ(eval("j(stat(30),stat(31))"), "false,");
    EXPECT_EQ(fenn_keypressed() != 0, true);
    run("poke(0x5f2d,1)");
    vexel_buttons_read(M);
    EXPECT_EQ(eval("j(stat(30),stat(31))"), "true,h");
    EXPECT_EQ(eval("stat(31)=='\\r'"), "true");
    EXPECT_EQ(eval("j(stat(30),#stat(31))"), "false,0");
    // Escape is the pause menu's; Backspace arrives as "\b"; a full queue
    // drops what does not fit.
    fenn_push_key(27);
    fenn_push_key(8);
    vexel_buttons_read(M);
    EXPECT_EQ(eval("stat(31)=='\\b'"), "true");
    EXPECT_EQ(eval("stat(30)"), "false");
    for (int i = 0; i < vexel_typed_queue + 5; ++i) {
        fenn_push_key('a' + i % 26);
        if (i % 16 == 15) vexel_buttons_read(M);
    }
    vexel_buttons_read(M);
    run("n=0 while stat(30) do stat(31) n=n+1 end");
    EXPECT_EQ(eval("n"), std::to_string(vexel_typed_queue));
    M->running = 0;
    fenn_flush_keys();
}

}  // namespace
