#include "cart/cart_glyphs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "framework/fenn_utf8.h"

namespace {

struct glyph {
    uint8_t byte;
    const char* utf8;
};

// Machine byte -> its character. Control bytes 0x00, 0x09, 0x0A and 0x0D
// are no glyphs: they keep their ASCII meaning. 0x7F is the circle (the
// character text from elsewhere writes for it); a raw 0x7F read from UTF-8
// is still 0x7F.
constexpr glyph glyphs[] = {
    {0x01, "\u00B9"},  // ¹
    {0x02, "\u00B2"},  // ²
    {0x03, "\u00B3"},  // ³
    {0x04, "\u2074"},  // ⁴
    {0x05, "\u2075"},  // ⁵
    {0x06, "\u2076"},  // ⁶
    {0x07, "\u2077"},  // ⁷
    {0x08, "\u2078"},  // ⁸
    {0x0b, "\u1D47"},  // ᵇ
    {0x0c, "\u1D9C"},  // ᶜ
    {0x0e, "\u1D49"},  // ᵉ
    {0x0f, "\u1DA0"},  // ᶠ
    {0x10, "\u25AE"},  // ▮
    {0x11, "\u25A0"},  // ■
    {0x12, "\u25A1"},  // □
    {0x13, "\u2059"},  // ⁙
    {0x14, "\u2058"},  // ⁘
    {0x15, "\u2016"},  // ‖
    {0x16, "\u25C0"},  // ◀
    {0x17, "\u25B6"},  // ▶
    {0x18, "\u300C"},  // 「
    {0x19, "\u300D"},  // 」
    {0x1a, "\u00A5"},  // ¥
    {0x1b, "\u2022"},  // •
    {0x1c, "\u3001"},  // 、
    {0x1d, "\u3002"},  // 。
    {0x1e, "\u309B"},  // ゛
    {0x1f, "\u309C"},  // ゜
    {0x7f, "\u25CB"},  // ○
    {0x80, "\u2588"},  // █
    {0x81, "\u2592"},  // ▒
    {0x82, "\U0001F431"},  // 🐱
    {0x83, "\u2B07\uFE0F"},  // ⬇
    {0x84, "\u2591"},  // ░
    {0x85, "\u273D"},  // ✽
    {0x86, "\u25CF"},  // ●
    {0x87, "\u2665"},  // ♥
    {0x88, "\u2609"},  // ☉
    {0x89, "\uC6C3"},  // 웃
    {0x8a, "\u2302"},  // ⌂
    {0x8b, "\u2B05\uFE0F"},  // ⬅
    {0x8c, "\U0001F610"},  // 😐
    {0x8d, "\u266A"},  // ♪
    {0x8e, "\U0001F17E\uFE0F"},  // 🅾
    {0x8f, "\u25C6"},  // ◆
    {0x90, "\u2026"},  // …
    {0x91, "\u27A1\uFE0F"},  // ➡
    {0x92, "\u2605"},  // ★
    {0x93, "\u29D7"},  // ⧗
    {0x94, "\u2B06\uFE0F"},  // ⬆
    {0x95, "\u02C7"},  // ˇ
    {0x96, "\u2227"},  // ∧
    {0x97, "\u274E"},  // ❎
    {0x98, "\u25A4"},  // ▤
    {0x99, "\u25A5"},  // ▥
    {0x9a, "\u3042"},  // あ
    {0x9b, "\u3044"},  // い
    {0x9c, "\u3046"},  // う
    {0x9d, "\u3048"},  // え
    {0x9e, "\u304A"},  // お
    {0x9f, "\u304B"},  // か
    {0xa0, "\u304D"},  // き
    {0xa1, "\u304F"},  // く
    {0xa2, "\u3051"},  // け
    {0xa3, "\u3053"},  // こ
    {0xa4, "\u3055"},  // さ
    {0xa5, "\u3057"},  // し
    {0xa6, "\u3059"},  // す
    {0xa7, "\u305B"},  // せ
    {0xa8, "\u305D"},  // そ
    {0xa9, "\u305F"},  // た
    {0xaa, "\u3061"},  // ち
    {0xab, "\u3064"},  // つ
    {0xac, "\u3066"},  // て
    {0xad, "\u3068"},  // と
    {0xae, "\u306A"},  // な
    {0xaf, "\u306B"},  // に
    {0xb0, "\u306C"},  // ぬ
    {0xb1, "\u306D"},  // ね
    {0xb2, "\u306E"},  // の
    {0xb3, "\u306F"},  // は
    {0xb4, "\u3072"},  // ひ
    {0xb5, "\u3075"},  // ふ
    {0xb6, "\u3078"},  // へ
    {0xb7, "\u307B"},  // ほ
    {0xb8, "\u307E"},  // ま
    {0xb9, "\u307F"},  // み
    {0xba, "\u3080"},  // む
    {0xbb, "\u3081"},  // め
    {0xbc, "\u3082"},  // も
    {0xbd, "\u3084"},  // や
    {0xbe, "\u3086"},  // ゆ
    {0xbf, "\u3088"},  // よ
    {0xc0, "\u3089"},  // ら
    {0xc1, "\u308A"},  // り
    {0xc2, "\u308B"},  // る
    {0xc3, "\u308C"},  // れ
    {0xc4, "\u308D"},  // ろ
    {0xc5, "\u308F"},  // わ
    {0xc6, "\u3092"},  // を
    {0xc7, "\u3093"},  // ん
    {0xc8, "\u3063"},  // っ
    {0xc9, "\u3083"},  // ゃ
    {0xca, "\u3085"},  // ゅ
    {0xcb, "\u3087"},  // ょ
    {0xcc, "\u30A2"},  // ア
    {0xcd, "\u30A4"},  // イ
    {0xce, "\u30A6"},  // ウ
    {0xcf, "\u30A8"},  // エ
    {0xd0, "\u30AA"},  // オ
    {0xd1, "\u30AB"},  // カ
    {0xd2, "\u30AD"},  // キ
    {0xd3, "\u30AF"},  // ク
    {0xd4, "\u30B1"},  // ケ
    {0xd5, "\u30B3"},  // コ
    {0xd6, "\u30B5"},  // サ
    {0xd7, "\u30B7"},  // シ
    {0xd8, "\u30B9"},  // ス
    {0xd9, "\u30BB"},  // セ
    {0xda, "\u30BD"},  // ソ
    {0xdb, "\u30BF"},  // タ
    {0xdc, "\u30C1"},  // チ
    {0xdd, "\u30C4"},  // ツ
    {0xde, "\u30C6"},  // テ
    {0xdf, "\u30C8"},  // ト
    {0xe0, "\u30CA"},  // ナ
    {0xe1, "\u30CB"},  // ニ
    {0xe2, "\u30CC"},  // ヌ
    {0xe3, "\u30CD"},  // ネ
    {0xe4, "\u30CE"},  // ノ
    {0xe5, "\u30CF"},  // ハ
    {0xe6, "\u30D2"},  // ヒ
    {0xe7, "\u30D5"},  // フ
    {0xe8, "\u30D8"},  // ヘ
    {0xe9, "\u30DB"},  // ホ
    {0xea, "\u30DE"},  // マ
    {0xeb, "\u30DF"},  // ミ
    {0xec, "\u30E0"},  // ム
    {0xed, "\u30E1"},  // メ
    {0xee, "\u30E2"},  // モ
    {0xef, "\u30E4"},  // ヤ
    {0xf0, "\u30E6"},  // ユ
    {0xf1, "\u30E8"},  // ヨ
    {0xf2, "\u30E9"},  // ラ
    {0xf3, "\u30EA"},  // リ
    {0xf4, "\u30EB"},  // ル
    {0xf5, "\u30EC"},  // レ
    {0xf6, "\u30ED"},  // ロ
    {0xf7, "\u30EF"},  // ワ
    {0xf8, "\u30F2"},  // ヲ
    {0xf9, "\u30F3"},  // ン
    {0xfa, "\u30C3"},  // ッ
    {0xfb, "\u30E3"},  // ャ
    {0xfc, "\u30E5"},  // ュ
    {0xfd, "\u30E7"},  // ョ
    {0xfe, "\u25DC"},  // ◜
    {0xff, "\u25DD"},  // ◝
};
constexpr size_t glyph_count = sizeof glyphs / sizeof glyphs[0];
static_assert(glyph_count == 157, "28 low glyphs, the circle and all 128 bytes from 0x80");

struct tables {
    std::array<const char*, 256> by_byte{};
    std::vector<std::pair<uint32_t, uint8_t>> by_code;  // sorted by code point
};

// Built once from the one list above, so the two directions cannot disagree.
const tables& lookup() {
    static const tables t = [] {
        tables built;
        for (const glyph& g : glyphs) {
            built.by_byte[g.byte] = g.utf8;
            size_t used = 0;
            const int32_t cp = fenn_utf8_decode(g.utf8, std::strlen(g.utf8), &used);
            built.by_code.emplace_back(uint32_t(cp), g.byte);
        }
        std::sort(built.by_code.begin(), built.by_code.end());
        return built;
    }();
    return t;
}

}  // namespace

