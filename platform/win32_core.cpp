// The Win32 subset on systems without Windows: one window class table, one
// main window, a posted-message queue, device contexts and DIB sections.
// Backends supply the native window, input, time and message boxes.

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/backend.h"

namespace {

constexpr int CLASS_SLOTS = 8;
constexpr int WINDOW_SLOTS = 4;
constexpr int DC_SLOTS = 32;
constexpr int BITMAP_SLOTS = 32;
constexpr int QUEUE_SIZE = 1024;

// Handles are small tagged numbers, never addresses.
constexpr uintptr_t TAG_WINDOW = 0x1000;
constexpr uintptr_t TAG_DC = 0x2000;
constexpr uintptr_t TAG_BITMAP = 0x3000;
constexpr uintptr_t TAG_STOCK = 0x4000;
constexpr uintptr_t TAG_RESOURCE = 0x10000;  // stock icons and cursors: TAG + id
constexpr uintptr_t TAG_INSTANCE = 0x400000;
constexpr int TAG_RANGE = 0x1000;

struct WindowClass {
    bool used;
    char name[64];
    WNDPROC proc;
    HCURSOR cursor;
    HBRUSH background;
};

struct Window {
    bool alive;
    int class_index;
    DWORD style;
    int client_width;
    int client_height;
    int screen_x;  // client area's top-left corner on the screen
    int screen_y;
    uint16_t* pixels;  // what the window shows, client size
};

struct Bitmap {
    bool used;
    int width;
    int height;
    int stride_pixels;
    bool top_down;
    int selected_in;  // DC slot, or -1
    uint16_t* pixels;
};

struct DeviceContext {
    bool used;
    int window;  // window slot for a window DC, -1 for a memory DC
    int bitmap;  // selected bitmap slot of a memory DC, or -1
};

struct LastBlit {
    bool valid;
    int bitmap;  // source bitmap slot, -1 once it is gone
    int window;
    int src_x, src_y, width, height;
};

WindowClass classes[CLASS_SLOTS];
Window windows[WINDOW_SLOTS];
Bitmap bitmaps[BITMAP_SLOTS];
DeviceContext dcs[DC_SLOTS];
MSG queue[QUEUE_SIZE];
int queue_head = 0;
int queue_length = 0;
bool quit_pending = false;
int quit_code = 0;
POINT cursor = {0, 0};
HWND capture = nullptr;
LastBlit last_blit = {};

template <typename Handle>
Handle make_handle(uintptr_t tag, int index) {
    return reinterpret_cast<Handle>(tag + static_cast<uintptr_t>(index));
}

int handle_index(const void* handle, uintptr_t tag, int slots) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < tag || value >= tag + static_cast<uintptr_t>(slots)) return -1;
    return static_cast<int>(value - tag);
}

int window_index(HWND window) {
    int i = handle_index(window, TAG_WINDOW, WINDOW_SLOTS);
    return (i >= 0 && windows[i].alive) ? i : -1;
}

int dc_index(HDC dc) {
    int i = handle_index(dc, TAG_DC, DC_SLOTS);
    return (i >= 0 && dcs[i].used) ? i : -1;
}

int bitmap_index(HGDIOBJ object) {
    int i = handle_index(object, TAG_BITMAP, BITMAP_SLOTS);
    return (i >= 0 && bitmaps[i].used) ? i : -1;
}

uint16_t brush_colour(HBRUSH brush) {
    uintptr_t value = reinterpret_cast<uintptr_t>(brush);
    return value == TAG_STOCK + BLACK_BRUSH ? 0x0000 : 0x7FFF;
}

LRESULT send(int window, UINT message, WPARAM wparam, LPARAM lparam) {
    WNDPROC proc = classes[windows[window].class_index].proc;
    if (proc == nullptr) return 0;
    return proc(make_handle<HWND>(TAG_WINDOW, window), message, wparam, lparam);
}

void drop_messages_for(HWND window) {
    int kept = 0;
    for (int k = 0; k < queue_length; k++) {
        const MSG& m = queue[(queue_head + k) % QUEUE_SIZE];
        if (m.hwnd != window) queue[(queue_head + kept++) % QUEUE_SIZE] = m;
    }
    queue_length = kept;
}

