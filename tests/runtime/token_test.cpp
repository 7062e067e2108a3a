#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/token.h"

namespace {

int count(const std::string& s) { return token_count(s.data(), s.size()); }

// The first token of s: its code and its text.
std::pair<int, std::string> first(const std::string& s) {
    const vexel_lexeme lx = vexel_lex(s.data(), s.data() + s.size());
    return {lx.tok, std::string(lx.start, lx.end)};
}

}  // namespace

TEST(TokenCount, FreeTokensCostNothing) {
    EXPECT_EQ(count("local a = {1, 2}"), 5);
    EXPECT_EQ(count("x.y:z()"), 4);
    EXPECT_EQ(count("a != b"), 3);
    EXPECT_EQ(count("a ~= b"), 3);
    EXPECT_EQ(count("a <> b"), 3);
    EXPECT_EQ(count("x += 1"), 3);
    EXPECT_EQ(count("function f() end;"), 3);
    EXPECT_EQ(count("t[1], u[2]"), 6);
    EXPECT_EQ(count(""), 0);
    EXPECT_EQ(count("\n\n   \t\r\n"), 0);
    EXPECT_EQ(count("-- just a comment\n// and another"), 0);
    EXPECT_EQ(count("--[[ a block\ncomment over\nthree lines ]]"), 0);
    EXPECT_EQ(count("s = \"" + std::string(5000, 'x') + "\""), 3);
    EXPECT_EQ(count("s = [==[ long ]] still ]==]"), 3);
    EXPECT_EQ(count("-1"), 2);
    // A numeral is one token whatever its form.
    EXPECT_EQ(count("x = 0xFF + 1e-3 + 0b101 + 3.25"), 9);
}

TEST(TokenCount, LexesEachKindOfToken) {
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"\x8b\x91z+", tok_ident, "\x8b\x91z"},
        {"ending", tok_ident, "ending"},
        {"elseif", tok_elseif, "elseif"},
        {"nil", tok_literal, "nil"},
        {"menuitem", tok_api, "menuitem"},
        {"12.5x", tok_number, "12.5"},
        {"0x1F.8+1", tok_number, "0x1F.8"},
        {"1e+5-2", tok_number, "1e+5"},
        {"0x1p-4 ", tok_number, "0x1p-4"},
        {"0b1010.1;", tok_number, "0b1010.1"},
        {"!=", tok_ne, "!="},
        {"<>", tok_ne, "<>"},
        {"/= 2", tok_compound, "/="},
        {"...", tok_concat, ".."},
        {"-1", '-', "-"},
        {"[=x", '[', "["},
        {std::string("\0x", 2), 0, std::string("\0", 1)},
        {"// note\nx", tok_eol, "// note"},
        {"-- note\r\nx", tok_comment, "-- note"},
        {" \t\r\b", tok_eof, ""},
    };
    for (const auto& [text, tok, lexeme] : cases) {
        const auto [t, s] = first(text);
        EXPECT_EQ(t, tok) << text;
        EXPECT_EQ(s, lexeme) << text;
    }
}

TEST(TokenCount, StringsAndCommentsEndWhereTheCompilerEndsThem) {
    const std::vector<std::pair<std::string, std::string>> strings = {
        {R"("a\"b" x)", R"("a\"b")"},
        {R"("a\\" x)", R"("a\\")"},
        {R"('it''s')", R"('it')"},
        {"\"open\nx\"", "\"open"},
        {"\"joined\\\nline\" x", "\"joined\\\nline\""},
        {"\"skip\\z  \n  on\" x", "\"skip\\z  \n  on\""},
        {"\"ends at the end\\", "\"ends at the end\\"},
        {"[[ a [[ b ]] c ]]", "[[ a [[ b ]]"},
        {"[==[ ]] ]=] ]==] x", "[==[ ]] ]=] ]==]"},
        {"[=[ never closed ]]", "[=[ never closed ]]"},
    };
    for (const auto& [text, lexeme] : strings) {
        const auto [t, s] = first(text);
        EXPECT_EQ(t, tok_string) << text;
        EXPECT_EQ(s, lexeme) << text;
    }
    const std::vector<std::pair<std::string, std::string>> comments = {
        {"--[[ a\nb ]] x", "--[[ a\nb ]]"},
        {"--[==[ ]] \n ]==] x", "--[==[ ]] \n ]==]"},
        {"--[ not a block\nx", "--[ not a block"},
        {"---[[ line only\nx", "---[[ line only"},
        {"--[[ runs to the end", "--[[ runs to the end"},
    };
    for (const auto& [text, lexeme] : comments) {
        const auto [t, s] = first(text);
        EXPECT_EQ(t, tok_comment) << text;
        EXPECT_EQ(s, lexeme) << text;
    }
}

