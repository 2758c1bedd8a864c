#include "shell/app.h"

#include "files/anim.h"
#include "files/texture.h"
#include "geometry/camera.h"
#include "geometry/matrix.h"
#include "model/loader.h"
#include "model/model.h"
#include "model/shade.h"
#include "model/shapes.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "render/surface.h"
#include "shell/framebuf.h"
#include "shell/framestage.h"
#include "shell/memory.h"
#include "shell/mouse.h"

namespace {

constexpr int WINDOW_WIDTH = 520;
constexpr int WINDOW_HEIGHT = 508;

int32_t texture_handle = 0;
int32_t model_handle = 0;
int32_t animation_handle = 0;
int32_t light_angle = 0;
int32_t window_x = 0;
int32_t window_y = 0;
// A close asked for while start-up runs (another program may ask while a
// start-up message box is up) waits for start-up to end: releasing the
// modules under it would leave it working on freed tables.
bool starting_up = false;
bool close_waiting = false;

// Start-up and release steps go to the debugger's output, in order.
void trace_step(const char* step) {
    OutputDebugStringA(step);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    HWND window = app_create_window(instance, "ICON_LOOK", "TEST");
    // Without a window nothing has started, and nothing could end the loop.
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    LONG cursor_x = 0;
    LONG cursor_y = 0;
    for (;;) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            cursor_x = msg.pt.x;
            cursor_y = msg.pt.y;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            mouse_sample(cursor_x, cursor_y);
            app_frame(window, window_x, window_y);
        }
    }
}

HWND app_create_window(HINSTANCE instance, const char* class_name, const char* title) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = app_window_proc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = class_name;
    wc.lpszClassName = class_name;
    wc.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    RegisterClassExA(&wc);
    return CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
}

LRESULT CALLBACK app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        starting_up = true;
        close_waiting = false;
        if (app_init(window) < 0) {
            PostQuitMessage(0);
        } else if (close_waiting) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        starting_up = false;
        break;
    case WM_CLOSE:
        if (starting_up) {
            close_waiting = true;
            return 0;
        }
        break;
    case WM_DESTROY:
        app_term();
        PostQuitMessage(0);
        break;
    case WM_MOVE:
        window_x = static_cast<int32_t>(LOWORD(lparam));
        window_y = static_cast<int32_t>(HIWORD(lparam));
        break;
    case WM_CHAR:
        if (wparam == 27) PostQuitMessage(0);
        break;
    case WM_LBUTTONDOWN: mouse_left_down(); break;
    case WM_LBUTTONUP: mouse_left_up(); break;
    case WM_RBUTTONDOWN: mouse_right_down(); break;
    case WM_RBUTTONUP: mouse_right_up(); break;
    default: break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int32_t app_init(HWND window) {
    // Each start-up begins the light's circle again, as the first one does.
    light_angle = 0;
    trace_step("start-up: enter data");
    SetCurrentDirectoryA("data");
    trace_step("start-up: fb_init");
    fb_init(window);
    trace_step("start-up: shade_init");
    shade_init();
    trace_step("start-up: mtx_init");
    mtx_init();
    trace_step("start-up: rb_init");
    rb_init();
    trace_step("start-up: mdl_table_init");
    mdl_table_init();
    trace_step("start-up: tex_init");
    tex_init();
    trace_step("start-up: shape_tables_init");
    shape_tables_init();
    trace_step("start-up: shape_generate");
    shape_generate();
    trace_step("start-up: mouse_init");
    mouse_init();
    trace_step("start-up: anim_init");
    anim_init();
    trace_step("start-up: draw_set_surface");
    draw_set_surface();
    trace_step("start-up: cam_set_screen_centre");
    cam_set_screen_centre(fb_width() >> 1, fb_height() >> 1);
    trace_step("start-up: fb_set_depth");
    fb_set_depth(16);
    trace_step("start-up: pool sizes");
    rb_make_vertex_pool(1500);
    rb_make_colour_pool(1500);
    rb_make_uv_pool(1200);
    rb_make_normal_pool(1500);
    trace_step("start-up: tex_load");
    texture_handle = tex_load("tes256.bmp");
    trace_step("start-up: mdl_load");
    model_handle = mdl_load("mdt.txt", texture_handle);
    // A model that did not load leaves an empty slot: its steps are skipped.
    trace_step("start-up: model scale");
    if (Vec4* scale = mdl_scale(model_handle)) {
        scale->x = FX_ONE;
        scale->y = FX_ONE;
        scale->z = FX_ONE;
    }
    trace_step("start-up: anim_load");
    animation_handle = anim_load("an.txt", model_handle);
    trace_step("start-up: mdl_set_bone_flags");
    mdl_set_bone_flags(model_handle, BONE_LIT);
    trace_step("start-up: mdl_show");
    mdl_show(model_handle);
    trace_step("start-up: mdl_compute_normals");
    mdl_compute_normals(model_handle);
    trace_step("start-up: model position");
    if (Vec4* position = mdl_position(model_handle)) {
        position->x = 0;
        position->y = 0;
        position->z = 200;
    }
    trace_step("start-up: rb_convert_colours");
    rb_convert_colours();
    trace_step("start-up: fb_set_clear_colour");
    fb_set_clear_colour(0, 0, 0);
    trace_step("start-up: cam_set_light_colour");
    cam_set_light_colour(255, 255, 255);
    return 0;
}

