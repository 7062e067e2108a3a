#include "board/board_html.h"

namespace {

const char* const style =
    "<style>\n"
    "body{background:#1d2b53;color:#fff1e8;font-family:monospace;margin:2em auto;max-width:52em;padding:0 1em}\n"
    "a{color:#29adff}h1{color:#ffec27;margin-bottom:.2em}.by{color:#c2c3c7;margin-top:0}\n"
    "img{image-rendering:pixelated;image-rendering:crisp-edges;background:#000}\n"
    "pre{background:#000;color:#c2c3c7;padding:1em;white-space:pre-wrap}\n"
    "ul.carts{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:1.2em}\n"
    "ul.carts li{width:128px}ul.carts span{color:#c2c3c7;font-size:small}\n"
    "</style>\n";

std::string head(const std::string& title) {
    return "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           board_html_escape(title) + "</title>\n" + style + "</head>\n<body>\n";
}

}  // namespace

std::string board_html_escape(const std::string& text) {
    std::string s;
    for (char c : text) {
        switch (c) {
        case '&': s += "&amp;"; break;
        case '<': s += "&lt;"; break;
        case '>': s += "&gt;"; break;
        case '"': s += "&quot;"; break;
        case '\'': s += "&#39;"; break;
        default: s += (static_cast<unsigned char>(c) < 32 && c != '\n' && c != '\t') ? ' ' : c;
        }
    }
    return s;
}

std::string board_post_html(const board_page& page) {
    const std::string id = board_html_escape(page.id), title = board_html_escape(page.title);
    std::string s = head(page.title + " - vexel board");
    s += "<p><a href=\"../../index.html\">all cartridges</a></p>\n";
    s += "<h1>" + title + "</h1>\n";
    s += "<p class=\"by\">by " + board_html_escape(page.author) + " &middot; #" + id + " &middot; post " +
         std::to_string(page.post) + "</p>\n";
    s += "<p><img src=\"" + id + ".png\" width=\"256\" height=\"256\" alt=\"label of " + title + "\"></p>\n";
    if (!page.comments.empty()) {
        s += "<pre>";
        for (const std::string& line : page.comments) s += board_html_escape(line) + "\n";
        s += "</pre>\n";
    }
    s += "<p><a href=\"" + board_html_escape(page.cart_link) + "\" download>download " + id + ".qz.png</a></p>\n";
    s += "<p>In vexel: find it in the lists of the cartridge browser (<code>browse</code>), or save the file "
         "above into your cartridge folder and <code>load " + id + ".qz.png</code> at the console.</p>\n";
    s += "</body>\n</html>\n";
    return s;
}

std::string board_index_html(const std::vector<board_index_entry>& entries) {
    std::string s = head("vexel board");
    s += "<h1>vexel board</h1>\n<p class=\"by\">" + std::to_string(entries.size()) +
         (entries.size() == 1 ? " cartridge" : " cartridges") + ", newest first</p>\n<ul class=\"carts\">\n";
    for (const board_index_entry& e : entries) {
        const std::string id = board_html_escape(e.id);
        s += "<li><a href=\"bbs/posts/" + id + ".html\"><img src=\"bbs/posts/" + id +
             ".png\" width=\"128\" height=\"128\" alt=\"\"><br>" + board_html_escape(e.title) + "</a><br><span>by " +
             board_html_escape(e.author) + "<br>" + board_html_escape(e.lists) + "</span></li>\n";
    }
    s += "</ul>\n</body>\n</html>\n";
    return s;
}
