// The whole shipped scene: one unpaced frame split into its stages, and the
// frame's sorted polygons drawn by us and by the peer; the memory floor.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "alloc_count.h"
#include "bench_main.h"
#include "bench_support.h"
#include "peer.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "render/surface.h"
#include "shell/fbinfo.h"
#include "shell/framestage.h"
#include "shell/memory.h"

namespace {

double mark_time = 0;
double stage_seconds[FRAME_MARKS];

void time_stage(int32_t mark) {
    const double now = thread_seconds();
    if (mark != FRAME_START) stage_seconds[mark] += now - mark_time;
    mark_time = now;
}

void scene_frame(benchmark::State& state) {
    bench_restart_scene();
    bench_scene_frame();  // the first frame after start-up is not measured
    for (double& s : stage_seconds) s = 0;
    int64_t allocations = 0;
    frame_set_mark_hook(time_stage);
    for (auto _ : state) {
        const int64_t calls = alloc_calls();
        const int32_t mem_calls = mem_alloc_calls();
        bench_scene_frame();
        allocations += alloc_calls() - calls + (mem_alloc_calls() - mem_calls);
    }
    frame_set_mark_hook(nullptr);
    const double frames = static_cast<double>(state.iterations());
    const char* const names[FRAME_MARKS] = {"",        "clear_us",      "model_us", "ot_build_us",
                                            "draw_us", "after_draw_us", "present_us"};
    double total = 0;
    for (int mark = FRAME_CLEARED; mark < FRAME_MARKS; mark++) {
        state.counters[names[mark]] = stage_seconds[mark] / frames * 1e6;
        total += stage_seconds[mark];
    }
    state.counters["frames/s"] = frames / total;
    report_allocations(state, "allocs/frame", allocations, frames);
}

uint8_t channel(int32_t value) {
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// The packets of the built ordering table, in drawing order.
std::vector<const PrimPacket*> sorted_packets(const RenderBuffer* buffer) {
    std::vector<const PrimPacket*> packets;
    for (int32_t key = OT_SIZE - 1; key >= 0; key--) {
        for (uint32_t link = ot_head(key); link != OT_LINK_NONE && (link & OT_LINK_SLOT) == 0;) {
            const PrimPacket* p = reinterpret_cast<const PrimPacket*>(buffer->first_packet + link);
            packets.push_back(p);
            link = p->link;
        }
    }
    return packets;
}

struct SceneBatches {
    int32_t textured = -1;
    int32_t plain = -1;
    int64_t pixels = 0;
    int64_t polygons = 0;
};

// The frame's polygons as the peer's triangle lists: the same screen
// vertices, texture coordinates and per-vertex colours (lit colours for lit
// packets, white for plain textured ones).
SceneBatches capture_scene() {
    const RenderBuffer* buffer = rb_drawn();
    const LightColour* light = cam_light_colour();
    std::vector<PeerVertex> textured, plain;
    SceneBatches batches;
    for (const PrimPacket* packet : sorted_packets(buffer)) {
        const uint32_t type = packet->header & PRIM_TYPE_MASK;
        const bool lit = (packet->header & PRIM_LIT) != 0;
        const bool has_texture = (packet->header & PRIM_TEXTURED) != 0;
        const bool gouraud = (packet->header & PRIM_GOURAUD) != 0;
        const int32_t corners = static_cast<int32_t>(packet->header & PRIM_COUNT_MASK);
        if (type == PRIM_CALLBACK || type == PRIM_MARKER || corners < 3 || corners > 4) continue;
        PrimArgs a;
        uint32_t uses = has_texture ? OT_USE_UVS : 0;
        uses |= lit ? OT_USE_LIT : gouraud ? OT_USE_COLOURS : has_texture ? 0 : OT_USE_FLAT;
        if (!ot_prim_args(buffer, packet, corners, uses, light, &a)) continue;
        PeerVertex corner[4];
        for (int32_t i = 0; i < corners; i++) {
            PeerVertex& p = corner[i];
            p = PeerVertex{static_cast<float>(a.v[i]->x), static_cast<float>(a.v[i]->y), 0, 0,
                           255, 255, 255};
            if (has_texture) {
                p.u = static_cast<float>(a.t[i]->x);
                p.v = static_cast<float>(a.t[i]->y);
            }
            const Vec4* colour = lit ? &a.lit[i] : gouraud ? a.c[i] : nullptr;
            if (colour != nullptr) {
                p.r = channel(colour->x);
                p.g = channel(colour->y);
                p.b = channel(colour->z);
            } else if (!has_texture) {
                p.r = static_cast<uint8_t>(((a.flat >> 10) & 31) << 3);
                p.g = static_cast<uint8_t>(((a.flat >> 5) & 31) << 3);
                p.b = static_cast<uint8_t>((a.flat & 31) << 3);
            }
        }
        std::vector<PeerVertex>& list = has_texture ? textured : plain;
        for (int32_t k = 2; k < corners; k++) {
            list.push_back(corner[0]);
            list.push_back(corner[k - 1]);
            list.push_back(corner[k]);
        }
        batches.pixels += covered_pixels(a.v, corners);
        batches.polygons++;
    }
    if (!textured.empty()) batches.textured = peer_batch(textured, true);
    if (!plain.empty()) batches.plain = peer_batch(plain, false);
    return batches;
}

void scene_draw(benchmark::State& state) {
    peer_start(bench_texels());
    bench_pose_scene();
    ot_build(rb_drawn());
    const SceneBatches batches = capture_scene();
    draw_set_surface();
    ot_draw(rb_drawn());
    if (batches.polygons == 0) {
        state.SkipWithError("the shipped scene drew no polygon (is the model loader there?)");
        return;
    }
    double ours = 0;
    double peer = 0;
    int64_t allocations = 0;
    for (auto _ : state) {
        ot_build(rb_drawn());
        const int64_t calls = alloc_calls();
        const int32_t mem_calls = mem_alloc_calls();
        const double start = thread_seconds();
        ot_draw(rb_drawn());
        const double spent = thread_seconds() - start;
        allocations += alloc_calls() - calls + (mem_alloc_calls() - mem_calls);
        ours += spent;
        state.SetIterationTime(spent);
        const double peer_start_time = thread_seconds();
        if (batches.textured >= 0) peer_draw(batches.textured);
        if (batches.plain >= 0) peer_draw(batches.plain);
        peer += thread_seconds() - peer_start_time;
    }
    report_rates(state, batches.pixels, batches.polygons, ours, peer);
    state.counters["polygons"] = static_cast<double>(batches.polygons);
    report_allocations(state, "allocs", allocations, 1);
}

// The physical floor: filling and copying a whole frame buffer.
void floor_memset(benchmark::State& state) {
    std::vector<uint16_t> frame_pixels(static_cast<size_t>(BENCH_WIDTH) * BENCH_HEIGHT);
    for (auto _ : state) {
        memset(frame_pixels.data(), 0x21, frame_pixels.size() * 2);
        benchmark::DoNotOptimize(frame_pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpix/s"] = benchmark::Counter(
        static_cast<double>(frame_pixels.size()) * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void floor_memcpy(benchmark::State& state) {
    std::vector<uint16_t> from(static_cast<size_t>(BENCH_WIDTH) * BENCH_HEIGHT, 0x1234);
    std::vector<uint16_t> to(from.size());
    for (auto _ : state) {
        memcpy(to.data(), from.data(), from.size() * 2);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpix/s"] = benchmark::Counter(
        static_cast<double>(from.size()) * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

}  // namespace

void register_scene_benchmarks() {
    benchmark::RegisterBenchmark("scene/frame", scene_frame)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("scene/draw", scene_draw)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

void register_floor_benchmarks() {
    benchmark::RegisterBenchmark("floor/memset", floor_memset)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("floor/memcpy", floor_memcpy)->Unit(benchmark::kMicrosecond);
}
