// The code editor (an empty page until it is written).
#include "app/editor.h"

const editor_page editor_code_page = {"code", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

void editor_code_goto(vexel_machine*, int, int) {}