uint16_t* bitmap_row(const Bitmap& b, int y) {
    int row = b.top_down ? y : b.height - 1 - y;
    return b.pixels + static_cast<size_t>(row) * b.stride_pixels;
}

// The oldest message of the queue, taken off it when `remove`; false when
// the queue is empty.
bool next_message(MSG* msg, bool remove) {
    if (queue_length == 0) return false;
    *msg = queue[queue_head];
    if (remove) {
        queue_head = (queue_head + 1) % QUEUE_SIZE;
        queue_length--;
    }
    return true;
}

}  // namespace

// --- offered to backends ---

void plat_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (queue_length >= QUEUE_SIZE) return;
    MSG& m = queue[(queue_head + queue_length) % QUEUE_SIZE];
    m.hwnd = window;
    m.message = message;
    m.wParam = wparam;
    m.lParam = lparam;
    m.time = 0;
    m.pt = cursor;
    queue_length++;
}

HWND plat_main_window() {
    for (int i = 0; i < WINDOW_SLOTS; i++) {
        if (windows[i].alive) return make_handle<HWND>(TAG_WINDOW, i);
    }
    return nullptr;
}

POINT plat_cursor() {
    return cursor;
}

void plat_set_cursor(int x, int y) {
    cursor.x = x;
    cursor.y = y;
}

int plat_queue_room() {
    return QUEUE_SIZE - queue_length;
}

bool plat_queue_empty() {
    return queue_length == 0;
}

bool plat_quit_pending() {
    return quit_pending;
}

bool plat_last_frame(const uint16_t** pixels, int* stride_pixels, int* width, int* height) {
    if (!last_blit.valid) return false;
    // What the window shows: also from the bitmap, which may be wider (an odd
    // client width gets an even frame buffer), so that the picture is the same
    // whether the bitmap is still there or only the window's copy is.
    const Window& w = windows[last_blit.window];
    if (last_blit.bitmap >= 0) {
        const Bitmap& b = bitmaps[last_blit.bitmap];
        if (!b.top_down) return false;
        *pixels = bitmap_row(b, last_blit.src_y) + last_blit.src_x;
        *stride_pixels = b.stride_pixels;
        *width = last_blit.width < w.client_width ? last_blit.width : w.client_width;
        *height = last_blit.height < w.client_height ? last_blit.height : w.client_height;
        return true;
    }
    if (w.pixels == nullptr) return false;
    *pixels = w.pixels;
    *stride_pixels = w.client_width;
    *width = last_blit.width < w.client_width ? last_blit.width : w.client_width;
    *height = last_blit.height < w.client_height ? last_blit.height : w.client_height;
    return true;
}

void plat_reset() {
    for (int i = 0; i < WINDOW_SLOTS; i++) {
        free(windows[i].pixels);
        windows[i] = Window{};
    }
    for (int i = 0; i < BITMAP_SLOTS; i++) {
        free(bitmaps[i].pixels);
        bitmaps[i] = Bitmap{};
    }
    for (int i = 0; i < DC_SLOTS; i++) dcs[i] = DeviceContext{};
    for (int i = 0; i < CLASS_SLOTS; i++) classes[i] = WindowClass{};
    queue_head = 0;
    queue_length = 0;
    quit_pending = false;
    quit_code = 0;
    cursor = POINT{0, 0};
    capture = nullptr;
    last_blit = LastBlit{};
}

int headless_live_gdi_objects() {
    int live = 0;
    for (int i = 0; i < DC_SLOTS; i++) live += dcs[i].used ? 1 : 0;
    for (int i = 0; i < BITMAP_SLOTS; i++) live += bitmaps[i].used ? 1 : 0;
    return live;
}

uintptr_t headless_class_cursor(const char* class_name) {
    for (int i = 0; i < CLASS_SLOTS; i++) {
        if (classes[i].used && strcmp(classes[i].name, class_name) == 0) {
            return reinterpret_cast<uintptr_t>(classes[i].cursor);
        }
    }
    return 0;
}

// --- user32 ---

