// The whole program driven in-process: the window made as WinMain makes it,
// messages handled as its loop handles them, frames run one at a time.
#pragma once

#include <string>

#include "platform/win32.h"

class AppSession {
public:
    // Starts the program with the project root as the working directory (so
    // start-up enters its data directory), or `root` if given. Headless
    // settings made before (client size, failing DIB sections) apply; the
    // session resets them all when it ends.
    explicit AppSession(const std::string& root = "");
    ~AppSession();

    // Handles every queued message, as the loop does; false once WM_QUIT came.
    bool handle_messages();
    // One turn of the loop with an empty queue: the mouse sample and a frame.
    void frame();
    // Queues a message carrying the virtual cursor as its pt.
    void post(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
    // Moves the virtual cursor (screen coordinates) and queues a mouse move.
    void move(int x, int y);
    // Closes the window as the close box does.
    void close();

    HWND window = nullptr;
    bool quit = false;
    int quit_code = -1;

private:
    char previous_directory_[4096] = {};
    LONG cursor_x_ = 0;
    LONG cursor_y_ = 0;
};
