#include "board/board_html.h"

#include <cstdint>
#include <cstdio>

#include "cart/cart_board.h"
#include "cart/cart_fold.h"

namespace {

constexpr size_t author_name_keep = 40;   // characters of the folded name in its file name

const char* const style =
    "<style>\n"
    "body{background:#1d2b53;color:#fff1e8;font-family:monospace;margin:1em auto;max-width:60em;padding:0 1em}\n"
    "a{color:#29adff}h1{color:#ffec27;margin:.3em 0 .1em;font-size:1.6em;overflow-wrap:anywhere}\n"
    ".by{color:#c2c3c7;margin-top:0}\n"
    "nav{display:flex;flex-wrap:wrap;gap:.4em 1.2em;align-items:center;padding:.4em 0;border-bottom:2px solid #5f574f}\n"
    "nav a.here{color:#ffec27;text-decoration:none}nav form{margin-left:auto}\n"
    "input{font:inherit;background:#000;color:#fff1e8;border:1px solid #5f574f;padding:.2em .4em;max-width:12em}\n"
    "img{image-rendering:pixelated;image-rendering:crisp-edges;background:#000;max-width:100%;height:auto}\n"
    "pre{background:#000;color:#c2c3c7;padding:1em;white-space:pre-wrap;overflow-wrap:anywhere}\n"
    "ul.carts{list-style:none;padding:0;display:grid;grid-template-columns:repeat(auto-fill,minmax(128px,1fr));"
    "gap:1.2em}\n"
    "ul.carts li{overflow-wrap:anywhere}ul.carts span{color:#c2c3c7;font-size:small}\n"
    ".cart{display:flex;flex-wrap:wrap;gap:1.5em}.cart dl{margin:0}.cart dt{color:#c2c3c7}.cart dd{margin:0 0 .5em}\n"
    "#player{margin:1em 0}#player button{font:inherit;font-size:1.3em;background:#ff004d;color:#fff1e8;"
    "border:0;padding:.4em 1.2em;cursor:pointer}\n"
    "#player iframe{border:0;width:512px;max-width:calc(100vw - 2em);aspect-ratio:1;background:#000}\n"
    ".keys,.note{color:#c2c3c7;font-size:small;max-width:30em}\n"
    "</style>\n";

std::string head(const std::string& title, const std::string& root) {
    return "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           board_html_escape(title) + "</title>\n<link rel=\"icon\" href=\"" + root + "favicon.png\">\n" + style +
           "</head>\n<body>\n";
}

// The bar at the top of every page: the lists, then the search box.
std::string nav(const std::string& here, const std::string& root) {
    std::string s = "<nav>";
    for (const cart_board_list_def& d : cart_board_lists)
        s += std::string("<a href=\"") + root + "bbs/l/" + d.name + "/top.html\"" +
             (here == d.name ? " class=\"here\"" : "") + ">" + d.title + "</a>";
    s += "<form action=\"" + root +
         "search.html\"><input name=\"q\" type=\"search\" placeholder=\"search\" aria-label=\"search\"></form>";
    return s + "</nav>\n";
}

std::string entry_list(const std::vector<board_html_entry>& entries, const std::string& root) {
    std::string s = "<ul class=\"carts\">\n";
    for (const board_html_entry& e : entries) {
        const std::string page = cart_board_post_path(e.id.c_str());
        if (page.empty()) continue;
        s += "<li><a href=\"" + root + page + "\"><img src=\"" + root + cart_board_label_path(e.id.c_str()) +
             "\" width=\"128\" height=\"128\" alt=\"\" loading=\"lazy\"><br>" + board_html_escape(e.title) +
             "</a><br><span>by <a href=\"" + root + board_author_path(e.author) + "\">" +
             board_html_escape(e.author) + "</a></span></li>\n";
    }
    return s + "</ul>\n";
}

uint32_t fnv(const std::string& s) {
    uint32_t h = 2166136261u;
    for (unsigned char c : s) h = (h ^ c) * 16777619u;
    return h;
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

std::string board_author_path(const std::string& author) {
    std::string name;
    for (char c : cart_fold_lower(author)) {
        if (name.size() >= author_name_keep) break;
        name += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    }
    const uint32_t h = fnv(author);
    char buf[96];
    std::snprintf(buf, sizeof buf, "bbs/a/%03x/%s_%08x.html", unsigned(h % uint32_t(cart_board_buckets)),
                  name.c_str(), unsigned(h));
    return buf;
}

std::string board_cart_html(const board_html_cart& c, const std::string& root) {
    const std::string id = board_html_escape(c.id), title = board_html_escape(c.title);
    // The download is named after the game, not the board's id.
    std::string file;
    for (char ch : cart_fold_lower(c.title))
        if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '-') file += ch;
        else if (!file.empty() && file.back() != '_') file += '_';
    while (!file.empty() && file.back() == '_') file.pop_back();
    if (file.empty()) file = c.id;
    std::string s = head(c.title + " - vexel board", root) + nav("", root);
    s += "<h1>" + title + "</h1>\n";
    s += "<p class=\"by\">by <a href=\"" + root + board_author_path(c.author) + "\">" + board_html_escape(c.author) +
         "</a></p>\n";
    s += "<div class=\"cart\">\n<div>\n<img id=\"label\" src=\"" + id +
         ".png\" width=\"256\" height=\"256\" alt=\"label of " + title + "\">\n";
    // The web player (play/board.js) takes the label's place: it plays data-cart.
    s += "<div id=\"player\" data-cart=\"" + id + ".qz.png\" data-player=\"" + root + board_player_folder +
         "vexel.html\">\n";
    if (c.player) {
        s += "<button type=\"button\">&#9654; play</button>\n"
             "<p class=\"keys\">keys: arrows move, Z is O, X is X, P or Enter pauses; a game "
             "controller works too. Click the game first so that it has the keys; sound starts with the first "
             "key.</p>\n";
    } else {
        s += "<p class=\"note\">This board has no web player: download the cartridge below and play it in "
             "vexel.</p>\n";
    }
    s += "</div>\n</div>\n<dl>\n";
    s += "<dt>size</dt><dd>" + std::to_string(c.size) + " bytes</dd>\n";
    s += "<dt>posted</dt><dd>" + board_html_escape(c.date) + " (post " + std::to_string(c.post) + ", #" + id +
         ")</dd>\n";
    s += "<dt>lists</dt><dd>" + board_html_escape(c.lists) + "</dd>\n";
    s += "<dt>controls</dt><dd>" + board_html_escape(c.controls.empty() ? "none read" : c.controls) + "</dd>\n";
    s += "<dt>download</dt><dd><a href=\"" + id + ".qz.png\" download=\"" + board_html_escape(file) +
         ".qz.png\">" + board_html_escape(file) + ".qz.png</a></dd>\n</dl>\n</div>\n";
    if (!c.description.empty()) s += "<pre>" + board_html_escape(c.description) + "</pre>\n";
    s += "<p>In vexel: find it in the lists of the cartridge browser (<code>browse</code>), or save the file "
         "above into your cartridge folder and <code>load " + board_html_escape(file) + ".qz.png</code>.</p>\n";
    if (c.player) s += "<script src=\"" + root + board_player_folder + board_player_script_name + "\"></script>\n";
    s += "</body>\n</html>\n";
    return s;
}

std::string board_player_script() {
    return R"JS("use strict";
// A cartridge page's player: the button (or ?play=1, seed=, frames=) puts
// vexel.html into a frame in the label's place, playing the page's
// cartridge by its full address.
(function () {
  const box = document.getElementById("player");
  if (!box) return;
  const button = box.querySelector("button");
  const params = new URLSearchParams(location.search);
  function play() {
    if (!button || !button.parentNode) return;
    const url = new URL(box.dataset.player, location.href);
    url.searchParams.set("cart", new URL(box.dataset.cart, location.href).href);
    for (const k of ["seed", "frames", "input"]) if (params.get(k)) url.searchParams.set(k, params.get(k));
    const frame = document.createElement("iframe");
    frame.src = url.href;
    frame.title = "vexel";
    frame.allow = "autoplay; fullscreen; gamepad";
    button.replaceWith(frame);
    const label = document.getElementById("label");
    if (label) label.style.display = "none";
    frame.addEventListener("load", () => frame.contentWindow.focus());
    // A test's run titles the player "vexel done HASH": so is the page.
    const watch = setInterval(() => {
      let t = "";
      try { t = frame.contentDocument.title; } catch (e) { clearInterval(watch); }
      if (/^vexel done /.test(t)) { document.title = t; clearInterval(watch); }
    }, 100);
  }
  if (button) button.addEventListener("click", play);
  if (params.get("play") || params.get("frames")) play();
})();
)JS";
}