WORD RegisterClassExA(const WNDCLASSEXA* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr) return 0;
    if (strlen(wc->lpszClassName) >= sizeof classes[0].name) return 0;
    int free_slot = -1;
    for (int i = 0; i < CLASS_SLOTS; i++) {
        if (classes[i].used && strcmp(classes[i].name, wc->lpszClassName) == 0) return 0;
        if (!classes[i].used && free_slot < 0) free_slot = i;
    }
    if (free_slot < 0) return 0;
    WindowClass& c = classes[free_slot];
    c.used = true;
    strcpy(c.name, wc->lpszClassName);
    c.proc = wc->lpfnWndProc;
    c.cursor = wc->hCursor;
    c.background = wc->hbrBackground;
    return static_cast<WORD>(0xC000 + free_slot);
}

HWND CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    int class_index = -1;
    for (int i = 0; i < CLASS_SLOTS; i++) {
        if (classes[i].used && class_name != nullptr && strcmp(classes[i].name, class_name) == 0) {
            class_index = i;
        }
    }
    int slot = -1;
    for (int i = 0; i < WINDOW_SLOTS && slot < 0; i++) {
        if (!windows[i].alive) slot = i;
    }
    if (class_index < 0 || slot < 0) return nullptr;

    Window& w = windows[slot];
    free(w.pixels);
    if (last_blit.window == slot) last_blit = LastBlit{};
    w = Window{};
    w.class_index = class_index;
    w.style = style;
    backend_client_size(style, width, height, &w.client_width, &w.client_height);
    if (w.client_width <= 0 || w.client_height <= 0) return nullptr;
    w.pixels = static_cast<uint16_t*>(
        malloc(static_cast<size_t>(w.client_width) * w.client_height * sizeof(uint16_t)));
    if (w.pixels == nullptr) return nullptr;
    uint16_t background = brush_colour(classes[class_index].background);
    for (int i = 0; i < w.client_width * w.client_height; i++) w.pixels[i] = background;
    if (!backend_create_window(title != nullptr ? title : "", w.client_width, w.client_height,
                               &w.screen_x, &w.screen_y)) {
        free(w.pixels);
        w.pixels = nullptr;
        return nullptr;
    }
    w.alive = true;

    CREATESTRUCTA create = {};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = static_cast<LONG>(style);
    create.lpszName = title;
    create.lpszClass = class_name;
    HWND handle = make_handle<HWND>(TAG_WINDOW, slot);
    if (send(slot, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return windows[slot].alive ? handle : nullptr;
}

BOOL ShowWindow(HWND window, int) {
    int i = window_index(window);
    if (i < 0) return FALSE;
    backend_show_window();
    LPARAM position = static_cast<LPARAM>((windows[i].screen_x & 0xFFFF) |
                                          ((windows[i].screen_y & 0xFFFF) << 16));
    send(i, WM_MOVE, 0, position);
    backend_present(windows[i].pixels, windows[i].client_width, windows[i].client_height);
    return FALSE;
}

BOOL UpdateWindow(HWND window) {
    return window_index(window) >= 0 ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    int i = window_index(window);
    if (i < 0) return FALSE;
    send(i, WM_DESTROY, 0, 0);
    send(i, WM_NCDESTROY, 0, 0);
    if (capture == window) {
        capture = nullptr;
        backend_set_capture(false);
    }
    for (int d = 0; d < DC_SLOTS; d++) {
        if (dcs[d].used && dcs[d].window == i) dcs[d] = DeviceContext{};
    }
    // The window's pixels stay until the slot is reused: they are the last
    // frame it showed.
    windows[i].alive = false;
    backend_destroy_window();
    drop_messages_for(window);
    return TRUE;
}

BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT remove) {
    if (queue_length == 0 && !quit_pending) backend_pump();
    if (next_message(msg, (remove & PM_REMOVE) != 0)) return TRUE;
    if (quit_pending) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(quit_code);
        msg->pt = cursor;
        if (remove & PM_REMOVE) quit_pending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        plat_post(msg->hwnd, WM_CHAR, 27, msg->lParam);
        return TRUE;
    }
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) return 0;
    int i = window_index(msg->hwnd);
    if (i < 0) return 0;
    return send(i, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (queue_length >= QUEUE_SIZE) return FALSE;
    plat_post(window, message, wparam, lparam);
    return TRUE;
}

