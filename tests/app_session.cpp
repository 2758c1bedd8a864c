#include "app_session.h"

#include <unistd.h>

#include "platform/backend.h"
#include "platform/headless.h"
#include "shell/app.h"
#include "shell/mouse.h"

AppSession::AppSession(const std::string& root) {
    headless_print_messages(false);
    if (getcwd(previous_directory_, sizeof previous_directory_) == nullptr) {
        previous_directory_[0] = '\0';
    }
    if (chdir(root.empty() ? ICON_LOOK_SOURCE_DIR : root.c_str()) != 0) return;
    window = app_create_window(GetModuleHandleA(nullptr), "ICON_LOOK", "TEST");
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
}

AppSession::~AppSession() {
    if (plat_main_window() != nullptr) DestroyWindow(window);
    if (previous_directory_[0] != '\0' && chdir(previous_directory_) != 0) {
        previous_directory_[0] = '\0';
    }
    headless_reset();
}

bool AppSession::handle_messages() {
    MSG msg;
    while (!quit && !plat_queue_empty()) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
        if (msg.message == WM_QUIT) {
            quit = true;
            quit_code = static_cast<int>(msg.wParam);
            break;
        }
        cursor_x_ = msg.pt.x;
        cursor_y_ = msg.pt.y;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (!quit && plat_quit_pending() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        quit = true;
        quit_code = static_cast<int>(msg.wParam);
    }
    return !quit;
}

void AppSession::frame() {
    handle_messages();
    mouse_sample(cursor_x_, cursor_y_);
    app_frame(window, 0, 0);
}

void AppSession::post(UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageA(window, message, wparam, lparam);
}

void AppSession::move(int x, int y) {
    headless_set_cursor(x, y);
    post(WM_MOUSEMOVE);
}

void AppSession::close() {
    post(WM_CLOSE);
    handle_messages();
}
