// Mouse buttons, capture, per-frame position samples and the cursor table.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr uint32_t MOUSE_RIGHT = 1;
constexpr uint32_t MOUSE_LEFT = 2;
constexpr int32_t MOUSE_CURSOR_SLOTS = 8;

struct MouseState {
    int32_t previous_x, previous_y;
    int32_t current_x, current_y;
    uint32_t buttons;
};

int32_t mouse_init();
void mouse_release();
int32_t mouse_destroy_cursor(int32_t slot);
void mouse_left_down();
void mouse_left_up();
void mouse_right_down();
void mouse_right_up();
void mouse_sample(int32_t x, int32_t y);
void mouse_delta(int32_t* dx, int32_t* dy);
uint32_t mouse_state(int32_t* x, int32_t* y);
// Slot contents of the cursor table; null when there is no table.
HCURSOR mouse_cursor(int32_t slot);