void PostQuitMessage(int exit_code) {
    quit_pending = true;
    quit_code = exit_code;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    return make_handle<HICON>(TAG_RESOURCE, static_cast<int>(reinterpret_cast<uintptr_t>(name) & 0xFFFF));
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
    return make_handle<HCURSOR>(TAG_RESOURCE, static_cast<int>(reinterpret_cast<uintptr_t>(name) & 0xFFFF));
}

HCURSOR GetCursor(void) {
    HWND main = plat_main_window();
    int i = window_index(main);
    return i >= 0 ? classes[windows[i].class_index].cursor : nullptr;
}

BOOL DestroyCursor(HCURSOR cursor_handle) {
    return cursor_handle != nullptr ? TRUE : FALSE;
}

ULONG_PTR SetClassLongPtrA(HWND window, int index, LONG_PTR value) {
    int i = window_index(window);
    if (i < 0 || index != GCLP_HCURSOR) return 0;
    WindowClass& c = classes[windows[i].class_index];
    ULONG_PTR previous = reinterpret_cast<ULONG_PTR>(c.cursor);
    c.cursor = reinterpret_cast<HCURSOR>(value);
    return previous;
}

SHORT GetAsyncKeyState(int key) {
    return backend_key_down(key) ? static_cast<SHORT>(0x8000) : 0;
}

HWND SetCapture(HWND window) {
    HWND previous = capture;
    if (window_index(window) >= 0) {
        capture = window;
        backend_set_capture(true);
    }
    return previous;
}

BOOL ReleaseCapture(void) {
    capture = nullptr;
    backend_set_capture(false);
    return TRUE;
}

HWND GetCapture(void) {
    return capture;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    int i = window_index(window);
    if (i < 0 || rect == nullptr) return FALSE;
    rect->left = 0;
    rect->top = 0;
    rect->right = windows[i].client_width;
    rect->bottom = windows[i].client_height;
    return TRUE;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    backend_message_box(text != nullptr ? text : "", caption != nullptr ? caption : "");
    // A box runs its own message loop: what was posted while it was up
    // reaches the windows before it returns (a quit stays pending).
    MSG msg;
    while (next_message(&msg, true)) DispatchMessageA(&msg);
    return IDOK;
}

HDC GetDC(HWND window) {
    int i = window_index(window);
    if (i < 0) return nullptr;
    for (int d = 0; d < DC_SLOTS; d++) {
        if (!dcs[d].used) {
            dcs[d] = DeviceContext{true, i, -1};
            return make_handle<HDC>(TAG_DC, d);
        }
    }
    return nullptr;
}

int ReleaseDC(HWND, HDC dc) {
    int d = dc_index(dc);
    if (d < 0 || dcs[d].window < 0) return 0;
    dcs[d] = DeviceContext{};
    return 1;
}

HINSTANCE GetModuleHandleA(LPCSTR) {
    return make_handle<HINSTANCE>(TAG_INSTANCE, 0);
}

// --- gdi32 ---

HGDIOBJ GetStockObject(int object) {
    return make_handle<HGDIOBJ>(TAG_STOCK, object & (TAG_RANGE - 1));
}

