// The headless backend: no window system. A virtual clock, scripted input,
// message boxes printed and logged, frames counted and screenshots written.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/backend.h"
#include "platform/headless.h"

namespace {

constexpr uint32_t CLOCK_START = 1000;
constexpr int MESSAGE_TEXT_SIZE = 256;

enum Action { ACT_MOVE, ACT_LDOWN, ACT_LUP, ACT_RDOWN, ACT_RUP, ACT_KEYDOWN, ACT_KEYUP, ACT_CHAR, ACT_CLOSE };

struct Event {
    int64_t frame;
    Action action;
    int a, b;
};

struct State {
    uint32_t tick = CLOCK_START;
    bool keys[256] = {};
    bool print_messages = true;
    char messages[HEADLESS_MESSAGE_LOG][MESSAGE_TEXT_SIZE] = {};
    int message_total = 0;
    int client_width = 0;
    int client_height = 0;
    bool fail_dibs = false;
    bool fail_windows = false;
    int close_at_message = 0;
    FILE* trace = nullptr;
    std::vector<Event> events;
    size_t next_event = 0;
    int64_t event_period = 0;  // 0: the script runs once
    int64_t event_offset = 0;  // frames added to the script's in this period
    int64_t frame_limit = -1;
    int64_t frames_started = 0;
    bool screenshot_failed = false;
    bool close_requested = false;
    int pumps_after_close = 0;
    char screenshot[4096] = {};
};

State state;

bool ends_with(const char* text, const char* suffix) {
    size_t a = strlen(text), b = strlen(suffix);
    if (a < b) return false;
    for (size_t i = 0; i < b; i++) {
        if (tolower(static_cast<unsigned char>(text[a - b + i])) != suffix[i]) return false;
    }
    return true;
}

LPARAM client_position() {
    POINT pt = plat_cursor();
    return static_cast<LPARAM>((pt.x & 0xFFFF) | ((pt.y & 0xFFFF) << 16));
}

void apply(const Event& e) {
    HWND window = plat_main_window();
    switch (e.action) {
    case ACT_MOVE:
        plat_set_cursor(e.a, e.b);
        plat_post(window, WM_MOUSEMOVE, 0, client_position());
        break;
    case ACT_LDOWN: plat_post(window, WM_LBUTTONDOWN, 1, client_position()); break;
    case ACT_LUP: plat_post(window, WM_LBUTTONUP, 0, client_position()); break;
    case ACT_RDOWN: plat_post(window, WM_RBUTTONDOWN, 2, client_position()); break;
    case ACT_RUP: plat_post(window, WM_RBUTTONUP, 0, client_position()); break;
    case ACT_KEYDOWN: state.keys[e.a & 255] = true; break;
    case ACT_KEYUP: state.keys[e.a & 255] = false; break;
    case ACT_CHAR: plat_post(window, WM_CHAR, static_cast<WPARAM>(e.a), 1); break;
    case ACT_CLOSE: plat_post(window, WM_CLOSE, 0, 0); break;
    }
}

bool parse_int(const char* token, long long low, long long high, long long* value) {
    if (token == nullptr || *token == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(token, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

int key_code(const char* name) {
    if (name == nullptr) return -1;
    if (strcmp(name, "F1") == 0) return VK_F1;
    if (strcmp(name, "F2") == 0) return VK_F2;
    if (strcmp(name, "F3") == 0) return VK_F3;
    return -1;
}

}  // namespace

// --- the backend ---

void backend_client_size(DWORD style, int width, int height, int* client_width,
                         int* client_height) {
    if (state.client_width > 0 && state.client_height > 0) {
        *client_width = state.client_width;
        *client_height = state.client_height;
    } else if (style == static_cast<DWORD>(WS_OVERLAPPEDWINDOW)) {
        // Windows 10 at 96 DPI: 8-pixel borders and a 31-pixel caption.
        *client_width = width - 16;
        *client_height = height - 39;
    } else {
        *client_width = width;
        *client_height = height;
    }
}

bool backend_create_window(const char*, int, int, int* screen_x, int* screen_y) {
    if (state.fail_windows) return false;
    *screen_x = 8;
    *screen_y = 31;
    return true;
}

void backend_show_window() {}
void backend_destroy_window() {}
void backend_present(const uint16_t*, int, int) {}

void backend_pump() {
    if (state.close_requested) {
        // The window was closed but the program goes on: end it.
        if (++state.pumps_after_close > 2) {
            fprintf(stderr, "headless: the program did not end after its window was closed\n");
            PostQuitMessage(3);
        }
        return;
    }
    int64_t next = state.frames_started + 1;
    while (!state.events.empty()) {
        if (state.next_event == state.events.size()) {
            // Script frames are at most INT64_MAX / 2: past that no run gets.
            if (state.event_period <= 0 || state.event_offset > INT64_MAX / 2 - state.event_period) {
                break;
            }
            state.next_event = 0;
            state.event_offset += state.event_period;
        }
        const Event& e = state.events[state.next_event];
        if (e.frame + state.event_offset > next) break;
        apply(e);
        state.next_event++;
    }
    if (!plat_queue_empty()) return;
    if (state.frame_limit >= 0 && state.frames_started >= state.frame_limit) {
        if (state.screenshot[0] != '\0') {
            headless_write_screenshot(state.screenshot);
            state.screenshot[0] = '\0';
        }
        state.close_requested = true;
        plat_post(plat_main_window(), WM_CLOSE, 0, 0);
        return;
    }
    state.frames_started++;
    if (state.trace != nullptr) {
        fprintf(state.trace, "frame %lld\n", static_cast<long long>(state.frames_started));
    }
}

uint32_t backend_tick() {
    return state.tick++;
}

bool backend_key_down(int virtual_key) {
    return virtual_key >= 0 && virtual_key < 256 && state.keys[virtual_key];
}

void backend_set_capture(bool) {}

void backend_message_box(const char* text, const char*) {
    char* slot = state.messages[state.message_total % HEADLESS_MESSAGE_LOG];
    snprintf(slot, MESSAGE_TEXT_SIZE, "%s", text);
    state.message_total++;
    if (state.message_total == state.close_at_message) {
        plat_post(plat_main_window(), WM_CLOSE, 0, 0);
    }
    if (state.print_messages) {
        char utf8[MESSAGE_TEXT_SIZE * 3];
        plat_sjis_to_utf8(text, utf8, sizeof utf8);
        fprintf(stderr, "Error: %s\n", utf8);
    }
}

void backend_debug_string(const char* text) {
    if (state.trace != nullptr) {
        fprintf(state.trace, "%s\n", text);
        fflush(state.trace);
    }
}

// --- controls ---

int headless_message_count() {
    return state.message_total < HEADLESS_MESSAGE_LOG ? state.message_total : HEADLESS_MESSAGE_LOG;
}

const char* headless_message(int index) {
    int count = headless_message_count();
    if (index < 0 || index >= count) return "";
    int first = state.message_total - count;
    return state.messages[(first + index) % HEADLESS_MESSAGE_LOG];
}

void headless_clear_messages() {
    state.message_total = 0;
}

void headless_print_messages(bool on) {
    state.print_messages = on;
}

void headless_set_tick(uint32_t now) {
    state.tick = now;
}

uint32_t headless_peek_tick() {
    return state.tick;
}

void headless_set_key(int virtual_key, bool down) {
    if (virtual_key >= 0 && virtual_key < 256) state.keys[virtual_key] = down;
}

void headless_set_cursor(int x, int y) {
    plat_set_cursor(x, y);
}

void headless_set_client_size(int width, int height) {
    state.client_width = width;
    state.client_height = height;
}

void headless_fail_dib_sections(bool fail) {
    state.fail_dibs = fail;
}

void headless_fail_windows(bool fail) {
    state.fail_windows = fail;
}

void headless_close_at_message(int k) {
    state.close_at_message = k;
}

bool backend_dib_sections_fail() {
    return state.fail_dibs;
}

int headless_open_trace(const char* path) {
    headless_close_trace();
    if (path == nullptr) return 0;
    state.trace = fopen(path, "w");
    return state.trace != nullptr ? 0 : -1;
}

int headless_close_trace() {
    if (state.trace == nullptr) return 0;
    // A write that failed (a full disk) leaves the stream's error set.
    const bool failed = ferror(state.trace) != 0;
    const bool closed = fclose(state.trace) == 0;
    state.trace = nullptr;
    return failed || !closed ? -1 : 0;
}

int headless_parse_event_line(const char* line, int line_number, char* error, int error_size) {
    char copy[512];
    snprintf(copy, sizeof copy, "%s", line);
    char* hash = strchr(copy, '#');
    if (hash != nullptr) *hash = '\0';
    char* tokens[5] = {};
    int count = 0;
    for (char* t = strtok(copy, " \t\r\n"); t != nullptr; t = strtok(nullptr, " \t\r\n")) {
        if (count == 5) {
            snprintf(error, error_size, "line %d: too many words", line_number);
            return -1;
        }
        tokens[count++] = t;
    }
    if (count == 0) return 0;
    long long frame = 0;
    if (count < 2 || !parse_int(tokens[0], 1, INT64_MAX / 2, &frame)) {
        snprintf(error, error_size, "line %d: expected FRAME ACTION [ARGS], FRAME counting from 1",
                 line_number);
        return -1;
    }
    Event e = {frame, ACT_MOVE, 0, 0};
    const char* action = tokens[1];
    int wanted = 0;
    long long x = 0, y = 0;
    if (strcmp(action, "move") == 0) {
        wanted = 2;
        if (count == 4 && parse_int(tokens[2], -32768, 32767, &x) &&
            parse_int(tokens[3], -32768, 32767, &y)) {
            e.a = static_cast<int>(x);
            e.b = static_cast<int>(y);
        } else {
            snprintf(error, error_size, "line %d: move takes two whole numbers X Y", line_number);
            return -1;
        }
    } else if (strcmp(action, "ldown") == 0) {
        e.action = ACT_LDOWN;
    } else if (strcmp(action, "lup") == 0) {
        e.action = ACT_LUP;
    } else if (strcmp(action, "rdown") == 0) {
        e.action = ACT_RDOWN;
    } else if (strcmp(action, "rup") == 0) {
        e.action = ACT_RUP;
    } else if (strcmp(action, "close") == 0) {
        e.action = ACT_CLOSE;
    } else if (strcmp(action, "keydown") == 0 || strcmp(action, "keyup") == 0) {
        wanted = 1;
        e.action = action[3] == 'd' ? ACT_KEYDOWN : ACT_KEYUP;
        e.a = key_code(count == 3 ? tokens[2] : nullptr);
        if (e.a < 0) {
            snprintf(error, error_size, "line %d: %s takes one key: F1, F2 or F3", line_number,
                     action);
            return -1;
        }
    } else if (strcmp(action, "char") == 0) {
        wanted = 1;
        e.action = ACT_CHAR;
        long long c = 0;
        if (count == 3 && parse_int(tokens[2], 0, 255, &c)) {
            e.a = static_cast<int>(c);
        } else if (count == 3 && strlen(tokens[2]) == 1) {
            e.a = static_cast<unsigned char>(tokens[2][0]);
        } else {
            snprintf(error, error_size,
                     "line %d: char takes a character code 0..255 (27 = Esc) or one character",
                     line_number);
            return -1;
        }
    } else {
        snprintf(error, error_size,
                 "line %d: unknown action '%s' (move, ldown, lup, rdown, rup, keydown, keyup, "
                 "char, close)",
                 line_number, action);
        return -1;
    }
    if (count != 2 + wanted) {
        snprintf(error, error_size, "line %d: %s takes %d argument%s", line_number, action, wanted,
                 wanted == 1 ? "" : "s");
        return -1;
    }
    // In frame order, events of one frame in the order of their lines.
    const auto by_frame = [](const Event& p, const Event& q) { return p.frame < q.frame; };
    const auto same_frame =
        std::equal_range(state.events.begin(), state.events.end(), e, by_frame);
    if (same_frame.second - same_frame.first >= HEADLESS_EVENTS_PER_FRAME) {
        // More would not fit into the message queue before the frame.
        snprintf(error, error_size, "line %d: more than %d events at frame %lld", line_number,
                 HEADLESS_EVENTS_PER_FRAME, frame);
        return -1;
    }
    state.events.insert(same_frame.second, e);
    return 0;
}

int headless_load_events(const char* path, char* error, int error_size) {
    FILE* f = fopen(path, "r");
    if (f == nullptr) {
        snprintf(error, error_size, "cannot open the events file %s", path);
        return -1;
    }
    char line[512];
    int number = 0;
    int result = 0;
    while (fgets(line, sizeof line, f) != nullptr) {
        number++;
        if (strchr(line, '\n') == nullptr && !feof(f)) {
            snprintf(error, error_size, "%s: line %d: line too long", path, number);
            result = -1;
            break;
        }
        char message[256];
        if (headless_parse_event_line(line, number, message, sizeof message) != 0) {
            snprintf(error, error_size, "%s: %s", path, message);
            result = -1;
            break;
        }
    }
    if (result == 0 && ferror(f)) {
        snprintf(error, error_size, "cannot read the events file %s", path);
        result = -1;
    }
    fclose(f);
    return result;
}

void headless_clear_events() {
    state.events.clear();
    state.next_event = 0;
    state.event_offset = 0;
}

int headless_set_event_period(int64_t period) {
    if (period > INT64_MAX / 2) return -1;
    for (const Event& e : state.events) {
        if (period > 0 && e.frame > period) return -1;
    }
    state.event_period = period > 0 ? period : 0;
    return 0;
}

void headless_set_frame_limit(int64_t frames) {
    state.frame_limit = frames;
}

int64_t headless_frames_started() {
    return state.frames_started;
}

int headless_set_screenshot(const char* path) {
    if (path == nullptr) path = "";
    if (strlen(path) >= sizeof state.screenshot) return -1;
    snprintf(state.screenshot, sizeof state.screenshot, "%s", path);
    return 0;
}

bool headless_screenshot_failed() {
    return state.screenshot_failed;
}

int headless_write_screenshot(const char* path) {
    const uint16_t* pixels = nullptr;
    int stride = 0, width = 0, height = 0;
    int result = -1;
    if (!plat_last_frame(&pixels, &stride, &width, &height)) {
        fprintf(stderr, "headless: no frame was shown; no screenshot written to %s\n", path);
    } else {
        result = ends_with(path, ".png") ? plat_write_png(path, pixels, stride, width, height)
                                         : plat_write_bmp16(path, pixels, stride, width, height);
        if (result != 0) fprintf(stderr, "headless: cannot write the screenshot %s\n", path);
    }
    if (result != 0) state.screenshot_failed = true;
    return result != 0 ? -1 : 0;
}

const char* headless_pending_screenshot() {
    return state.screenshot;
}

void headless_reset() {
    headless_close_trace();
    bool print = state.print_messages;
    state = State{};
    state.print_messages = print;
    plat_reset();
}
