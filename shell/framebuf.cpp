#include "shell/framebuf.h"

#include <cstring>

#include "render/surface.h"
#include "shell/memory.h"

namespace {

FrameBuffer* surfaces = nullptr;
HWND served_window = nullptr;
HDC window_dc = nullptr;
int32_t depth = 0;
int32_t width = 0;
int32_t height = 0;
int32_t current = 0;
int32_t flip_mask = 0;
uint32_t clear_colour = 0;
int32_t min_interval = 0;
uint32_t last_frame_start = 0;
bool frame_begun = false;  // since start-up
// Surfaces 0 and 1 exist: only then is anything cleared, drawn or copied.
bool surfaces_ready = false;

void store32(void* p, uint32_t value) {
    memcpy(p, &value, sizeof value);
}

}  // namespace

int32_t fb_init(HWND window) {
    fb_release();  // a second start-up must not leak the first surfaces
    surfaces = static_cast<FrameBuffer*>(mem_alloc(FB_SLOTS * static_cast<int32_t>(sizeof(FrameBuffer))));
    if (surfaces == nullptr) return -1;
    for (int32_t i = 0; i < FB_SLOTS; i++) {
        surfaces[i].dc = nullptr;
        surfaces[i].bitmap = nullptr;
        surfaces[i].pixels = nullptr;
    }
    served_window = window;
    frame_begun = false;
    fb_set_min_interval(FB_DEFAULT_INTERVAL);
    clear_colour = 0;
    return fb_set_depth(16);
}

void fb_release() {
    if (surfaces != nullptr) {
        for (int32_t i = 0; i < FB_SLOTS; i++) fb_release_surface(i);
    }
    mem_free(surfaces);
    surfaces = nullptr;
    surfaces_ready = false;
    // As before the first start-up: the next one makes its surfaces again.
    depth = 0;
}

int32_t fb_set_depth(int32_t bits) {
    if (bits == depth) return 0;
    depth = bits;
    return fb_create_surfaces();
}

int32_t fb_create_surfaces() {
    surfaces_ready = false;
    RECT client = {0, 0, 0, 0};
    GetClientRect(served_window, &client);
    // The rasterizers step rows by the width, and DIB rows are padded to
    // 4 bytes: an odd width gets one more column so the two agree.
    width = (client.right + 1) & ~1;
    height = client.bottom;
    fb_release_surface(0);
    fb_release_surface(1);
    window_dc = GetDC(served_window);
    int32_t made = 0;
    while (made < 2 && fb_create_surface(window_dc, made, width, height, depth) == 0) made++;
    ReleaseDC(served_window, window_dc);
    window_dc = nullptr;
    if (made == 2) {
        current = 0;
        flip_mask = 0;
        height = height - 1;
        surfaces_ready = true;
        // Surfaces made again after start-up (another depth) have new pixels.
        draw_set_surface();
        return 0;
    }
    error_box(MSG_SURFACE_FAILED);
    return -1;
}

int32_t fb_create_surface(HDC dc, int32_t slot, int32_t surface_width, int32_t surface_height,
                          int32_t bits) {
    if (fb_release_surface(slot) != 0) return -1;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = surface_width;
    info.bmiHeader.biHeight = -surface_height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    FrameBuffer& s = surfaces[slot];
    s.dc = CreateCompatibleDC(dc);
    if (s.dc == nullptr) {
        fb_release_surface(slot);
        return -1;
    }
    void* bits_pointer = nullptr;
    s.bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits_pointer, nullptr, 0);
    if (s.bitmap == nullptr) {
        fb_release_surface(slot);
        return -1;
    }
    s.pixels = static_cast<uint16_t*>(bits_pointer);
    SelectObject(s.dc, s.bitmap);
    return 0;
}

int32_t fb_release_surface(int32_t slot) {
    if (slot < 0 || slot >= FB_SLOTS) return -2;
    if (surfaces == nullptr) return -1;
    FrameBuffer& s = surfaces[slot];
    // Delete the DC first: a bitmap still selected into a DC cannot be deleted.
    if (s.dc != nullptr) DeleteDC(s.dc);
    if (s.bitmap != nullptr) DeleteObject(s.bitmap);
    s.dc = nullptr;
    s.bitmap = nullptr;
    if (s.pixels != nullptr && draw_surface()->pixels == s.pixels) {
        // The rasterizers must not go on writing into the freed bitmap.
        draw_set_surface_to(nullptr, 0, 0);
    }
    s.pixels = nullptr;
    if (slot == current) surfaces_ready = false;
    return 0;
}

void fb_set_clear_colour(int32_t red, int32_t green, int32_t blue) {
    uint32_t c = (static_cast<uint32_t>(red & 31) << 10) | (static_cast<uint32_t>(green & 31) << 5) |
                 static_cast<uint32_t>(blue & 31);
    clear_colour = c | (c << 16);
}

void fb_set_min_interval(int32_t milliseconds) {
    min_interval = milliseconds;
}

void fb_begin_frame(HWND window, uint32_t flags) {
    uint16_t* pixels = fb_pixels();
    served_window = window;
    window_dc = GetDC(window);
    DWORD now = GetTickCount();
    // The first frame never waits, whatever the counter reads; the ticks
    // since the last frame are compared unsigned, so that a counter past its
    // half, or a gap of 25 days and more (a machine asleep), is no reason to
    // wait until it wraps.
    if (frame_begun) {
        const uint32_t interval = min_interval > 0 ? static_cast<uint32_t>(min_interval) : 0;
        while (now - last_frame_start < interval) now = GetTickCount();
    }
    frame_begun = true;
    last_frame_start = now;
    int64_t words = static_cast<int64_t>(width >> 1) * (flags & FB_CLEAR) * height;
    if (words > 0 && pixels != nullptr) {
        uint8_t* p = reinterpret_cast<uint8_t*>(pixels);
        for (int64_t i = 0; i < words; i++) store32(p + i * 4, clear_colour);
    }
}

void fb_present() {
    if (surfaces_ready) {
        BitBlt(window_dc, 0, 0, width, height, surfaces[current].dc, 0, 0, SRCCOPY);
    }
    if (window_dc != nullptr) ReleaseDC(served_window, window_dc);
    window_dc = nullptr;
    current = current ^ flip_mask;
}

int32_t fb_width() {
    return width;
}

int32_t fb_height() {
    return height;
}

uint16_t* fb_pixels() {
    return surfaces_ready ? surfaces[current].pixels : nullptr;
}

HWND fb_window() {
    return served_window;
}

uint32_t fb_clear_colour() {
    return clear_colour;
}

int32_t fb_current_surface() {
    return current;
}