std::string board_list_html(const std::string& list, const std::vector<board_html_entry>& entries,
                            const std::string& older, const std::string& root) {
    std::string title = list;
    for (const cart_board_list_def& d : cart_board_lists)
        if (list == d.name) title = d.title;
    std::string s = head(title + " - vexel board", root) + nav(list, root);
    s += "<h1>" + board_html_escape(title) + "</h1>\n";
    if (entries.empty()) s += "<p class=\"by\">nothing here yet</p>\n";
    s += entry_list(entries, root);
    if (!older.empty()) s += "<p><a href=\"" + older + "\">older &raquo;</a></p>\n";
    return s + "</body>\n</html>\n";
}

std::string board_author_html(const std::string& author, const std::vector<board_html_entry>& entries,
                              const std::string& root) {
    std::string s = head(author + " - vexel board", root) + nav("", root);
    s += "<h1>" + board_html_escape(author) + "</h1>\n<p class=\"by\">" + std::to_string(entries.size()) +
         (entries.size() == 1 ? " cartridge" : " cartridges") + "</p>\n";
    return s + entry_list(entries, root) + "</body>\n</html>\n";
}

std::string board_search_line(const board_html_entry& e) { return e.id + "\t" + e.title + "\t" + e.author + "\n"; }

std::string board_search_html() {
    std::string s = head("search - vexel board", "") + nav("", "");
    s += "<h1>search</h1>\n<p class=\"by\" id=\"said\">titles and authors, by the start of a word</p>\n"
         "<ul class=\"carts\" id=\"found\"></ul>\n";
    // The same paths and folding as cart_board.h and cart_fold.h: the first
    // word of the text, accents dropped, a-z 0-9 _ only, 2 to 22 characters;
    // the bucket of an id and of an author by FNV-1a.
    s += R"JS(<script>
"use strict";
const extra = {"ß":"ss","æ":"ae","œ":"oe","ø":"o","đ":"d","ð":"d","þ":"th","ł":"l","ħ":"h","ı":"i","ŀ":"l",
  "ŋ":"n","ŧ":"t","ĸ":"k","ſ":"s","ĳ":"ij"};
function fold(t) {
  return t.toLowerCase().normalize("NFD").replace(/[\u0300-\u036f]/g, "").replace(/[^\x00-\x7f]/g, c => extra[c] || "?");
}
function fnv(t) {
  let h = 2166136261;
  for (const b of new TextEncoder().encode(t)) h = Math.imul(h ^ b, 16777619) >>> 0;
  return h >>> 0;
}
function hex3(n) { return (n % 4096).toString(16).padStart(3, "0"); }
function authorPage(a) {
  let n = "";
  for (const c of fold(a)) { if (n.length >= 40) break; n += /[a-z0-9]/.test(c) ? c : "_"; }
  const h = fnv(a);
  return "bbs/a/" + hex3(h) + "/" + n + "_" + h.toString(16).padStart(8, "0") + ".html";
}
function el(tag, text) { const e = document.createElement(tag); if (text) e.textContent = text; return e; }
const q = new URLSearchParams(location.search).get("q") || "";
document.querySelector("nav input").value = q;
const m = fold(q).match(/^[^a-z0-9_]*([a-z0-9_]{2,22})/);
const said = document.getElementById("said"), found = document.getElementById("found");
if (!m) { if (q) said.textContent = "type two letters or more of a word"; }
else {
  const w = m[1], path = "bbs/s/" + w.slice(0, 2) + "/" + (w.length > 2 ? w[2] : "_") + "/" + w + "/w.txt";
  fetch(path).then(r => r.ok ? r.text() : "").catch(() => "").then(text => {
    const lines = text.split("\n").filter(l => l);
    said.textContent = lines.length ? "found for \u201c" + w + "\u201d: " + lines.length +
      (lines.length >= 200 ? " newest" : "") : "nothing found for \u201c" + w + "\u201d";
    for (const line of lines) {
      const [id, title, author] = line.split("\t");
      if (!/^[a-z0-9_]{2,128}$/.test(id || "")) continue;
      const b = "bbs/c/" + hex3(fnv(id)) + "/" + id, li = el("li"), a = el("a"), img = el("img");
      a.href = b + ".html"; img.src = b + ".png"; img.width = img.height = 128; img.alt = "";
      a.append(img, el("br"), document.createTextNode(title || id));
      const by = el("span", "by "), who = el("a", author || "");
      who.href = authorPage(author || "");
      by.append(who); li.append(a, el("br"), by); found.append(li);
    }
  });
}
</script>
)JS";
    return s + "</body>\n</html>\n";
}
