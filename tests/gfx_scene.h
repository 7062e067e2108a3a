// Helpers for the drawing tests: a fresh machine with a screen, a cartridge
// whose sprite sheet holds recognisable test sprites, the system's console
// font, script-style call shorthands, and golden-image comparison.
//
// Golden pictures live in tests/machine/golden/NAME.png as 8-bit indexed
// PNGs through a fixed 16-colour palette. Run the tests with
// VEXEL_UPDATE_GOLDEN=1 to (re)write them; a mismatch writes the picture
// actually drawn to <build>/golden_out/NAME.png for inspection.
#pragma once
#include <cstdint>
#include <string>

#include "cart/cart.h"
#include "framework/fenn_pod.h"
#include "machine/gfx.h"
#include "machine/machine.h"

namespace gfx_test {

// Raw fixed-point value of an integer or of a number with a fraction.
constexpr vexel_fix F(int v) { return vexel_fix(uint32_t(v) << 16); }
// Values at or above 32768 wrap to negative, as a script's hex literals do.
constexpr vexel_fix Fd(double v) { return vexel_fix(uint32_t(int64_t(v * 65536.0))); }

// The machine the drawing tests draw on, made by set_up.
extern vexel_machine* M;

// Sets up M: a fresh machine whose 128x128 screen is cleared to 0, its
// cartridge with test sprites, the draw state a program starts with, the
// built-in console font, and the draw charge counter at 0. tear_down frees
// all of it.
void set_up();
void tear_down();

// Sprite n of the test sheet gets a distinctive 8x8 picture: a border of
// colour (n % 15) + 1, an asymmetric inner mark and some colour-0 pixels.
void paint_test_sprite(vexel_cart* cart, int n);

// Compares the screen with the golden picture; returns "" when equal, else
// a description of the difference.
std::string compare_golden(const std::string& name);

// The screen pixel (x, y), 0-15.
int px(int x, int y);
// How many pixels of the screen hold colour c.
int count_colour(int c);

}  // namespace gfx_test
