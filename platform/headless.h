// The headless backend's controls, used by the headless runner and by tests
// that drive the program in-process.
#pragma once

#include <cstdint>

// Message boxes shown so far (the raw Shift-JIS texts), oldest first. The log
// keeps the last HEADLESS_MESSAGE_LOG texts.
constexpr int HEADLESS_MESSAGE_LOG = 64;
int headless_message_count();
const char* headless_message(int index);
void headless_clear_messages();
// Print each message box to stderr as "Error: " and the text in UTF-8 (on by
// default).
void headless_print_messages(bool on);

// The virtual clock: GetTickCount returns the current value, then advances it
// by 1 ms.
void headless_set_tick(uint32_t now);
uint32_t headless_peek_tick();

// Asynchronous key state (VK_F1 .. VK_F3 and any other key code).
void headless_set_key(int virtual_key, bool down);

// Virtual cursor in screen coordinates; messages carry it as their pt.
void headless_set_cursor(int x, int y);

// Client size of the next window created (0, 0: what the window style gives).
void headless_set_client_size(int width, int height);

// Make the next CreateDIBSection calls fail (tests of surface failures).
void headless_fail_dib_sections(bool fail);
// Make the next windows fail to be made, as a window system may.
void headless_fail_windows(bool fail);
// Ask the main window to close while the k-th message box (counted from 1
// since the reset) is up, as another program may; 0: never.
void headless_close_at_message(int k);

// GDI objects (DCs and bitmaps) alive now.
int headless_live_gdi_objects();

// Current class cursor of the window class named `class_name`.
uintptr_t headless_class_cursor(const char* class_name);

// Trace: OutputDebugStringA texts are appended to this file, one a line;
// null turns it off. Closing it returns -1 when it could not all be written.
int headless_open_trace(const char* path);
int headless_close_trace();

// Script of input events, queued before the frames they name: at most this
// many at one frame (the message queue holds them all with room to spare).
constexpr int HEADLESS_EVENTS_PER_FRAME = 256;
// Returns 0, or -1 with a message naming the line in `error`.
int headless_load_events(const char* path, char* error, int error_size);
int headless_parse_event_line(const char* line, int line_number, char* error, int error_size);
void headless_clear_events();
// Replays the script every `period` frames (0: once): an event at frame F also
// happens at frames F + period, F + 2 x period, ... Returns -1 when an event
// of the script lies beyond the first period, or the period passes INT64_MAX / 2.
int headless_set_event_period(int64_t period);

// After `frames` frames the window is closed; negative: never.
void headless_set_frame_limit(int64_t frames);
int64_t headless_frames_started();
// Screenshot written when the frame limit is reached (.bmp or .png): what the
// window shows of the last frame. -1 for a path too long to keep.
int headless_set_screenshot(const char* path);
// Whether a screenshot was to be written and could not be (no frame shown, or
// the file could not be made).
bool headless_screenshot_failed();
// The screenshot still to be written ("" once written or when none is asked).
const char* headless_pending_screenshot();
// Writes the last presented frame now; 0 or -1.
int headless_write_screenshot(const char* path);

// Reset every setting and all state of the backend (between tests).
void headless_reset();
