// board_html: the web pages of a board, so that people can look at the
// same board in a web browser: one page per cartridge and an index.
//
// Every link is relative (pages work from any host, from a folder on disk
// and behind the server's /bbs/?pid=ID redirect), and every text from a
// manifest or a program is escaped.
#pragma once
#include <string>
#include <vector>

struct board_page {
    std::string id, title, author;
    long long post = 0;
    std::vector<std::string> comments;  // the program's leading comment lines
    std::string cart_link;              // relative to the page
};

struct board_index_entry {
    std::string id, title, author, lists;
};

// Text with & < > " ' written as entities.
std::string board_html_escape(const std::string& text);
// The page of a cartridge (it lies in bbs/posts/ beside its label, <id>.png).
std::string board_post_html(const board_page& page);
// The board's index (it lies at the top of the site).
std::string board_index_html(const std::vector<board_index_entry>& entries);
