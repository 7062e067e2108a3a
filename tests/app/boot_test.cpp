#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/boot.h"
#include "app/shell.h"
#include "browser/browse.h"
#include "browser/browse_list.h"
#include "machine/disk.h"
#include "machine/machine.h"
#include "machine/text.h"
#include "cart/cart_text.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "test_support.h"
#include "runtime/run.h"

namespace {

struct BootFixture : ::testing::Test {
    vexel_test::TestMachine tm;
    vexel_machine* M = tm.m;
    void SetUp() override {
        app = vexel_app{};
        shell_connect_host(tm.host);
        app.machine = M;
    }
    void TearDown() override {
        browse_shutdown();
        browse_screen = browse_screen_state();
        app.machine = nullptr;
    }
    // Runs the boot up to and including `step`, one update at a time.
    void boot_to(int step) {
        boot_init(M);
        while (app.boot_frame - boot_step_offset < step && app.mode == shell_boot && !app.pending) {
            app.boot_frame++;
            boot_update(M);
        }
    }
};

}  // namespace

TEST_F(BootFixture, FirstVisibleStepComesTwentyFiveUpdatesAfterInit) {
    boot_init(M);
    EXPECT_EQ(app.mode, shell_boot);
    EXPECT_EQ(app.boot_frame, -15);
    int updates = 0;
    bool drawn = false;
    while (!drawn && updates < 100) {
        app.boot_frame++;
        ++updates;
        boot_update(M);
        for (uint8_t p : M->screen->pix) drawn = drawn || p != 0;
    }
    EXPECT_EQ(updates, 26);  // step 1 is boot frame 11
}

TEST_F(BootFixture, CommandLineCartridgeWithoutRunStopsAtTheConsole) {
    app.cart_from_command_line = 1;
    boot_to(90);
    EXPECT_EQ(app.mode, shell_console);
    EXPECT_EQ(app.boot_frame - boot_step_offset, 60);
    EXPECT_EQ(app.pending, pending_none);
}

TEST_F(BootFixture, BrowserFlagLeavesTheBootAtStepSeventy) {
    app.browser_flag = 1;
    boot_to(90);
    EXPECT_EQ(app.mode, shell_console);
    EXPECT_EQ(app.boot_frame - boot_step_offset, 70);
}

TEST_F(BootFixture, WithoutHeadCartTheBootStaysAndRunFlagStartsTheCartridge) {
    boot_to(80);
    EXPECT_EQ(app.mode, shell_boot);  // no resource pod: "head cart not found"
    app.cart_from_command_line = 1;
    app.run_flag = 1;
    boot_to(90);
    EXPECT_EQ(app.pending, pending_run_cart);
}

TEST_F(BootFixture, RunFlagStartsTheNamedCartridgeInsteadOfTheHeadCartridge) {
    fenn_pod* pod = new fenn_pod;
    for (int i = 0; i < 4; ++i) pod->items.push_back(std::make_unique<fenn_pod_item>());
    vexel_cart* head = vexel_cart_create();
    std::snprintf(head->code, vexel_code_buffer, "-- head");
    head->version = vexel_cart_newest_version;
    pod->items[3]->type = fenn_pod_type_data;
    pod->items[3]->bytes.resize(0x8000);
    ASSERT_EQ(png_cart_save_32k(head, pod->items[3]->bytes.data()), cart_ok);
    std::snprintf(pod->items[3]->name, sizeof pod->items[3]->name, "head.qz");
    vexel_cart_destroy(head);
    fenn_pod* saved = shell_resource_pod;
    shell_resource_pod = pod;
    std::snprintf(M->working_cart->code, vexel_code_buffer, "-- named");

    app.cart_from_command_line = 1;
    app.run_flag = 1;
    boot_to(90);
    EXPECT_EQ(app.pending, pending_run_cart);
    EXPECT_STREQ(M->working_cart->code, "-- named");

    // Without a cartridge of its own the head cartridge starts at step 80.
    app.cart_from_command_line = 0;
    app.pending = pending_none;
    boot_to(90);
    EXPECT_EQ(app.pending, pending_run_cart);
    EXPECT_EQ(app.boot_frame - boot_step_offset, 80);
    EXPECT_EQ(std::string(M->working_cart->code).rfind("-- head", 0), 0u);

    shell_resource_pod = saved;
    fenn_destroy_pod(pod);
}

TEST_F(BootFixture, ResetEffectEndsInARunWithTheSameParameters) {
    std::strcpy(M->runner->params, "level 3");
    app.mode = shell_running;
    M->reset_glitch = 1;
    for (int i = 0; i < 3; ++i) {
        boot_update_reset_glitch(M);
        EXPECT_EQ(app.pending, pending_none);
    }
    boot_update_reset_glitch(M);
    EXPECT_EQ(M->reset_glitch, 0);
    EXPECT_EQ(app.pending, pending_run_cart);
    EXPECT_STREQ(M->runner->pending_params, "level 3");
    EXPECT_EQ(M->error_string[0], 0);  // the scrambling raised no fault
}

TEST_F(BootFixture, ARunCartridgeThatDoesNotCompileLeavesTheConsoleUsable) {
    std::snprintf(M->working_cart->code, vexel_code_buffer, "x = = 1");
    vexel_split_code_to_tabs(M);  // what the runner joins and starts
    app.cart_from_command_line = 1;
    app.run_flag = 1;
    boot_to(90);
    ASSERT_EQ(app.pending, pending_run_cart);
    app.pending = pending_none;
    run_cart(M);
    EXPECT_EQ(app.mode, shell_console);  // the prompt takes the keys again
    EXPECT_FALSE(M->program_active);
}

TEST_F(BootFixture, ACommandLineCartridgeThatDidNotLoadIsNamedOnTheConsole) {
    std::snprintf(app_auto_load_file, sizeof app_auto_load_file, "/somewhere/broken.qz");
    std::snprintf(app.load_failure, sizeof app.load_failure, "not a cartridge");
    app.cart_from_command_line = 1;
    fenn_pod* font = vexel_create_console_font();
    M->console_font = font;
    boot_to(90);
    M->console_font = nullptr;
    fenn_destroy_pod(font);
    EXPECT_EQ(app.mode, shell_console);  // no menu cartridge: the reason stays in view
    EXPECT_EQ(app.pending, pending_none);
    int red = 0;
    for (uint8_t p : M->screen->pix) red += p == 8;
    EXPECT_GT(red, 50);  // "could not load broken.qz" and "(not a cartridge)"
    app_auto_load_file[0] = 0;
}

TEST_F(BootFixture, ACommandLineCartridgesWarningsOutliveTheBootsClearedScreen) {
    const std::string text = "vexel cartridge\nversion 16\n";
    vexel_cart* cart = nullptr;
    ASSERT_EQ(vexel_cart_read_text(text.data(), text.size(), &cart), cart_ok);
    vexel_prepare_loaded_cart(M, cart, "newer.qz");  // printed here, then cleared by the boot
    app.cart_from_command_line = 1;
    fenn_pod* font = vexel_create_console_font();
    M->console_font = font;
    auto orange = [&] { return std::count(M->screen->pix.begin(), M->screen->pix.end(), uint8_t(9)); };
    boot_to(59);
    const auto before = orange();
    app.boot_frame++;
    boot_update(M);  // step 60 says it again
    M->console_font = nullptr;
    fenn_destroy_pod(font);
    EXPECT_GT(orange(), before + 50);
    boot_reboot(M);  // forgotten with the cartridge
    EXPECT_TRUE(M->file.load_warnings.empty());
}
