// The sprite editor (an empty page until it is written).
#include "app/editor.h"

const editor_page editor_sprite_page = {"sprite", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
