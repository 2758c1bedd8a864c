// The off-screen RGB555 surfaces, frame pacing and the copy to the window.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "shell/fbinfo.h"

constexpr int32_t FB_SLOTS = 8;
constexpr uint32_t FB_CLEAR = 1;
constexpr int32_t FB_DEFAULT_INTERVAL = 20;

struct FrameBuffer {
    HDC dc;
    HBITMAP bitmap;
    uint16_t* pixels;
};

int32_t fb_init(HWND window);
void fb_release();
int32_t fb_set_depth(int32_t bits);
int32_t fb_create_surfaces();
int32_t fb_create_surface(HDC dc, int32_t slot, int32_t width, int32_t height, int32_t bits);
int32_t fb_release_surface(int32_t slot);
void fb_set_clear_colour(int32_t red, int32_t green, int32_t blue);
void fb_set_min_interval(int32_t milliseconds);
void fb_begin_frame(HWND window, uint32_t flags);
void fb_present();
HWND fb_window();

// For tests: the 32-bit clear word and the surface index drawn and shown.
uint32_t fb_clear_colour();
int32_t fb_current_surface();