bool cart_is_glyph(uint8_t b) { return lookup().by_byte[b] != nullptr; }

const char* cart_glyph_utf8(uint8_t b) { return lookup().by_byte[b]; }

int cart_glyph_from_codepoint(uint32_t cp) {
    if (cp < 0x80) return int(cp);
    const auto& codes = lookup().by_code;
    const auto it = std::lower_bound(codes.begin(), codes.end(), std::make_pair(cp, uint8_t(0)));
    return it != codes.end() && it->first == cp ? it->second : -1;
}

void cart_machine_to_utf8(const char* data, size_t len, std::string* out) {
    if (!data) return;
    const tables& t = lookup();
    for (size_t i = 0; i < len; ++i) {
        const uint8_t b = uint8_t(data[i]);
        if (const char* u = t.by_byte[b]) *out += u;
        else *out += char(b);
    }
}

void cart_utf8_to_machine(const char* data, size_t len, std::string* out, int* unknown) {
    int missing = 0;
    size_t i = 0;
    while (data && i < len) {
        size_t used = 1;
        const int32_t cp = fenn_utf8_decode(data + i, len - i, &used);
        i += used;
        const int b = cp < 0 ? -1 : cart_glyph_from_codepoint(uint32_t(cp));
        if (b >= 0) {
            *out += char(b);
        } else {
            *out += cart_unknown_char;
            ++missing;
        }
        // The selector only picks how the character before it looks: it
        // goes with that character, known or not, and counts for nothing.
        if (cp >= 0x80 && i < len) {
            size_t selector_used = 0;
            if (fenn_utf8_decode(data + i, len - i, &selector_used) == int32_t(cart_emoji_selector)) i += selector_used;
        }
    }
    if (unknown) *unknown = missing;
}