HDC CreateCompatibleDC(HDC) {
    for (int d = 0; d < DC_SLOTS; d++) {
        if (!dcs[d].used) {
            dcs[d] = DeviceContext{true, -1, -1};
            return make_handle<HDC>(TAG_DC, d);
        }
    }
    return nullptr;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE,
                         DWORD) {
    if (bits != nullptr) *bits = nullptr;
    if (info == nullptr || usage != DIB_RGB_COLORS || backend_dib_sections_fail()) return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const LONG limit = 16384;
    if (h.biBitCount != 16 || h.biCompression != BI_RGB || h.biWidth <= 0 ||
        h.biWidth > limit || h.biHeight == 0 || h.biHeight > limit || h.biHeight < -limit) {
        return nullptr;
    }
    int slot = -1;
    for (int i = 0; i < BITMAP_SLOTS && slot < 0; i++) {
        if (!bitmaps[i].used) slot = i;
    }
    if (slot < 0) return nullptr;
    Bitmap& b = bitmaps[slot];
    b.width = h.biWidth;
    b.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    b.top_down = h.biHeight < 0;
    b.stride_pixels = (b.width + 1) & ~1;  // rows padded to 4 bytes
    b.selected_in = -1;
    b.pixels = static_cast<uint16_t*>(
        calloc(static_cast<size_t>(b.stride_pixels) * b.height, sizeof(uint16_t)));
    if (b.pixels == nullptr) return nullptr;
    b.used = true;
    if (bits != nullptr) *bits = b.pixels;
    return make_handle<HBITMAP>(TAG_BITMAP, slot);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    int d = dc_index(dc);
    int b = bitmap_index(object);
    if (d < 0 || b < 0 || dcs[d].window >= 0) return nullptr;
    if (bitmaps[b].selected_in >= 0 && bitmaps[b].selected_in != d) return nullptr;
    int previous = dcs[d].bitmap;
    if (previous >= 0) bitmaps[previous].selected_in = -1;
    dcs[d].bitmap = b;
    bitmaps[b].selected_in = d;
    // A memory DC starts with a 1x1 stock bitmap; any non-null value will do.
    return previous >= 0 ? make_handle<HGDIOBJ>(TAG_BITMAP, previous)
                         : make_handle<HGDIOBJ>(TAG_STOCK, 21);
}

BOOL DeleteObject(HGDIOBJ object) {
    int b = bitmap_index(object);
    if (b < 0) return FALSE;
    // As on Windows, a bitmap selected into a DC cannot be deleted.
    if (bitmaps[b].selected_in >= 0) return FALSE;
    if (last_blit.valid && last_blit.bitmap == b) last_blit.bitmap = -1;
    free(bitmaps[b].pixels);
    bitmaps[b] = Bitmap{};
    return TRUE;
}

BOOL DeleteDC(HDC dc) {
    int d = dc_index(dc);
    if (d < 0 || dcs[d].window >= 0) return FALSE;
    if (dcs[d].bitmap >= 0) bitmaps[dcs[d].bitmap].selected_in = -1;
    dcs[d] = DeviceContext{};
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int src_x, int src_y,
            DWORD rop) {
    int dd = dc_index(dest);
    int sd = dc_index(src);
    if (dd < 0 || sd < 0 || rop != SRCCOPY) return FALSE;
    int wi = dcs[dd].window;
    int bi = dcs[sd].bitmap;
    if (wi < 0 || bi < 0 || width <= 0 || height <= 0) return FALSE;
    Window& w = windows[wi];
    const Bitmap& b = bitmaps[bi];
    if (x < 0 || y < 0 || src_x < 0 || src_y < 0) return FALSE;
    int copy_w = width;
    int copy_h = height;
    if (x + copy_w > w.client_width) copy_w = w.client_width - x;
    if (y + copy_h > w.client_height) copy_h = w.client_height - y;
    if (src_x + copy_w > b.width) copy_w = b.width - src_x;
    if (src_y + copy_h > b.height) copy_h = b.height - src_y;
    for (int row = 0; row < copy_h; row++) {
        memcpy(w.pixels + static_cast<size_t>(y + row) * w.client_width + x,
               bitmap_row(b, src_y + row) + src_x, static_cast<size_t>(copy_w) * 2);
    }
    int source_w = b.width - src_x < width ? b.width - src_x : width;
    int source_h = b.height - src_y < height ? b.height - src_y : height;
    last_blit = LastBlit{true, bi, wi, src_x, src_y, source_w, source_h};
    backend_present(w.pixels, w.client_width, w.client_height);
    return TRUE;
}

// --- kernel32 ---

DWORD GetTickCount(void) {
    return backend_tick();
}

LPSTR lstrcpyA(LPSTR dest, LPCSTR src) {
    return strcpy(dest, src);
}

int lstrlenA(LPCSTR text) {
    return text == nullptr ? 0 : static_cast<int>(strlen(text));
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
    int c = strcmp(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    return path != nullptr && chdir(path) == 0 ? TRUE : FALSE;
}

void OutputDebugStringA(LPCSTR text) {
    if (text != nullptr) backend_debug_string(text);
}
