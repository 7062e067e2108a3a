// The exported web page: base64 as browsers' atob reads it, the page made
// from the player's files (scripts inline, nothing left to fetch, text
// that would end a script element escaped), and what a broken or missing
// player folder gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/web_export.h"

namespace fs = std::filesystem;

namespace {

std::string b64(const std::string& s) {
    return web_export_base64(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

TEST(WebExport, Base64MatchesTheStandardForEveryPaddingAndByte) {
    EXPECT_EQ(b64(""), "");
    EXPECT_EQ(b64("f"), "Zg==");
    EXPECT_EQ(b64("fo"), "Zm8=");
    EXPECT_EQ(b64("foo"), "Zm9v");
    EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
    const std::string all = {char(0x00), char(0xff), char(0xfe), char(0x3e), char(0x3f)};
    EXPECT_EQ(b64(all), "AP/+Pj8=");
}

class WebExportPage : public ::testing::Test {
protected:
    std::string folder;
    void SetUp() override {
        folder = (fs::temp_directory_path() / ("vexel_web_export_" + std::to_string(::getpid()))).string() + "/";
        fs::create_directories(folder);
        put("vexel.html", "<html><head><title>vexel</title></head><body>\n"
                          "<script src=\"player.js\"></script>\n<script src=\"vexel.js\"></script>\n</body></html>\n");
        put("player.js", "var p = window.vexelEmbedded;\n");
        put("vexel.js", "var s = \"</script><!-- x\";\n");
        put("vexel.wasm", std::string("\0asm\1\0\0\0", 8));
    }
    void TearDown() override { fs::remove_all(folder); }
    void put(const char* name, const std::string& bytes) {
        std::ofstream(folder + name, std::ios::binary) << bytes;
    }
};

TEST_F(WebExportPage, HoldsTheScriptsTheCartridgeAndTheWasm) {
    const std::string cart_text = "vexel cartridge\n";
    std::string html;
    ASSERT_EQ(web_export_page(folder, "game.qz", std::vector<uint8_t>(cart_text.begin(), cart_text.end()),
                              "a <game> & more", &html), "");
    EXPECT_EQ(html.find("<script src="), std::string::npos);
    EXPECT_NE(html.find("var p = window.vexelEmbedded;"), std::string::npos);
    // The string in vexel.js keeps its characters but no longer ends the element.
    EXPECT_NE(html.find("var s = \"<\\/script><\\!-- x\";"), std::string::npos);
    EXPECT_NE(html.find("cart: \"" + b64(cart_text) + "\""), std::string::npos);
    EXPECT_NE(html.find("wasm: \"" + b64(std::string("\0asm\1\0\0\0", 8)) + "\""), std::string::npos);
    EXPECT_NE(html.find("name: \"game.qz\""), std::string::npos);
    EXPECT_NE(html.find("<title>a &lt;game&gt; &amp; more</title>"), std::string::npos);
    // The title inside the script cannot close it either.
    EXPECT_NE(html.find("title: \"a \\u003cgame\\u003e \\u0026 more\""), std::string::npos);
    // The embedding comes before the player's script, which reads it.
    EXPECT_LT(html.find("window.vexelEmbedded = "), html.find("var p = "));
}

TEST_F(WebExportPage, AMissingFileOrAnUnknownPageIsRefused) {
    std::string html = "untouched";
    fs::remove(folder + "vexel.wasm");
    EXPECT_EQ(web_export_page(folder, "g.qz", {}, "g", &html), "cannot read " + folder + "vexel.wasm");
    EXPECT_EQ(html, "untouched");
    put("vexel.wasm", "x");
    put("vexel.html", "<html>a page without the player's script tags</html>");
    EXPECT_NE(web_export_page(folder, "g.qz", {}, "g", &html).find("not a player page"), std::string::npos);
    EXPECT_EQ(html, "untouched");
}

TEST_F(WebExportPage, TheEnvironmentNamesTheOnlyPlayerFolder) {
    ::setenv("VEXEL_WEB_PLAYER", folder.c_str(), 1);
    EXPECT_EQ(web_export_find_player(), folder);
    ::setenv("VEXEL_WEB_PLAYER", (folder + "elsewhere").c_str(), 1);
    EXPECT_EQ(web_export_find_player(), "");
    ::unsetenv("VEXEL_WEB_PLAYER");
    // Otherwise the source tree's build-web/ is among the places searched.
    bool source = false;
    for (const std::string& f : web_export_player_candidates())
        source = source || f == std::string(VEXEL_SOURCE_DIR) + "/build-web/";
    EXPECT_TRUE(source);
}

}  // namespace
