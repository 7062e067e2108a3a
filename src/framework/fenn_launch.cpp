// Hands a page or folder to the desktop's program for it, through SDL.
#include <SDL.h>

#include <string>

#include "framework/fenn_host.h"
#include "framework/fenn_log.h"

int fenn_launch_html(const char* target) {
    std::string t = fenn_launch_target(target);
    fenn_debug("launch: [%s] ", t.empty() ? (target ? target : "") : t.c_str());
    int result = t.empty() ? 1 : (SDL_OpenURL(t.c_str()) == 0 ? 0 : 2);
    fenn_debug("result: %d\n", result);
    return result;
}
