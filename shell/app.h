// The entry point, the window procedure, start-up, the frame and release.
#pragma once

#include <cstdint>

#include "platform/win32.h"

HWND app_create_window(HINSTANCE instance, const char* class_name, const char* title);
LRESULT CALLBACK app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int32_t app_init(HWND window);
void app_term();
void app_frame(HWND window, int32_t x, int32_t y);

// The angle of the circling light that the next frame uses.
int32_t app_light_angle();
