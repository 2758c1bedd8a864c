// icon_look: the viewer in an SDL2 window.

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32.h"

namespace {

// Without a display SDL falls back to drivers that show nothing; a person
// would wait for a window that never comes. Those count as no display unless
// asked for by name.
bool shows_nothing(const char* driver) {
    if (driver == nullptr) return true;
    if (getenv("SDL_VIDEODRIVER") != nullptr) return false;
    return strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0 ||
           strcmp(driver, "evdev") == 0;
}

int no_display(const char* why) {
    fprintf(stderr, "icon_look: no display to open a window on (%s); run icon_look_headless instead\n",
            why);
    return 3;
}

}  // namespace

int main(int, char**) {
    SDL_SetMainReady();
#if defined(__linux__)
    // Try only the window systems that are there, so a machine without one
    // gets one clear line rather than the probes' own complaints.
    if (getenv("SDL_VIDEODRIVER") == nullptr) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER,
                    getenv("WAYLAND_DISPLAY") != nullptr ? "wayland,x11" : "x11,KMSDRM");
    }
#endif
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return no_display(SDL_GetError());
    if (shows_nothing(SDL_GetCurrentVideoDriver())) {
        SDL_Quit();
        return no_display("only a video driver that shows nothing was found");
    }
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    SDL_Quit();
    return code;
}