TEST(TokenCount, TokenizerRecordFollowsTheWalk) {
    const std::string text = "a = 1\n--[[x\ny]] b // c\n\"s\"";
    std::vector<int> toks;
    vexel_tokenizer t{};
    const char* p = token_first(t, text.data(), text.size());
    while (t.tok != tok_eof) {
        toks.push_back(t.tok);
        ASSERT_GE(p, text.data());
        ASSERT_LE(p, text.data() + text.size());
        p = token_next(t, p);
    }
    EXPECT_EQ(toks, (std::vector<int>{tok_ident, '=', tok_number, tok_eol, tok_comment, tok_ident, tok_eol,
                                      tok_eol, tok_string}));
    // Newline tokens only: the newline inside the block comment is not one.
    EXPECT_EQ(t.line, 2);
    EXPECT_EQ(std::string(t.token_start, t.token_end), "");

    // A position outside the text reads as its end.
    token_first(t, text.data(), 3);
    token_next(t, text.data() + 10);
    EXPECT_EQ(t.tok, tok_eof);
    token_next(t, nullptr);
    EXPECT_EQ(t.tok, tok_eof);
    EXPECT_EQ(token_count(nullptr, 0), 0);
}

TEST(ApiNames, TableNamesAreApiTokensExceptCommonWords) {
    for (const char* name : {"spr", "spr(1)", "foreach", "all", "add", "del", "menuitem", "printh"})
        EXPECT_EQ(first(name).first, tok_api) << name;
    // "t" is a function too, but programs use it for their own variables.
    for (const char* name : {"t", "sprx", "sp", "x"}) EXPECT_EQ(first(name).first, tok_ident) << name;
}

TEST(TokenLimits, CharacterLimitComesFirst) {
    vexel_limit_report r{};
    std::string code(vexel_char_limit, ' ');
    EXPECT_EQ(vexel_check_code_limits(code.data(), code.size(), &r), vexel_limits_ok);
    EXPECT_EQ(r.chars, 65536);
    code.push_back('x');
    EXPECT_EQ(vexel_check_code_limits(code.data(), code.size(), &r), vexel_limits_chars);
    EXPECT_STREQ(r.heading, "program exceeds char limit");
    EXPECT_STREQ(r.detail, "65537 / 65536 chars\n");

    // Too long and too many tokens at once: the character message wins.
    std::string both;
    while (both.size() <= size_t(vexel_char_limit)) both += "x ";
    EXPECT_EQ(vexel_check_code_limits(both.data(), both.size(), &r), vexel_limits_chars);
}

TEST(TokenLimits, TokenLimitIsInclusive) {
    vexel_limit_report r{};
    std::string code;
    for (int i = 0; i < vexel_token_limit; ++i) code += "a ";
    EXPECT_EQ(vexel_check_code_limits(code.data(), code.size(), &r), vexel_limits_ok);
    EXPECT_EQ(r.tokens, 8192);
    code += "b";
    EXPECT_EQ(vexel_check_code_limits(code.data(), code.size(), &r), vexel_limits_tokens);
    EXPECT_EQ(r.tokens, 8193);
    EXPECT_STREQ(r.heading, "program too large");
    EXPECT_STREQ(r.detail, "8193 / 8192 tokens\n");
    EXPECT_EQ(vexel_check_code_limits(code.data(), code.size(), nullptr), vexel_limits_tokens);
}

TEST(TokenLimits, InfoLinesTurnRedOverTheLimits) {
    vexel_info_line lines[3];
    vexel_code_info_lines(8192, 65535, 15360, lines);
    EXPECT_STREQ(lines[0].text, "tokens:      8192 /  8192");
    EXPECT_STREQ(lines[1].text, "chars:      65535 / 65535");
    EXPECT_STREQ(lines[2].text, "compressed: 15360 / 15360");
    for (const auto& l : lines) EXPECT_EQ(l.colour, 6);
    vexel_code_info_lines(8193, 65536, 15361, lines);
    for (const auto& l : lines) EXPECT_EQ(l.colour, 9);
    EXPECT_STREQ(lines[1].text, "chars:      65536 / 65535");
}
