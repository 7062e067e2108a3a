// The preprocessor and the token counter with the language additions of
// cartridge format 15: the compound forms of the new operators, where the
// right-hand side of a compound assignment ends, "?" after a one-line if,
// numerals that end at letters, and one token for each new operator. The
// programs then run on a whole machine as the console runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "runtime/frame.h"
#include "runtime/pre.h"
#include "runtime/run.h"
#include "runtime/token.h"
#include "pre_model.h"
#include "test_support.h"

namespace {

std::string pre(const std::string& s) {
    std::vector<char> out(1 << 16);
    vexel_pre_report r{};
    EXPECT_EQ(vexel_preprocess(s.data(), s.size(), out.data(), out.size(), &r), vexel_pre_ok) << r.message;
    return std::string(out.data(), r.length);
}

int count(const std::string& s) { return token_count(s.data(), s.size()); }

std::vector<std::string> lexemes(const std::string& s) {
    std::vector<std::string> v;
    const char* p = s.data();
    const char* end = p + s.size();
    for (;;) {
        const vexel_lexeme lx = vexel_lex(p, end);
        if (lx.tok == tok_eof) break;
        v.emplace_back(lx.start, lx.end);
        p = lx.end;
    }
    return v;
}

// Runs a program as the console runs a cartridge and returns what it printed.
std::string run(const std::string& program) {
    vexel_test::TestMachine tm;
    if (run_program(tm.m, program.c_str()) != 1) return "compile: " + tm.output;
    for (int f = 0; f < 100 && tm.m->running; ++f) {
        vexel_machine_frame(tm.m, vexel_frame_input{});
    }
    return tm.output;
}

// A naive model of the rewriting passes with every compound operator: a full
// rescan and relex after each change (as pre_test.cpp's, on lines full of
// the new operators).

using pre_model::compound_pass;
using pre_model::has_comment_or_eol;
using pre_model::string_mask;

std::string model_line(std::string s) {
    for (bool changed = true; changed;) {
        changed = false;
        const std::vector<uint8_t> m = string_mask(s);
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (s[i] == '!' && s[i + 1] == '=' && !m[i] && !m[i + 1]) {
                s[i] = '~';
                changed = true;
                break;
            }
        changed = compound_pass(s) || changed;
    }
    return pre_model::space_lone_digits(s);
}


}  // namespace

TEST(PreprocessSyntax, AgreesWithTheStraightforwardPassesOnTheNewOperators) {
    static const std::vector<std::string> pieces = {
        "a", "b", "t[i]", "a.b", "x[y[1]]", "1", "0x1f", "2e", "0b1.1", "\"s<<=1\"", "'['", "\"\\\"\"",
        "[[a]]", "\\", "&", "|", "^^", "<<", ">>", ">>>", "<<>", ">><", "~", "@", "$", "%", "^", "..", "...",
        "<", ">", ".", "=", "==", "<=", ">=", "~=", "!=", "+=", "-=", "\\=", "..=", "^=", "^^=", "|=", "&=", "<<=",
        ">>=", ">>>=", "<<>=", ">><=", "(", ")", "[", "]", "+", "*", "-", ":", "#", "f(x)", "end", "\""};
    std::mt19937 rng(15);
    int compared = 0;
    for (int i = 0; i < 6000; ++i) {
        std::string line;
        const int n = 1 + int(rng() % 20);
        for (int k = 0; k < n; ++k) line += pieces[rng() % pieces.size()] + std::string(rng() % 3, ' ');
        line += "z";
        if (has_comment_or_eol(line)) continue;
        const std::string got = pre(line);
        if (got.find(" then ") != std::string::npos) continue;
        ASSERT_EQ(got, model_line(line)) << line;
        ++compared;
    }
    EXPECT_GT(compared, 3000);
}

TEST(PreprocessSyntax, CompoundFormsOfTheNewOperators) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a \\= 2", "a = a \\ ( 2) "},
        {"s ..= \"x\"", "s = s .. ( \"x\") "},
        {"a ^= 2", "a = a ^ ( 2) "},
        {"a ^^= b", "a = a ^^ ( b) "},
        {"a |= b", "a = a | ( b) "},
        {"a &= b", "a = a & ( b) "},
        {"a <<= 1", "a = a << ( 1) "},
        {"a >>= 1", "a = a >> ( 1) "},
        {"a >>>= 1", "a = a >>> ( 1) "},
        {"a <<>= 1", "a = a <<> ( 1) "},
        {"a >><= 1", "a = a >>< ( 1) "},
        {"t[i].x|=1 y&=2", "t[i].x = t[i].x | (1)  y = y & (2) "},
        {"a+=1 b<<=c d..=e", "a = a + (1)  b = b << (c)  d = d .. (e) "},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(pre(in), want) << in;
}

