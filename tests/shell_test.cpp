// The shell in-process: frame buffer, pacing, mouse, start-up and release.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app_session.h"
#include "platform/backend.h"
#include "platform/headless.h"
#include "model/model.h"
#include "model/shade.h"
#include "render/surface.h"
#include "shell/app.h"
#include "shell/framebuf.h"
#include "shell/framestage.h"
#include "shell/messages.h"
#include "shell/mouse.h"

namespace {

TEST(FrameBuffer, ClearColourKeepsFiveBitsPerChannelInBothHalves) {
    const uint32_t cases[][4] = {
        {31, 0, 0, 0x7C007C00u}, {255, 255, 255, 0x7FFF7FFFu}, {0, 0, 31, 0x001F001Fu}};
    for (const auto& c : cases) {
        fb_set_clear_colour(c[0], c[1], c[2]);
        EXPECT_EQ(fb_clear_colour(), c[3]) << c[0] << " " << c[1] << " " << c[2];
    }
    fb_set_clear_colour(0, 0, 0);
}

// A window that cannot be made starts nothing, and the program ends rather
// than run frames for no window, which nothing could ever stop.
TEST(Shell, WithoutItsWindowTheProgramEnds) {
    headless_fail_windows(true);
    headless_set_frame_limit(3);
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT),
              1);
    EXPECT_EQ(headless_frames_started(), 0);
    EXPECT_EQ(fb_pixels(), nullptr);
    headless_reset();
}

// After the release sequence the shell starts as it did the first time:
// surfaces made again, the light's circle from its start.
TEST(Shell, ASecondStartUpInTheSameProcessStartsAfresh) {
    for (int run = 0; run < 2; run++) {
        SCOPED_TRACE(run);
        AppSession app;
        EXPECT_NE(fb_pixels(), nullptr);
        EXPECT_EQ(app_light_angle(), 0);
        for (int i = 0; i < 3; i++) app.frame();
        EXPECT_EQ(app_light_angle(), 12);
        app.close();
    }
}

TEST(FrameBuffer, ReleasingASlotOutsideTheTableIsRefused) {
    AppSession app;
    EXPECT_EQ(fb_release_surface(8), -2);
    EXPECT_EQ(fb_release_surface(-1), -2);
    EXPECT_EQ(fb_release_surface(7), 0);
}

TEST(FrameBuffer, FailedSurfacesShowTheirMessageAndFramesDrawNothing) {
    headless_fail_dib_sections(true);
    AppSession app;
    int surface_messages = 0;
    for (int i = 0; i < headless_message_count(); i++) {
        surface_messages += std::string(headless_message(i)) == MSG_SURFACE_FAILED;
    }
    EXPECT_EQ(surface_messages, 1);
    EXPECT_EQ(fb_pixels(), nullptr);
    EXPECT_EQ(draw_surface()->pixels, nullptr);
    for (int i = 0; i < 3; i++) app.frame();
    const uint16_t* shown = nullptr;
    int stride = 0, w = 0, h = 0;
    EXPECT_FALSE(plat_last_frame(&shown, &stride, &w, &h));
}

// Surfaces made again at another depth, or released, after start-up: the
// rasterizers never write into the freed bitmaps, and draw into the new ones.
TEST(FrameBuffer, TheRasterizersFollowSurfacesMadeAgainOrReleased) {
    AppSession app;
    app.frame();
    EXPECT_EQ(fb_set_depth(15), -1);  // no 15-bit surfaces: the message, nothing drawn
    EXPECT_EQ(draw_surface()->pixels, nullptr);
    app.frame();
    ASSERT_EQ(fb_set_depth(16), 0);
    ASSERT_NE(fb_pixels(), nullptr);
    EXPECT_EQ(draw_surface()->pixels, fb_pixels());
    app.frame();
    const uint16_t* shown = nullptr;
    int stride = 0, w = 0, h = 0;
    EXPECT_TRUE(plat_last_frame(&shown, &stride, &w, &h));
    EXPECT_EQ(fb_release_surface(0), 0);
    EXPECT_EQ(draw_surface()->pixels, nullptr);
    app.frame();
}

