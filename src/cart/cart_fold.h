// cart_fold: text from the board (titles, authors, search words, UTF-8) as
// the console's font can show it and as search words compare.
//
// Latin letters with accents fold to their letters (é -> e, Ñ -> N, ß -> ss,
// æ -> ae), typographic punctuation to its ASCII look (’ -> ', “ -> ", – ->
// -, … -> ...), and every other character to "?", once per character. A
// byte that starts no well-formed UTF-8 character, or a sequence that
// encodes none (overlong, surrogate), is one unknown character, so a Latin-1
// title shows "?" where its accents were rather than nothing. The result is
// never longer than the text.
//
// The board's web search (a script in the site) folds the same way, by
// Unicode decomposition, so that a word typed in a web browser finds what
// the player finds.
#pragma once
#include <string>
#include <string_view>

// The text in printable ASCII (32..126), case kept; control characters
// become blanks.
std::string cart_fold_text(std::string_view utf8);
// The text folded and in lower case, for search words.
std::string cart_fold_lower(std::string_view utf8);