void app_term() {
    trace_step("release: anim_release");
    anim_release();
    trace_step("release: mouse_release");
    mouse_release();
    trace_step("release: shape_release_stores");
    shape_release_stores();
    trace_step("release: shape_tables_release");
    shape_tables_release();
    trace_step("release: tex_release");
    tex_release();
    trace_step("release: mdl_table_release");
    mdl_table_release();
    trace_step("release: rb_release");
    rb_release();
    trace_step("release: mtx_release");
    mtx_release();
    trace_step("release: shade_release");
    shade_release();
    trace_step("release: fb_release");
    fb_release();
}

void app_frame(HWND window, int32_t, int32_t) {
    frame_mark(FRAME_START);
    fb_begin_frame(window, FB_CLEAR);
    frame_mark(FRAME_CLEARED);
    shade_before_frame();
    int32_t x = 0;
    int32_t y = 0;
    uint32_t buttons = mouse_state(&x, &y);
    int32_t dx = 0;
    int32_t dy = 0;
    mouse_delta(&dx, &dy);
    // A left drag turns the model: vertical motion about x, horizontal about y.
    Vec4* rotation = mdl_rotation(model_handle);
    if ((buttons & MOUSE_LEFT) != 0 && rotation != nullptr) {
        rotation->x = wrap_sub(rotation->x, dy) & ANGLE_MASK;
        rotation->y = wrap_sub(rotation->y, dx) & ANGLE_MASK;
    }
    // F1, F2, F3 in turn, so the later key wins when several are held.
    const int ramp_keys[] = {VK_F1, VK_F2, VK_F3};
    for (int32_t ramp = 0; ramp < 3; ramp++) {
        if ((static_cast<uint16_t>(GetAsyncKeyState(ramp_keys[ramp])) >> 8) != 0) {
            mdl_set_ramp(model_handle, ramp);
        }
    }
    cam_set_light_angles(0, light_angle, 576);
    light_angle = (light_angle + 4) & ANGLE_MASK;
    mdl_update_all();
    frame_mark(FRAME_MODELLED);
    ot_flush();
    frame_mark(FRAME_DRAWN);
    anim_step(animation_handle);
    shade_after_frame();
    frame_mark(FRAME_PRESENTING);
    fb_present();
    frame_mark(FRAME_PRESENTED);
}

int32_t app_light_angle() {
    return light_angle;
}
