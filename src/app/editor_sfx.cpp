// The sfx editor (an empty page until it is written).
#include "app/editor.h"

const editor_page editor_sfx_page = {"sfx", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