TEST(FrameBuffer, PacingWaitsForTheMinimumIntervalAcrossTheTickWrap) {
    fb_set_min_interval(20);
    // Each frame begun at a tick: the tick once it may go on (one read when no
    // wait is needed, else 20 ms after the previous start plus that read).
    const uint32_t frames[][2] = {
        {0x40000000u, 0x40000001u},       // long after any earlier frame
        {0x40000005u, 0x40000000u + 21},  // 5 ms later
        {0x80000000u, 0x80000001u},       // a quarter of the counter apart
        {0xC0000000u, 0xC0000001u},
        {0xFFFFFFF0u, 0xFFFFFFF1u},       // 16 ms before the wrap
        {0xFFFFFFF2u, 0xFFFFFFF0u + 21},  // waits past zero
        {0x90000000u, 0x90000001u},       // 28 days later (a machine asleep)
    };
    for (const auto& f : frames) {
        headless_set_tick(f[0]);
        fb_begin_frame(nullptr, 0);
        EXPECT_EQ(headless_peek_tick(), f[1]) << std::hex << f[0];
    }
    fb_present();
}

TEST(FrameBuffer, TheFirstFrameNeverWaitsWhateverTheCounterReads) {
    // A counter in its upper half reads as "before the last frame" to a
    // signed comparison with the 0 of start-up.
    for (const uint32_t start : {0x80000000u, 0xC0000000u, 0xFFFFFFF0u, 0x00000003u}) {
        headless_set_tick(start);
        AppSession app;
        const uint32_t started = headless_peek_tick();
        app.frame();
        EXPECT_LT(headless_peek_tick() - started, 10u) << std::hex << start;
    }
}

TEST(Mouse, DeltaIsTheChangeBetweenTheLastTwoSamples) {
    mouse_sample(100, 50);
    mouse_sample(97, 58);
    int32_t dx = 0, dy = 0;
    mouse_delta(&dx, &dy);
    EXPECT_EQ(dx, -3);
    EXPECT_EQ(dy, 8);
    mouse_sample(97, 58);
    mouse_delta(&dx, &dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    int32_t x = 0, y = 0;
    mouse_state(&x, &y);
    EXPECT_EQ(x, 97);
    EXPECT_EQ(y, 58);

    mouse_sample(INT32_MIN, INT32_MAX);
    mouse_sample(INT32_MAX, INT32_MIN);
    mouse_delta(&dx, &dy);
    EXPECT_EQ(dx, -1);
    EXPECT_EQ(dy, 1);
}

TEST(Mouse, ButtonsCaptureAndEitherButtonUpReleasesTheCapture) {
    AppSession app;
    app.post(WM_LBUTTONDOWN);
    app.post(WM_RBUTTONDOWN);
    app.handle_messages();
    int32_t x = 0, y = 0;
    EXPECT_EQ(mouse_state(&x, &y), MOUSE_LEFT | MOUSE_RIGHT);
    EXPECT_EQ(GetCapture(), app.window);
    app.post(WM_RBUTTONUP);
    app.handle_messages();
    EXPECT_EQ(mouse_state(&x, &y), MOUSE_LEFT);
    EXPECT_EQ(GetCapture(), nullptr);
    // Pressed and released between two samples: not held.
    app.post(WM_RBUTTONDOWN);
    app.post(WM_RBUTTONUP);
    app.post(WM_LBUTTONUP);
    app.handle_messages();
    EXPECT_EQ(mouse_state(&x, &y), 0u);
}

TEST(Mouse, CursorTableSlotsAndTheClassCursorPutBack) {
    AppSession app;
    uintptr_t start_cursor = headless_class_cursor("ICON_LOOK");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(mouse_cursor(0)), start_cursor);
    EXPECT_EQ(mouse_destroy_cursor(1), -1);
    EXPECT_EQ(mouse_destroy_cursor(8), -3);
    EXPECT_EQ(mouse_destroy_cursor(-1), -3);
    SetClassLongPtrA(app.window, GCLP_HCURSOR, 0x1234);
    app.close();
    EXPECT_EQ(headless_class_cursor("ICON_LOOK"), start_cursor);
}