TEST(PreprocessSyntax, ComparisonsAndLongerOperatorsAreNotCompoundForms) {
    const std::vector<std::string> unchanged = {
        "if a <= b then end", "if a >= b then end", "if a == b then end", "if a ~= b then end",
        "x = a << b", "x = a >> b >>> c", "x = a <<> b >>< c", "x = a ^^ b ^ c", "x = a .. b",
        "f(...)", "if ... == 1 then end", "s = \"a <<= b ..= c \\= d\"", "x = 1 \\ 2 & 3 | 4",
    };
    for (const auto& in : unchanged) EXPECT_EQ(pre(in), in) << in;
    // the longest operator is the one rewritten
    EXPECT_EQ(pre("a >>>= 1"), "a = a >>> ( 1) ");
    EXPECT_EQ(pre("a ^^= 1"), "a = a ^^ ( 1) ");
    // ...= is no ..= and <<<= no <<=: left for the compiler to refuse
    EXPECT_EQ(pre("a ...= 1"), "a ...= 1");
    EXPECT_EQ(pre("a <<<= 1"), "a <<<= 1");
}

TEST(PreprocessSyntax, RightHandSideGoesOnOverTheNewOperators) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a += b & c d()", "a = a + ( b & c)  d()"},
        {"a -= b \\ c d()", "a = a - ( b \\ c)  d()"},
        {"a *= b | c ^^ d << e >> f >>> g <<> h >>< i j()",
         "a = a * ( b | c ^^ d << e >> f >>> g <<> h >>< i)  j()"},
        {"a += ~b c()", "a = a + ( ~b)  c()"},
        {"a += @b + %c + $d e()", "a = a + ( @b + %c + $d)  e()"},
        {"a |= @0x5f00 & 3 ?a", "a = a | ( @0x5f00 & 3)  ?a"},
        // as before: .. and comparisons end it
        {"a += b .. c", "a = a + ( b)  .. c"},
        {"a += b == c", "a = a + ( b)  == c"},
        // numerals end at letters, so does the right-hand side
        {"d*=2e*=2", "d = d * (2) e = e * (2) "},
        {"x+=1y=2", "x = x + (1) y=2"},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(pre(in), want) << in;
}

TEST(PreprocessSyntax, OneLineIfTakesAnyStatement) {
    EXPECT_EQ(pre("if (c==3) z+=1 ?\"hi\""), "if (c==3) then  z = z + (1)  ?\"hi\" end ");
    EXPECT_EQ(pre("if (c) ?\"x\""), "if (c) then  ?\"x\" end ");
    EXPECT_EQ(pre("if(c)?c"), "if(c) then ?c end ");
    EXPECT_EQ(pre("if (c) x <<= 1"), "if (c) then  x = x << ( 1)  end ");
    EXPECT_EQ(pre("if (c != 0) return"), "if (c ~= 0) then  return end ");
    EXPECT_EQ(pre("if (c) ; x()"), "if (c) then  ; x() end ");
    EXPECT_EQ(pre("if (c) ::again:: x()"), "if (c) then  ::again:: x() end ");
    // the condition goes on: no one-line if
    EXPECT_EQ(pre("if (a) | b then x() end"), "if (a) | b then x() end");
    EXPECT_EQ(pre("if (a) & b"), "if (a) & b");
    EXPECT_EQ(pre("if (\"?\") 5"), "if (\"?\") 5");
}

TEST(PreprocessSyntax, QuestionMarkLinesStay) {
    EXPECT_EQ(pre("?a << 1"), "print(a << 1)");
    EXPECT_EQ(pre("x = 1 ?x"), "x = 1 ?x");
    EXPECT_EQ(pre("s = \"?\" ?s"), "s = \"?\" ?s");
}

TEST(TokenSyntax, EachNewOperatorIsOneToken) {
    EXPECT_EQ(count("a \\ b"), 3);
    EXPECT_EQ(count("a & b | c ^^ d"), 7);
    EXPECT_EQ(count("a << b >> c >>> d <<> e >>< f"), 11);
    EXPECT_EQ(count("~a"), 2);
    EXPECT_EQ(count("@a %b $c"), 6);
    EXPECT_EQ(count("a \\= b"), 3);
    EXPECT_EQ(count("a ..= b a ^= b a ^^= b a |= b a &= b"), 15);
    EXPECT_EQ(count("a <<= b a >>= b a >>>= b a <<>= b a >><= b"), 15);
    EXPECT_EQ(count("?a"), 2);
    // as before
    EXPECT_EQ(count("a <= b a >= b a ~= b a <> b a .. b"), 15);
    EXPECT_EQ(count("f(...)"), 3);
}

