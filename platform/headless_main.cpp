// icon_look_headless: the program without a window system, for tests,
// screenshots, input replays and benchmarks.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/headless.h"
#include "platform/win32.h"
#include "shell/framebuf.h"
#include "shell/framestage.h"

namespace {

const char* const usage =
    "usage: icon_look_headless [--cwd DIR] [--frames N] [--events FILE] [--repeat-events P]\n"
    "                          [--client WxH] [--screenshot FILE.bmp|FILE.png] [--trace FILE]\n"
    "                          [--bench N] [--close-during-box K]\n"
    "                          [--help]\n"
    "\n"
    "Runs the viewer with no window system. Start-up enters DIR/data (DIR defaults to the\n"
    "current directory); after frame N (default 1) the window is closed and the exit code\n"
    "is the program's: 2 for bad options or script lines, 4 when the screenshot or trace\n"
    "asked for could not be written.\n"
    "  --cwd DIR          change to DIR before start-up\n"
    "  --frames N         close the window after frame N\n"
    "  --events FILE      input script: one 'FRAME ACTION [ARGS]' a line, '#' comments,\n"
    "                     at most 256 events at one frame;\n"
    "                     actions: move X Y, ldown, lup, rdown, rup, keydown F1|F2|F3,\n"
    "                     keyup F1|F2|F3, char C (27 = Esc), close\n"
    "  --repeat-events P  replay the input script every P frames: an event at frame F\n"
    "                     also happens at F + P, F + 2P, ... (every F must be 1 to P)\n"
    "  --client WxH       client area size (default 504x469, a 520x508 window)\n"
    "  --screenshot FILE  write the last frame: .bmp (16-bit, as in the frame buffer) or\n"
    "                     .png (8-bit RGB)\n"
    "  --trace FILE       write the program's debug output (start-up and release steps,\n"
    "                     frames) to FILE\n"
    "  --bench N          run N frames unpaced (no minimum frame interval), then print\n"
    "                     frames per second and the time of each stage of a frame\n"
    "  --close-during-box K  ask the window to close while the K-th message box is up,\n"
    "                     as another program may (K >= 1)\n"
    "  --help             show this text\n";

int fail(const char* message) {
    fprintf(stderr, "icon_look_headless: %s\n(see icon_look_headless --help)\n", message);
    return 2;
}

// --bench: real time spent between the marks of every frame.
struct StageClock {
    std::chrono::steady_clock::time_point last;
    double seconds[FRAME_MARKS] = {};  // stage ending at each mark
    long long frames = 0;
};
StageClock stage_clock;

void time_stage(int32_t mark) {
    const auto now = std::chrono::steady_clock::now();
    if (mark == FRAME_START) {
        // Unpaced: the frame starts at once. Set before every frame, after start-up.
        fb_set_min_interval(0);
        stage_clock.frames++;
    } else {
        stage_clock.seconds[mark] += std::chrono::duration<double>(now - stage_clock.last).count();
    }
    stage_clock.last = now;
}

void print_stage_times() {
    const char* const names[FRAME_MARKS] = {"", "clear", "model pass", "ordering-table build",
                                            "drawing", "after drawing", "present"};
    double total = 0;
    for (double s : stage_clock.seconds) total += s;
    const long long frames = stage_clock.frames;
    printf("%lld frames in %.3f ms: %.1f frames/s\n", frames, total * 1e3,
           total > 0 ? static_cast<double>(frames) / total : 0.0);
    printf("%-22s %12s %8s\n", "stage", "ms/frame", "share");
    for (int mark = FRAME_CLEARED; mark < FRAME_MARKS; mark++) {
        const double s = stage_clock.seconds[mark];
        printf("%-22s %12.4f %7.1f%%\n", names[mark], frames > 0 ? s * 1e3 / frames : 0.0,
               total > 0 ? 100.0 * s / total : 0.0);
    }
}

// WxH: digits only, each 2 to 8192.
bool parse_client_size(const char* text, int* width, int* height) {
    long long side[2] = {0, 0};
    for (int k = 0; k < 2; k++) {
        const char* start = text;
        while (*text >= '0' && *text <= '9' && text - start < 5) {
            side[k] = side[k] * 10 + (*text++ - '0');
        }
        if (text == start || side[k] < 2 || side[k] > 8192) return false;
        if (*text++ != (k == 0 ? 'x' : '\0')) return false;
    }
    *width = static_cast<int>(side[0]);
    *height = static_cast<int>(side[1]);
    return true;
}

bool parse_count(const char* text, long long low, long long* value) {
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low) return false;
    *value = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* cwd = nullptr;
    long long frames = 1;
    bool frames_given = false;
    bool bench = false;
    long long period = 0;
    char message[600];
    headless_reset();
    for (int i = 1; i < argc; i++) {
        const char* option = argv[i];
        if (strcmp(option, "--help") == 0) {
            fputs(usage, stdout);
            return 0;
        }
        const char* const known[] = {"--cwd",    "--frames",     "--events", "--repeat-events",
                                     "--client", "--screenshot", "--trace",  "--bench",
                                     "--close-during-box"};
        bool is_known = false;
        for (const char* k : known) is_known = is_known || strcmp(option, k) == 0;
        if (!is_known) {
            snprintf(message, sizeof message, "unknown option %s", option);
            return fail(message);
        }
        if (i + 1 >= argc) {
            snprintf(message, sizeof message, "%s needs a value", option);
            return fail(message);
        }
        const char* value = argv[++i];
        if (strcmp(option, "--cwd") == 0) {
            cwd = value;
        } else if (strcmp(option, "--frames") == 0) {
            if (!parse_count(value, 0, &frames)) return fail("--frames takes a whole number N >= 0");
            frames_given = true;
        } else if (strcmp(option, "--bench") == 0) {
            if (!parse_count(value, 1, &frames)) return fail("--bench takes a whole number N >= 1");
            bench = true;
        } else if (strcmp(option, "--events") == 0) {
            char error[512];
            if (headless_load_events(value, error, sizeof error) != 0) return fail(error);
        } else if (strcmp(option, "--repeat-events") == 0) {
            if (!parse_count(value, 1, &period)) {
                return fail("--repeat-events takes a whole number P >= 1");
            }
        } else if (strcmp(option, "--client") == 0) {
            int w = 0, h = 0;
            if (!parse_client_size(value, &w, &h)) {
                return fail("--client takes WxH, each 2 to 8192, for example 504x469");
            }
            headless_set_client_size(w, h);
        } else if (strcmp(option, "--screenshot") == 0) {
            size_t n = strlen(value);
            bool png = n > 4 && strcmp(value + n - 4, ".png") == 0;
            bool bmp = n > 4 && strcmp(value + n - 4, ".bmp") == 0;
            if (!png && !bmp) return fail("--screenshot takes a file name ending in .bmp or .png");
            // Start-up changes the directory: keep the name absolute.
            char absolute[8192];
            char here[4096];
            int length = 0;
            if (value[0] == '/') {
                length = snprintf(absolute, sizeof absolute, "%s", value);
            } else if (getcwd(here, sizeof here) != nullptr) {
                length = snprintf(absolute, sizeof absolute, "%s/%s", here, value);
            } else {
                return fail("cannot tell the current directory to place the screenshot in");
            }
            if (length < 0 || static_cast<size_t>(length) >= sizeof absolute ||
                headless_set_screenshot(absolute) != 0) {
                return fail("the screenshot's path is too long");
            }
        } else if (strcmp(option, "--close-during-box") == 0) {
            long long box = 0;
            if (!parse_count(value, 1, &box) || box > INT32_MAX) {
                return fail("--close-during-box takes a whole number K >= 1");
            }
            headless_close_at_message(static_cast<int>(box));
        } else if (strcmp(option, "--trace") == 0) {
            if (headless_open_trace(value) != 0) {
                snprintf(message, sizeof message, "cannot write the trace file %s", value);
                return fail(message);
            }
        }
    }
    if (headless_set_event_period(period) != 0) {
        return fail("with --repeat-events P every event of the script must be at a frame 1 to P");
    }
    if (cwd != nullptr && !SetCurrentDirectoryA(cwd)) {
        snprintf(message, sizeof message, "cannot change to the directory %s", cwd);
        return fail(message);
    }
    if (bench && frames_given) return fail("--bench N runs N frames: leave out --frames");
    if (bench) frame_set_mark_hook(time_stage);
    headless_set_frame_limit(frames);
    int code = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    // The program ended before the last frame (Esc or closed): the last frame
    // shown is the screenshot.
    const char* pending = headless_pending_screenshot();
    if (pending[0] != '\0') headless_write_screenshot(pending);
    // A screenshot asked for and not written is a failed run.
    if (headless_screenshot_failed() && code == 0) code = 4;
    if (bench) print_stage_times();
    if (headless_close_trace() != 0) {
        fprintf(stderr, "icon_look_headless: cannot write the whole trace file\n");
        if (code == 0) code = 4;
    }
    // Frees the platform's windows and bitmaps, so that nothing is left for a
    // leak checker.
    headless_reset();
    return code;
}
