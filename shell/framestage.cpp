#include "shell/framestage.h"

namespace {

FrameMarkHook mark_hook = nullptr;

}  // namespace

void frame_set_mark_hook(FrameMarkHook hook) {
    mark_hook = hook;
}

void frame_mark(int32_t mark) {
    if (mark_hook != nullptr) mark_hook(mark);
}
