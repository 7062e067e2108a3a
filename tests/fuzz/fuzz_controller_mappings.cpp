// Feeds arbitrary bytes to the reader of the user's controller mapping file;
// SDL's mapping parser sees every line that survives the splitting.
#include <SDL.h>

#include <cstdint>
#include <cstdlib>

#include "framework/fenn_joystick.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
        bool ok = SDL_Init(SDL_INIT_GAMECONTROLLER) == 0;
        std::atexit(SDL_Quit);
        return ok;
    }();
    if (!ready) return 0;
    int lines = 1;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    int added = fenn_add_mappings_from_text(reinterpret_cast<const char*>(data), size);
    if (added < 0 || added > lines) std::abort();
    return 0;
}