TEST(TokenSyntax, LexesTheNewOperatorsAndNumerals) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"a<<>b>><c", {"a", "<<>", "b", ">><", "c"}},
        {"a>>>=b<<=c", {"a", ">>>=", "b", "<<=", "c"}},
        {"a^^b^^=c^=d^e", {"a", "^^", "b", "^^=", "c", "^=", "d", "^", "e"}},
        {"a..=b...c", {"a", "..=", "b", "..", ".", "c"}},
        {"for i=0,7do", {"for", "i", "=", "0", ",", "7", "do"}},
        {"x=2and 1", {"x", "=", "2", "and", "1"}},
        {"0x1fthen", {"0x1f", "then"}},
        {"d*=2e*=2", {"d", "*=", "2", "e", "*=", "2"}},
        {"1e+x 1e-5 1e5e", {"1", "e", "+", "x", "1e-5", "1e5", "e"}},
        {"0b1011.1or", {"0b1011.1", "or"}},
        {"0b12 1..2", {"0b12", "1..2"}},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(lexemes(text), want) << text;
    EXPECT_EQ(count("for i=0,7do end"), 6);
}

TEST(ProgramSyntax, EachFeatureRunsAsTheConsoleRunsIt) {
    const std::string program =
        "print = printh\n"
        "a = 7 \\ 2 printh(a)\n"
        "b = 0x0f & 0x3c | 0x100 ^^ 0x1 printh(b)\n"
        "printh(tostr(~0x0.00ff, true))\n"
        "printh(1 << 4 >> 1) printh(tostr(-1 >>> 31, true)) printh(tostr(1 <<> 16, true) .. \" \" .. tostr(1 >>< 16, true))\n"
        "x = 5 x \\= 2 x <<= 2 x |= 1 x &= 0xd x ^^= 3 printh(x)\n"
        "s = \"a\" s ..= \"b\" ..\"c\" printh(s)\n"
        "p = 2 p ^= 3 printh(p)\n"
        "poke(0x4300, 42) printh(@0x4300) printh(@0x4300 + 1)\n"
        "for i=0,2do printh(i) end\n"
        "y=2and 3 printh(y)\n"
        "printh(0b1011.1)\n"
        "d=3 e=4 d*=2e*=2 printh(d..\" \"..e)\n"
        "c = 3 z = 0 if (c==3) z+=1 ?\"hi\"\n"
        "printh(z)\n"
        "if (c != 3) ?\"no\"\n"
        "printh(#\"\\*\\#\\-\\|\\+\\^\\0\")\n"
        "?\"\\^\" == \"\\6\"\n";
    EXPECT_EQ(run(program),
              "3\n"
              "269\n"  // (0x0f & 0x3c) | (0x100 ^^ 1) = 12 | 257
              "0xffff.ff00\n"
              "8\n0x0000.0001\n0x0000.0001 0x0000.0001\n"
              "10\n"  // 5 \\ 2 = 2, << 2 = 8, | 1 = 9, & 13 = 9, ^^ 3 = 10
              "abc\n"
              "8\n"
              "42\n43\n"
              "0\n1\n2\n"
              "3\n"
              "11.5\n"
              "6 8\n"
              "hi\n1\n"
              "7\n"
              "true\n");
}

TEST(PreprocessSyntax, StringsOfAnyByteAreKept) {
    // glyph bytes, new operators and compound forms inside strings stay
    std::string quoted, all;
    for (int b = 1; b < 256; ++b) {
        all += char(b);
        if (b != '\n' && b != '\r' && b != '"' && b != '\\') quoted += char(b);
    }
    EXPECT_EQ(pre("s = \"" + quoted + "\" x += 1"), "s = \"" + quoted + "\" x = x + ( 1) ");
    EXPECT_EQ(pre("s = [==[" + all + "]==] x <<= 1"), "s = [==[" + all + "]==] x = x << ( 1) ");
    EXPECT_EQ(pre("s = '<<= ..= \\\\= ?x if (a) b' -- c ..= d"), "s = '<<= ..= \\\\= ?x if (a) b'");
}
