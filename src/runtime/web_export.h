// web_export: one HTML file that plays a cartridge in a web browser, opened
// from disk with no server. The file holds the web player (the page,
// player.js, vexel.js and vexel.wasm, built by `make web`) and the
// cartridge, as text inside the page; the page's script finds them there
// (window.vexelEmbedded) instead of fetching them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct vexel_machine;

// The files of the web player that an exported page carries.
constexpr const char* web_export_player_files[] = {"vexel.html", "player.js", "vexel.js", "vexel.wasm"};
constexpr size_t web_export_file_max = size_t(64) << 20;  // a player file larger than this is refused
// Where the page's script tags are replaced by the files themselves.
constexpr const char* web_export_player_tag = "<script src=\"player.js\"></script>";
constexpr const char* web_export_program_tag = "<script src=\"vexel.js\"></script>";

// What web_export_working_cart says when no folder holds the player.
constexpr const char* web_export_no_player = "no web player (run make web)";

// The folders searched for the web player: $VEXEL_WEB_PLAYER alone when
// it is set, else in order web/ beside the program, build-web/ beside the program's build folder
// (the source tree's layout), PREFIX/share/vexel/web for a program in
// PREFIX/bin, and the source tree's build-web/ this program was built from.
std::vector<std::string> web_export_player_candidates();
// The first candidate holding every player file, or "".
std::string web_export_find_player();

// Standard base64 with padding.
std::string web_export_base64(const uint8_t* data, size_t size);

// The page: the player's files in `folder` with the cartridge (`cart_name`,
// a .qz or .qz.png name, and its bytes) inside. Returns "" and fills *html,
// or says why not ("cannot read FOLDER/vexel.js").
std::string web_export_page(const std::string& folder, const std::string& cart_name,
                            const std::vector<uint8_t>& cart, const std::string& title, std::string* html);

// The working cartridge (its code tabs merged, its #include files joined)
// as a page written to `path`. Returns "" when written, or the reason. A
// player that is not found is "no web player (run make web)".
std::string web_export_working_cart(vexel_machine* m, const char* path);

// The console's `export NAME.html`: NAME is resolved like save's (inside
// the cartridge folder), ".html" is added to a name without an extension.
// Reports on the console; 0 when written.
int cmd_export(vexel_machine* m, const char* name);
