// The music editor (an empty page until it is written).
#include "app/editor.h"

const editor_page editor_music_page = {"music", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
