#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/boot.h"
#include "app/shell.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "cart/vdisk.h"
#include "machine/pstate.h"
#include "runtime/run.h"

namespace {

struct BootFixture : ::testing::Test {
    void SetUp() override {
        vexel_pstate_zero();
        std::memset(&app, 0, sizeof app);
        pstate.screen = fenn_create_bitmap(128, 128, 8);
        pstate.display = fenn_create_bitmap(128, 128, 8);
        pstate.cart = vexel_cart_create();
        pstate.working_cart = vexel_cart_create();
        app.exec_mode = 0;
    }
    void TearDown() override {
        vexel_cart_destroy(pstate.working_cart);
        vexel_cart_destroy(pstate.cart);
        fenn_destroy_bitmap(pstate.screen);
        fenn_destroy_bitmap(pstate.display);
        pstate.working_cart = pstate.cart = nullptr;
    }
    // Runs the boot up to and including `step`, one update at a time.
    void boot_to(int step) {
        boot_init();
        while (pstate.boot_frame - boot_step_offset < step && pstate.mode == shell_boot && !pstate.pending) {
            pstate.boot_frame++;
            move_boot();
        }
    }
};

}  // namespace

TEST_F(BootFixture, FirstVisibleStepComesTwentyFiveUpdatesAfterInit) {
    boot_init();
    EXPECT_EQ(pstate.mode, shell_boot);
    EXPECT_EQ(pstate.boot_frame, -15);
    int updates = 0;
    bool drawn = false;
    while (!drawn && updates < 100) {
        pstate.boot_frame++;
        ++updates;
        move_boot();
        for (uint8_t p : pstate.screen->pix) drawn = drawn || p != 0;
    }
    EXPECT_EQ(updates, 26);  // step 1 is boot frame 11
}

TEST_F(BootFixture, CommandLineCartridgeWithoutRunStopsAtTheConsole) {
    app.cart_from_command_line = 1;
    boot_to(90);
    EXPECT_EQ(pstate.mode, shell_console);
    EXPECT_EQ(pstate.boot_frame - boot_step_offset, 60);
    EXPECT_EQ(pstate.pending, pending_none);
}

TEST_F(BootFixture, BrowserFlagLeavesTheBootAtStepSeventy) {
    app.browser_flag = 1;
    boot_to(90);
    EXPECT_EQ(pstate.mode, shell_console);
    EXPECT_EQ(pstate.boot_frame - boot_step_offset, 70);
}

TEST_F(BootFixture, WithoutHeadCartTheBootStaysAndRunFlagStartsTheCartridge) {
    boot_to(80);
    EXPECT_EQ(pstate.mode, shell_boot);  // no resource pod: "head cart not found"
    app.cart_from_command_line = 1;
    app.run_flag = 1;
    boot_to(90);
    EXPECT_EQ(pstate.pending, pending_run_cart);
}

TEST_F(BootFixture, RunFlagStartsTheNamedCartridgeInsteadOfTheHeadCartridge) {
    cpod* pod = new cpod;
    for (int i = 0; i < 4; ++i) pod->items.push_back(std::make_unique<cpod_item>());
    vexel_cart* head = vexel_cart_create();
    std::snprintf(head->code, vexel_code_buffer, "-- head");
    head->version = vexel_cart_newest_version;
    pod->items[3]->type = cpod_type_data;
    pod->items[3]->bytes.resize(0x8000);
    ASSERT_EQ(save_vexel_cart_32k(head, pod->items[3]->bytes.data()), cart_ok);
    std::snprintf(pod->items[3]->name, sizeof pod->items[3]->name, "head.qz");
    vexel_cart_destroy(head);
    cpod* saved = shell_resource_pod;
    shell_resource_pod = pod;
    std::snprintf(pstate.working_cart->code, vexel_code_buffer, "-- named");

    app.cart_from_command_line = 1;
    app.run_flag = 1;
    boot_to(90);
    EXPECT_EQ(pstate.pending, pending_run_cart);
    EXPECT_STREQ(pstate.working_cart->code, "-- named");

    // Without a cartridge of its own the head cartridge starts at step 80.
    app.cart_from_command_line = 0;
    pstate.pending = pending_none;
    boot_to(90);
    EXPECT_EQ(pstate.pending, pending_run_cart);
    EXPECT_EQ(pstate.boot_frame - boot_step_offset, 80);
    EXPECT_EQ(std::string(pstate.working_cart->code).rfind("-- head", 0), 0u);

    shell_resource_pod = saved;
    fenn_destroy_pod(pod);
    clear_embedded_carts();
    vdisk_clear();
}

TEST_F(BootFixture, ResetEffectEndsInARunWithTheSameParameters) {
    std::strcpy(runner.params, "level 3");
    pstate.mode = shell_running;
    pstate.reset_glitch = 1;
    for (int i = 0; i < 3; ++i) {
        update_reset_glitch();
        EXPECT_EQ(pstate.pending, pending_none);
    }
    update_reset_glitch();
    EXPECT_EQ(pstate.reset_glitch, 0);
    EXPECT_EQ(pstate.pending, pending_run_cart);
    EXPECT_STREQ(runner.pending_params, "level 3");
    EXPECT_EQ(pstate.error_string[0], 0);  // the scrambling raised no fault
}
