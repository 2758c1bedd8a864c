// What a backend supplies to the Win32 subset of platform/, and what the
// subset offers its backends.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// --- implemented by each backend ---
// Client size for a window of outer size (width, height) and style; the
// backend may impose its own (headless --client).
void backend_client_size(DWORD style, int width, int height, int* client_width,
                         int* client_height);
// Makes the native window (hidden). Fills the screen position of the client
// area's top-left corner. False when no window can be made.
bool backend_create_window(const char* title, int client_width, int client_height,
                           int* screen_x, int* screen_y);
void backend_show_window();
void backend_destroy_window();
// The window's pixels changed: rows of `width` RGB555 pixels, top row first.
void backend_present(const uint16_t* pixels, int width, int height);
// Called when the message queue is empty: native events become messages.
void backend_pump();
uint32_t backend_tick();
bool backend_key_down(int virtual_key);
void backend_set_capture(bool on);
void backend_message_box(const char* text, const char* caption);
void backend_debug_string(const char* text);
// True while DIB sections are to fail (tests of surface failures).
bool backend_dib_sections_fail();

// --- offered by the subset ---
void plat_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
HWND plat_main_window();
POINT plat_cursor();
void plat_set_cursor(int x, int y);
bool plat_queue_empty();
// Messages the queue can still take.
int plat_queue_room();
bool plat_quit_pending();
// The pixels last copied to the window: the source DIB if it still exists,
// else the window's own copy. False when nothing was presented.
bool plat_last_frame(const uint16_t** pixels, int* stride_pixels, int* width, int* height);
void plat_reset();

// Message boxes are logged for the headless backend and tests.
void plat_log_message(const char* text);

// Shift-JIS (code page 932) to UTF-8, always NUL-terminated.
void plat_sjis_to_utf8(const char* sjis, char* utf8, int utf8_size);

// Image files of RGB555 pixels (rows of `stride` pixels): 0 or -1.
int plat_write_bmp16(const char* path, const uint16_t* pixels, int stride, int width, int height);
int plat_write_png(const char* path, const uint16_t* pixels, int stride, int width, int height);
