// The map editor (an empty page until it is written).
#include "app/editor.h"

const editor_page editor_map_page = {"map", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
