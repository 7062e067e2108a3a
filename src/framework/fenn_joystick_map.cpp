// The built-in controller mapping table. Each entry is written here from the
// device's USB vendor and product numbers and the button layout its Linux
// driver reports; GUIDs follow SDL's Linux form: bus, vendor, product and
// version as little-endian 16-bit words each followed by a zero word.
#include "framework/fenn_joystick.h"

#include <iterator>

namespace {

// Layouts by driver family.
#define XPAD_LAYOUT                                                                                    \
    "a:b0,b:b1,x:b2,y:b3,back:b6,guide:b8,start:b7,leftstick:b9,rightstick:b10,leftshoulder:b4,"       \
    "rightshoulder:b5,dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,leftx:a0,lefty:a1,rightx:a3,"     \
    "righty:a4,lefttrigger:a2,righttrigger:a5,"
#define SONY_LAYOUT                                                                                    \
    "a:b0,b:b1,x:b3,y:b2,back:b8,guide:b10,start:b9,leftstick:b11,rightstick:b12,leftshoulder:b4,"     \
    "rightshoulder:b5,dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,leftx:a0,lefty:a1,rightx:a3,"     \
    "righty:a4,lefttrigger:a2,righttrigger:a5,"
#define SONY3_LAYOUT                                                                                   \
    "a:b0,b:b1,x:b3,y:b2,back:b8,guide:b10,start:b9,leftstick:b11,rightstick:b12,leftshoulder:b4,"     \
    "rightshoulder:b5,dpup:b13,dpdown:b14,dpleft:b15,dpright:b16,leftx:a0,lefty:a1,rightx:a3,"         \
    "righty:a4,lefttrigger:a2,righttrigger:a5,"
#define DINPUT_LAYOUT                                                                                  \
    "a:b1,b:b2,x:b0,y:b3,back:b8,start:b9,leftstick:b10,rightstick:b11,leftshoulder:b4,"               \
    "rightshoulder:b5,lefttrigger:b6,righttrigger:b7,dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,"  \
    "leftx:a0,lefty:a1,rightx:a2,righty:a3,"
#define RETRO_LAYOUT                                                                                   \
    "a:b2,b:b1,x:b3,y:b0,back:b8,start:b9,leftshoulder:b4,rightshoulder:b5,leftx:a0,lefty:a1,"
#define RETRO_ALT_LAYOUT                                                                               \
    "a:b1,b:b0,x:b3,y:b2,back:b6,start:b7,leftshoulder:b4,rightshoulder:b5,leftx:a0,lefty:a1,"
#define DRAGONRISE_LAYOUT                                                                              \
    "a:b2,b:b1,x:b3,y:b0,back:b8,start:b9,leftshoulder:b4,rightshoulder:b5,lefttrigger:b6,"            \
    "righttrigger:b7,leftstick:b10,rightstick:b11,dpup:h0.1,dpdown:h0.4,dpleft:h0.8,dpright:h0.2,"     \
    "leftx:a0,lefty:a1,rightx:a3,righty:a4,"

#define LINUX "platform:Linux,"

const char* const builtin[] = {
    // Microsoft and compatible (xpad driver), USB.
    "030000005e0400008e02000010010000,Xbox 360 Controller," XPAD_LAYOUT LINUX,
    "030000005e0400008e02000014010000,Xbox 360 Controller," XPAD_LAYOUT LINUX,
    "030000005e0400008e02000072050000,Xbox 360 Controller," XPAD_LAYOUT LINUX,
    "030000005e0400001907000000010000,Xbox 360 Wireless Receiver," XPAD_LAYOUT LINUX,
    "030000005e040000d102000001010000,Xbox One Controller," XPAD_LAYOUT LINUX,
    "030000005e040000dd02000003020000,Xbox One Controller," XPAD_LAYOUT LINUX,
    "030000005e040000ea02000001030000,Xbox One S Controller," XPAD_LAYOUT LINUX,
    "030000005e040000ea02000008040000,Xbox One S Controller," XPAD_LAYOUT LINUX,
    "030000005e040000120b000009050000,Xbox Series Controller," XPAD_LAYOUT LINUX,
    "030000005e040000e302000003020000,Xbox One Elite Controller," XPAD_LAYOUT LINUX,
    "030000006d0400001dc2000014400000,Logitech F310 Gamepad (XInput)," XPAD_LAYOUT LINUX,
    "030000006d0400001ec2000020200000,Logitech F510 Gamepad (XInput)," XPAD_LAYOUT LINUX,
    "030000006d0400001fc2000005030000,Logitech F710 Gamepad (XInput)," XPAD_LAYOUT LINUX,
    // Sony (hid-sony / hid-playstation), USB and Bluetooth.
    "030000004c0500006802000011810000,PS3 Controller," SONY3_LAYOUT LINUX,
    "050000004c0500006802000000810000,PS3 Controller," SONY3_LAYOUT LINUX,
    "030000004c050000c405000011810000,PS4 Controller," SONY_LAYOUT LINUX,
    "050000004c050000c405000000810000,PS4 Controller," SONY_LAYOUT LINUX,
    "030000004c050000cc09000011810000,PS4 Controller," SONY_LAYOUT LINUX,
    "050000004c050000cc09000000810000,PS4 Controller," SONY_LAYOUT LINUX,
    "030000004c050000e60c000011810000,PS5 Controller," SONY_LAYOUT LINUX,
    "050000004c050000e60c000000810000,PS5 Controller," SONY_LAYOUT LINUX,
    // DirectInput-style pads.
    "030000006d04000016c2000011010000,Logitech Dual Action," DINPUT_LAYOUT LINUX,
    "030000006d04000016c2000010010000,Logitech Dual Action," DINPUT_LAYOUT LINUX,
    "030000006d04000018c2000010010000,Logitech RumblePad 2," DINPUT_LAYOUT LINUX,
    "030000006d04000019c2000011010000,Logitech Cordless RumblePad 2," DINPUT_LAYOUT LINUX,
    "03000000790000000600000010010000,DragonRise Generic USB Joystick," DRAGONRISE_LAYOUT LINUX,
    // Small retro pads with a d-pad reported as axes 0 and 1.
    "03000000790000001100000010010000,Retro Controller," RETRO_LAYOUT LINUX,
    "03000000100800000100000010010000,Twin USB PS2 Adapter," DRAGONRISE_LAYOUT LINUX,
    "030000001008000001e5000010010000,NEXT SNES Controller," RETRO_LAYOUT LINUX,
    "03000000830500006020000010010000,iBuffalo SNES Controller," RETRO_ALT_LAYOUT LINUX,
    "03000000bd12000015d0000010010000,Tomee SNES USB Controller," RETRO_LAYOUT LINUX,
};

}  // namespace

int fenn_builtin_mapping_count() { return int(std::size(builtin)); }

const char* fenn_builtin_mapping(int i) {
    return i >= 0 && i < fenn_builtin_mapping_count() ? builtin[i] : nullptr;
}