std::vector<std::string> frame_steps;

// The stages a runner times and the two shade hooks, in the frame's order:
// the hooks around the model pass and the drawing, inside the clear and the
// copy to the window.
TEST(Shell, AFrameRunsItsStepsInOrder) {
    AppSession app;
    frame_steps.clear();
    frame_set_mark_hook([](int32_t mark) {
        static const char* const names[FRAME_MARKS] = {
            "start", "cleared", "modelled", "built", "drawn", "presenting", "presented"};
        frame_steps.push_back(names[mark]);
    });
    shade_set_hooks([] { frame_steps.push_back("before hook"); },
                    [] { frame_steps.push_back("after hook"); });
    app.frame();
    frame_set_mark_hook(nullptr);
    shade_set_hooks(nullptr, nullptr);
    EXPECT_EQ(frame_steps,
              (std::vector<std::string>{"start", "cleared", "before hook", "modelled", "built",
                                        "drawn", "after hook", "presenting", "presented"}));
}

TEST(Shell, TheLightTurnsOnceEvery256Frames) {
    AppSession app;
    EXPECT_EQ(app_light_angle(), 0);
    app.frame();
    EXPECT_EQ(app_light_angle(), 4);
    for (int i = 1; i < 256; i++) app.frame();
    EXPECT_EQ(app_light_angle(), 0);
}

TEST(Shell, ALeftDragTurnsTheModelOneUnitPerPixel) {
    AppSession app;
    ASSERT_NE(mdl_rotation(0), nullptr);
    Vec4* rotation = mdl_rotation(0);
    rotation->x = 1;
    rotation->y = 1022;
    app.move(100, 50);
    app.frame();
    app.post(WM_LBUTTONDOWN);
    app.frame();
    EXPECT_EQ(rotation->x, 1);
    EXPECT_EQ(rotation->y, 1022);
    // +3, -2 between two frames: y by -3, x by +2, wrapped.
    app.move(103, 48);
    app.frame();
    EXPECT_EQ(rotation->x, 3);
    EXPECT_EQ(rotation->y, 1019);
    app.move(108, 48);
    app.frame();
    EXPECT_EQ(rotation->y, 1014);
    // The right button turns nothing.
    app.post(WM_LBUTTONUP);
    app.post(WM_RBUTTONDOWN);
    app.frame();
    app.move(150, 90);
    app.frame();
    EXPECT_EQ(rotation->x, 3);
    EXPECT_EQ(rotation->y, 1014);
}

TEST(Shell, RampKeysSelectForEveryPacketAndTheLastHeldWins) {
    AppSession app;
    const Model* model = mdl_get(0);
    ASSERT_NE(model, nullptr);
    auto ramps = [&]() {
        std::vector<int> seen;
        const PrimPacket* p = model->packets;
        for (int32_t i = 0; i < model->packet_count; i++) {
            seen.push_back(p->ramp);
            p = reinterpret_cast<const PrimPacket*>(reinterpret_cast<const uint8_t*>(p) + p->size);
        }
        return seen;
    };
    ASSERT_GT(model->packet_count, 0);
    headless_set_key(VK_F1, true);
    headless_set_key(VK_F3, true);
    app.frame();
    EXPECT_EQ(ramps(), std::vector<int>(model->packet_count, 2));
    headless_set_key(VK_F1, false);
    headless_set_key(VK_F3, false);
    app.frame();
    EXPECT_EQ(ramps(), std::vector<int>(model->packet_count, 2));  // the choice stays
    headless_set_key(VK_F2, true);
    app.frame();
    EXPECT_EQ(ramps(), std::vector<int>(model->packet_count, 1));
}

}  // namespace
