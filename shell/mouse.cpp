#include "shell/mouse.h"

#include "geometry/fixed.h"
#include "shell/framebuf.h"
#include "shell/memory.h"

namespace {

MouseState mouse = {0, 0, 0, 0, 0};
HCURSOR* cursors = nullptr;

HCURSOR empty_cursor() {
    return reinterpret_cast<HCURSOR>(static_cast<intptr_t>(-1));
}

}  // namespace

int32_t mouse_init() {
    mouse_release();  // a second start-up must not leak the first table
    cursors = static_cast<HCURSOR*>(
        mem_alloc(MOUSE_CURSOR_SLOTS * static_cast<int32_t>(sizeof(HCURSOR))));
    if (cursors == nullptr) return -1;
    for (int32_t i = 0; i < MOUSE_CURSOR_SLOTS; i++) cursors[i] = empty_cursor();
    cursors[0] = GetCursor();
    return 0;
}

void mouse_release() {
    if (cursors != nullptr) {
        SetClassLongPtrA(fb_window(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursors[0]));
        for (int32_t i = 1; i < MOUSE_CURSOR_SLOTS; i++) mouse_destroy_cursor(i);
    }
    mem_free(cursors);
    cursors = nullptr;
}

int32_t mouse_destroy_cursor(int32_t slot) {
    if (slot < 0 || slot >= MOUSE_CURSOR_SLOTS) return -3;
    if (cursors == nullptr || reinterpret_cast<intptr_t>(cursors[slot]) < 0) return -1;
    DestroyCursor(cursors[slot]);
    cursors[slot] = empty_cursor();
    return slot;
}

void mouse_left_down() {
    SetCapture(fb_window());
    mouse.buttons |= MOUSE_LEFT;
}

void mouse_left_up() {
    ReleaseCapture();
    mouse.buttons &= ~MOUSE_LEFT;
}

void mouse_right_down() {
    SetCapture(fb_window());
    mouse.buttons |= MOUSE_RIGHT;
}

void mouse_right_up() {
    ReleaseCapture();
    mouse.buttons &= ~MOUSE_RIGHT;
}

void mouse_sample(int32_t x, int32_t y) {
    mouse.previous_x = mouse.current_x;
    mouse.previous_y = mouse.current_y;
    mouse.current_x = x;
    mouse.current_y = y;
}

void mouse_delta(int32_t* dx, int32_t* dy) {
    // Any two samples have a 32-bit difference, wrapped as the turn it feeds is.
    *dx = wrap_sub(mouse.current_x, mouse.previous_x);
    *dy = wrap_sub(mouse.current_y, mouse.previous_y);
}

uint32_t mouse_state(int32_t* x, int32_t* y) {
    *x = mouse.current_x;
    *y = mouse.current_y;
    return mouse.buttons;
}

HCURSOR mouse_cursor(int32_t slot) {
    if (cursors == nullptr || slot < 0 || slot >= MOUSE_CURSOR_SLOTS) return nullptr;
    return cursors[slot];
}
