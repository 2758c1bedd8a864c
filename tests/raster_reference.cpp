#include "raster_reference.h"

namespace ref {
namespace {

// 32-bit results of exact 64-bit arithmetic, wrapped.
int32_t wrap(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}
int32_t add(int32_t a, int32_t b) { return wrap(static_cast<int64_t>(a) + b); }
int32_t sub(int32_t a, int32_t b) { return wrap(static_cast<int64_t>(a) - b); }
int32_t mul(int32_t a, int32_t b) { return wrap(static_cast<int64_t>(a) * b); }
int32_t shl(int32_t a, int shift) { return wrap(static_cast<int64_t>(a) * (int64_t{1} << shift)); }
int32_t quotient(int32_t a, int32_t b) { return wrap(static_cast<int64_t>(a) / b); }
int32_t widened(int32_t d) { return d >= 0 ? add(d, 1) : sub(d, 1); }

// Value number i of a run that starts at `start` and grows by `step`.
uint32_t nth(int32_t start, int32_t step, int64_t i) {
    return static_cast<uint32_t>(start) +
           static_cast<uint32_t>(static_cast<uint64_t>(i) * static_cast<uint32_t>(step));
}

constexpr int MAX_VALUES = 7;  // x, y and up to five more
constexpr int MAX_VERTICES = 32;

struct Vertex {
    int32_t c[MAX_VALUES];
};

struct Clipper {
    int values;           // 2 + values carried
    bool plain_columns;   // the flat clipper divides by the plain x difference
};

// The crossing of the edge from the outside vertex p toward q with the border
// p lies beyond (axis 0: columns, 1: rows).
Vertex crossing(const Vertex& p, const Vertex& q, int axis, int32_t size, const Clipper& k) {
    const int32_t difference = sub(q.c[axis], p.c[axis]);
    const int32_t divisor = (axis == 0 && k.plain_columns) ? difference : widened(difference);
    Vertex i = p;
    int32_t reach;
    if (p.c[axis] < 0) {
        i.c[axis] = 0;
        reach = sub(0, p.c[axis]);
    } else {
        i.c[axis] = size - 1;
        reach = sub(size, p.c[axis]);
    }
    for (int c = 0; c < k.values; c++) {
        if (c == axis) continue;
        const int32_t slope = quotient(shl(sub(q.c[c], p.c[c]), 8), divisor);
        i.c[c] = add(p.c[c], mul(reach, slope) >> 8);
    }
    return i;
}

int clip_pass(const Vertex* in, int n, Vertex* out, int axis, int32_t size, const Clipper& k) {
    int m = 0;
    auto outside = [&](const Vertex& p) { return p.c[axis] < 0 || p.c[axis] > size - 1; };
    for (int e = 0; e < n; e++) {
        const Vertex& a = in[e];
        const Vertex& b = in[(e + 1) % n];
        if (!outside(a) && !outside(b)) {
            out[m++] = b;
        } else if (outside(a) && !outside(b)) {
            const Vertex i = crossing(a, b, axis, size, k);
            if (axis == 0) {
                if (i.c[0] != b.c[0]) {
                    out[m++] = i;
                    out[m++] = b;
                } else if (i.c[1] != b.c[1]) {
                    out[m++] = b;
                } else {
                    out[m++] = i;
                }
            } else {
                out[m++] = i;
                if (i.c[0] != b.c[0] || i.c[1] != b.c[1]) out[m++] = b;
            }
        } else if (!outside(a) && outside(b)) {
            const Vertex i = crossing(b, a, axis, size, k);
            const bool repeats_a = axis == 0 ? i.c[0] == a.c[0]
                                             : (i.c[0] == a.c[0] && i.c[1] == a.c[1]);
            if (!repeats_a) out[m++] = i;
        }
    }
    return m;
}

// Left and right accumulators of one row: x then the carried values (24.8).
struct Row {
    int32_t y;
    const int32_t* left;
    const int32_t* right;
};

struct Span {
    Family family;
    const Surface* s;
    const Texture* t;
    const uint8_t* ramp;
    uint16_t flat;
};

uint16_t& pixel(const Surface& s, int32_t x, int32_t y) {
    return s.pixels[static_cast<int64_t>(y) * s.width + x];
}

uint16_t add_rule(uint32_t a, uint32_t b) {
    const uint32_t sum = (a & 0x7BDE) + (b & 0x7BDE);
    const uint32_t carries = sum & 0x8420;
    return static_cast<uint16_t>(sum | (carries - (carries >> 5)));
}

// What a span needs per pixel: its start values and steps, in the order the
// family uses them.
struct SpanRun {
    int32_t start[5];
    int32_t step[5];
};

// Colour channels from the left and right accumulators: channel k at
// value * 2^shift[k] (a negative shift halves the value first).
SpanRun colour_run(const int32_t* l, const int32_t* r, int32_t count, const int* shift) {
    SpanRun run{};
    for (int k = 0; k < 3; k++) {
        if (shift[k] < 0) {
            run.start[k] = l[k] >> 1;
            run.step[k] = quotient(sub(r[k], l[k]) >> 1, count);
        } else {
            run.start[k] = shl(l[k], shift[k]);
            run.step[k] = quotient(shl(sub(r[k], l[k]), shift[k]), count);
        }
    }
    return run;
}

SpanRun make_run(const Span& sp, const int32_t* l, const int32_t* r, int32_t count) {
    static const int halved[3] = {-1, -1, -1};
    static const int additive[3] = {15, 10, 5};
    switch (sp.family) {
    case FLAT: return SpanRun{};
    case GOURAUD: return colour_run(l + 1, r + 1, count, halved);
    case GOURAUD_ADD: return colour_run(l + 1, r + 1, count, additive);
    default: break;
    }
    SpanRun run{};
    if (sp.family == SHADED) run = colour_run(l + 3, r + 3, count, halved);
    // Texture coordinates after the colours: u in 3, v in 4.
    run.step[3] = quotient(sub(r[1], l[1]), count) >> (8 - sp.t->width_shift);
    run.step[4] = quotient(sub(r[2], l[2]), count) >> (8 - sp.t->height_shift);
    run.start[3] = shl(l[1], sp.t->width_shift) >> 8;
    run.start[4] = shl(l[2], sp.t->height_shift) >> 8;
    return run;
}

// Pixel number i of the span, over the pixel `under`.
uint16_t span_pixel(const Span& sp, const SpanRun& run, int64_t i, uint16_t under) {
    uint32_t value[5];
    for (int k = 0; k < 5; k++) value[k] = nth(run.start[k], run.step[k], i);
    switch (sp.family) {
    case FLAT: return sp.flat;
    case GOURAUD:
        return static_cast<uint16_t>((value[0] & 0x7C00) | ((value[1] >> 5) & 0x03E0) |
                                     ((value[2] >> 10) & 0x001F));
    case GOURAUD_ADD: {
        const uint32_t source =
            (value[0] & 0x78000000) | (value[1] & 0x03C00000) | (value[2] & 0x001E0000);
        return add_rule(under, source >> 16);
    }
    default: break;
    }
    const Texture& t = *sp.t;
    const int32_t u = static_cast<int32_t>(value[3]);
    const int32_t v = static_cast<int32_t>(value[4]);
    const int32_t u_mask = (1 << t.width_shift) - 1;
    const int32_t v_mask = ((1 << t.height_shift) - 1) * 256;
    const uint32_t texel = t.texels[((v & v_mask) >> (8 - t.width_shift)) + ((u >> 8) & u_mask)];
    switch (sp.family) {
    case TEX_COPY: return static_cast<uint16_t>(texel);
    case TEX_ADD: return add_rule(texel, under);
    case TEX_HALF: return static_cast<uint16_t>(((texel >> 1) & 0x3DEF) + ((under >> 1) & 0x3DEF));
    default: break;
    }
    uint32_t out = 0;
    for (int k = 0; k < 3; k++) {
        const uint32_t column = (texel >> (10 - 5 * k)) & 31;
        out |= static_cast<uint32_t>(sp.ramp[((value[k] >> 10) & 31) * 32 + column])
               << (10 - 5 * k);
    }
    return static_cast<uint16_t>(out);
}

void draw_span(const Span& sp, const Row& row) {
    const int32_t x = row.left[0] >> 8;
    const int32_t count = sub(row.right[0] >> 8, x);
    if (count <= 0 || row.y < 0 || row.y >= sp.s->height) return;
    const SpanRun run = make_run(sp, row.left, row.right, count);
    // Only the columns on the surface are written.
    for (int64_t column = x < 0 ? 0 : x;
         column < static_cast<int64_t>(x) + count && column < sp.s->width; column++) {
        uint16_t& p = pixel(*sp.s, static_cast<int32_t>(column), row.y);
        p = span_pixel(sp, run, column - x, p);
    }
}

// Walks the clipped outline from its top vertex down, one span per row.
void scan(const Vertex* v, int m, int walked, const Span& sp) {
    if (m < 2) return;
    int top = 0;
    for (int i = 1; i < m; i++) {
        if (v[i].c[1] < v[top].c[1]) top = i;
    }
    // Walked values: x (c[0]) and c[2..], at walked positions 0, 1, ...
    auto value = [&](const Vertex& p, int a) { return p.c[a == 0 ? 0 : a + 1]; };
    int end[2] = {(top + 1) % m, (top + m - 1) % m};
    const int direction[2] = {1, m - 1};
    int32_t step[2][MAX_VALUES];
    auto set_steps = [&](int edge, int from) {
        const int32_t rows = widened(v[end[edge]].c[1] - v[from].c[1]);
        for (int a = 0; a < walked; a++) {
            step[edge][a] = quotient(shl(sub(value(v[end[edge]], a), value(v[from], a)), 8), rows);
        }
    };
    auto move_on = [&](int edge) {
        const int from = end[edge];
        end[edge] = (end[edge] + direction[edge]) % m;
        set_steps(edge, from);
    };
    set_steps(0, top);
    set_steps(1, top);
    const int left = step[1][0] < step[0][0] ? 1 : 0;
    const int right = 1 - left;
    int32_t acc[2][MAX_VALUES];
    for (int a = 0; a < walked; a++) acc[0][a] = acc[1][a] = shl(value(v[top], a), 8);
    int32_t y = v[top].c[1];
    for (int event = 0; event < m - 1; event++) {
        const int k = v[end[1]].c[1] < v[end[0]].c[1] ? 1 : 0;
        const int32_t end_y = v[end[k]].c[1];
        if (y == end_y) {
            draw_span(sp, Row{y, acc[left], acc[right]});
            for (int a = 0; a < walked; a++) acc[k][a] = add(acc[k][a], step[k][a]);
        } else {
            for (; y <= end_y; y++) {
                draw_span(sp, Row{y, acc[left], acc[right]});
                for (int a = 0; a < walked; a++) {
                    acc[0][a] = add(acc[0][a], step[0][a]);
                    acc[1][a] = add(acc[1][a], step[1][a]);
                }
            }
            if (v[end[1 - k]].c[1] == end_y) move_on(1 - k);
        }
        move_on(k);
    }
}

}  // namespace

void draw(Family family, const Polygon& p, const Surface& s, const Texture& t,
          const uint8_t* ramp) {
    const int n = p.n;
    if (family == FLAT || family == GOURAUD || family == GOURAUD_ADD) {
        bool one_row = true;
        for (int i = 1; i < n; i++) one_row = one_row && p.y[i] == p.y[0];
        if (one_row) return;
    }
    Clipper k{2, family == FLAT};
    Vertex in[4];
    for (int i = 0; i < n; i++) {
        Vertex& w = in[i];
        w.c[0] = p.x[i];
        w.c[1] = p.y[i];
        const int32_t colours[3] = {p.r[i], p.g[i], p.b[i]};
        if (family == GOURAUD || family == GOURAUD_ADD) {
            for (int c = 0; c < 3; c++) w.c[2 + c] = colours[c];
            k.values = 5;
        } else if (family != FLAT) {
            w.c[2] = p.u[i];
            w.c[3] = p.v[i];
            k.values = 4;
            if (family == SHADED) {
                for (int c = 0; c < 3; c++) w.c[4 + c] = colours[c];
                k.values = 7;
            }
        }
    }
    Vertex columns[MAX_VERTICES];
    Vertex clipped[MAX_VERTICES];
    const int columns_count = clip_pass(in, n, columns, 0, s.width, k);
    const int m = clip_pass(columns, columns_count, clipped, 1, s.height, k);
    scan(clipped, m, k.values - 1, Span{family, &s, &t, ramp, p.flat});
}

}  // namespace ref
