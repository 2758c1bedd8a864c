// The SDL2 backend: a real window for people.

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>

#include "platform/backend.h"

namespace {

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
bool texture_is_rgb555 = false;
int texture_width = 0;
int texture_height = 0;
// RGB555 to the renderer's native 32-bit format, when it has no RGB555 textures.
uint32_t* rgb555_to_native = nullptr;
const uint16_t* shown_pixels = nullptr;

// Fills the RGB555 to native table; false if the format is unknown to SDL.
bool make_conversion_table(uint32_t format) {
    SDL_PixelFormat* native = SDL_AllocFormat(format);
    if (native == nullptr) return false;
    rgb555_to_native = static_cast<uint32_t*>(SDL_malloc(32768 * sizeof(uint32_t)));
    if (rgb555_to_native != nullptr) {
        for (uint32_t c = 0; c < 32768; c++) {
            uint32_t r = (c >> 10) & 31;
            uint32_t g = (c >> 5) & 31;
            uint32_t b = c & 31;
            rgb555_to_native[c] =
                SDL_MapRGB(native, static_cast<uint8_t>((r << 3) | (r >> 2)),
                           static_cast<uint8_t>((g << 3) | (g >> 2)),
                           static_cast<uint8_t>((b << 3) | (b >> 2)));
        }
    }
    SDL_FreeFormat(native);
    return rgb555_to_native != nullptr;
}

// The texture format the renderer takes without converting: the first it
// lists. Renderers that merely accept RGB555 convert it on every frame (the
// software renderer in its blit, OpenGL on upload), which costs more than the
// table lookup into the native format.
uint32_t native_texture_format() {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0 && info.num_texture_formats > 0) {
        uint32_t first = info.texture_formats[0];
        if (first == SDL_PIXELFORMAT_RGB555 || SDL_BITSPERPIXEL(first) == 32) return first;
    }
    return SDL_PIXELFORMAT_ARGB8888;
}

int virtual_key(SDL_Keycode key) {
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_F1: return VK_F1;
    case SDLK_F2: return VK_F2;
    case SDLK_F3: return VK_F3;
    default: return 0;
    }
}

LPARAM client_lparam(int x, int y) {
    return static_cast<LPARAM>((x & 0xFFFF) | ((y & 0xFFFF) << 16));
}

void set_cursor_from(int x, int y) {
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);
    plat_set_cursor(wx + x, wy + y);
}

}  // namespace

void backend_client_size(DWORD style, int width, int height, int* client_width,
                         int* client_height) {
    if (style == static_cast<DWORD>(WS_OVERLAPPEDWINDOW)) {
        // The client area Windows 10 gives such a window at 96 DPI.
        *client_width = width - 16;
        *client_height = height - 39;
    } else {
        *client_width = width;
        *client_height = height;
    }
}

bool backend_create_window(const char* title, int client_width, int client_height,
                           int* screen_x, int* screen_y) {
    window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                              client_width, client_height, SDL_WINDOW_HIDDEN);
    if (window == nullptr) {
        fprintf(stderr, "icon_look: cannot create the window: %s\n", SDL_GetError());
        return false;
    }
    renderer = SDL_CreateRenderer(window, -1, 0);
    if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) {
        fprintf(stderr, "icon_look: cannot draw into the window: %s\n", SDL_GetError());
        SDL_DestroyWindow(window);
        window = nullptr;
        return false;
    }
    uint32_t format = native_texture_format();
    // Without a table SDL converts RGB555 itself: slower, but still right.
    if (format != SDL_PIXELFORMAT_RGB555 && !make_conversion_table(format)) {
        format = SDL_PIXELFORMAT_RGB555;
    }
    texture_is_rgb555 = format == SDL_PIXELFORMAT_RGB555;
    texture = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING, client_width,
                                client_height);
    if (texture == nullptr) {
        fprintf(stderr, "icon_look: cannot make the window's picture: %s\n", SDL_GetError());
        backend_destroy_window();
        return false;
    }
    texture_width = client_width;
    texture_height = client_height;
    SDL_GetWindowPosition(window, screen_x, screen_y);
    return true;
}

void backend_show_window() {
    if (window != nullptr) SDL_ShowWindow(window);
}

void backend_destroy_window() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_free(rgb555_to_native);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
    rgb555_to_native = nullptr;
    shown_pixels = nullptr;
}

void backend_present(const uint16_t* pixels, int width, int height) {
    shown_pixels = pixels;
    if (texture == nullptr || width != texture_width || height != texture_height) return;
    void* target = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture, nullptr, &target, &pitch) != 0) return;
    for (int y = 0; y < height; y++) {
        const uint16_t* src = pixels + static_cast<size_t>(y) * width;
        uint8_t* row = static_cast<uint8_t*>(target) + static_cast<size_t>(y) * pitch;
        if (texture_is_rgb555) {
            SDL_memcpy(row, src, static_cast<size_t>(width) * 2);
        } else if (rgb555_to_native != nullptr) {
            uint32_t* out = reinterpret_cast<uint32_t*>(row);
            for (int x = 0; x < width; x++) out[x] = rgb555_to_native[src[x] & 0x7FFF];
        }
    }
    SDL_UnlockTexture(texture);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
}

void backend_pump() {
    HWND main = plat_main_window();
    SDL_Event e;
    // Each event posts at most one message: what the queue cannot take now
    // waits in SDL's queue for the next pump, rather than being dropped (a
    // button going up or a close after a stall).
    while (plat_queue_room() > 0 && SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: plat_post(main, WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                plat_post(main, WM_CLOSE, 0, 0);
            } else if (e.window.event == SDL_WINDOWEVENT_MOVED) {
                plat_post(main, WM_MOVE, 0, client_lparam(e.window.data1, e.window.data2));
            } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED && texture != nullptr) {
                SDL_RenderCopy(renderer, texture, nullptr, nullptr);
                SDL_RenderPresent(renderer);
            }
            break;
        case SDL_MOUSEMOTION:
            set_cursor_from(e.motion.x, e.motion.y);
            plat_post(main, WM_MOUSEMOVE, 0, client_lparam(e.motion.x, e.motion.y));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            set_cursor_from(e.button.x, e.button.y);
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            UINT message = 0;
            if (e.button.button == SDL_BUTTON_LEFT) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            if (e.button.button == SDL_BUTTON_RIGHT) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            if (message != 0) plat_post(main, message, 0, client_lparam(e.button.x, e.button.y));
            break;
        }
        case SDL_KEYDOWN: {
            int key = virtual_key(e.key.keysym.sym);
            if (key != 0) plat_post(main, WM_KEYDOWN, static_cast<WPARAM>(key), 1);
            break;
        }
        default: break;
        }
    }
}

uint32_t backend_tick() {
    return SDL_GetTicks();
}

bool backend_key_down(int key) {
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    switch (key) {
    case VK_F1: return keys[SDL_SCANCODE_F1] != 0;
    case VK_F2: return keys[SDL_SCANCODE_F2] != 0;
    case VK_F3: return keys[SDL_SCANCODE_F3] != 0;
    case VK_ESCAPE: return keys[SDL_SCANCODE_ESCAPE] != 0;
    default: return false;
    }
}

void backend_set_capture(bool on) {
    SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE);
}

void backend_message_box(const char* text, const char* caption) {
    char utf8[1024];
    plat_sjis_to_utf8(text, utf8, sizeof utf8);
    fprintf(stderr, "%s: %s\n", caption, utf8);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, utf8, window);
}

void backend_debug_string(const char*) {}

bool backend_dib_sections_fail() {
    return false;
}
