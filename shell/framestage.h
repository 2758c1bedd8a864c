// Marks between the steps of a frame, so that a runner can time its stages.
// Nothing listens unless a hook is installed; then each mark calls it.
#pragma once

#include <cstdint>

enum FrameMark : int32_t {
    FRAME_START,      // before the frame's first step
    FRAME_CLEARED,    // pacing and clear done
    FRAME_MODELLED,   // input, light and the model pass done
    FRAME_OT_BUILT,   // ordering table built (depth keys, culling, buckets)
    FRAME_DRAWN,      // ordering table drawn
    FRAME_PRESENTING, // the steps after drawing done; the copy to the window follows
    FRAME_PRESENTED,  // copied to the window
    FRAME_MARKS
};

typedef void (*FrameMarkHook)(int32_t mark);

// Null turns the marks off.
void frame_set_mark_hook(FrameMarkHook hook);
void frame_mark(int32_t mark);
