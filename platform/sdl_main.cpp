// icon_look: the viewer in an SDL2 window.

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>

#include "platform/win32.h"

int main(int, char**) {
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr,
                "icon_look: no display to open a window on (%s); run icon_look_headless "
                "instead\n",
                SDL_GetError());
        return 3;
    }
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    SDL_Quit();
    return code;
}
