#include "rasterizer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace kalix {

namespace {

constexpr int kSubBits = 8;  // fraction bits of snapped screen positions
constexpr int64_t kSub = int64_t(1) << kSubBits;
constexpr float kMinW = 1e-5f;         // clip-space w below this is at or behind the eye
constexpr float kGuardPixels = 16384;  // how far off screen a vertex may lie without clipping
constexpr int kMaxSide = 32768;        // the fixed-point edge math is sized for this
constexpr float kSpotSoftEdge = 0.8f;  // a spot fades out over the outer fifth of its angle
constexpr int kAttributes = 5;         // r, g, b (0..255), u, v
constexpr int kMaxPolygon = 24;        // a triangle clipped by seven planes has at most ten

// Clip outcodes: the first seven planes reject, the clip planes are the ones clipped against.
enum : uint16_t {
    kLeft = 1 << 0,
    kRight = 1 << 1,
    kBelow = 1 << 2,
    kAbove = 1 << 3,
    kNear = 1 << 4,
    kFar = 1 << 5,
    kBehind = 1 << 6,
    kGuardLeft = 1 << 7,
    kGuardRight = 1 << 8,
    kGuardBelow = 1 << 9,
    kGuardAbove = 1 << 10,
    kBad = 1 << 11,
};
constexpr uint16_t kRejectCodes = kLeft | kRight | kBelow | kAbove | kNear | kFar | kBehind;
constexpr uint16_t kClipCodes =
    kNear | kFar | kBehind | kGuardLeft | kGuardRight | kGuardBelow | kGuardAbove;
// The planes clipped against, in order, with the outcode bit that says a vertex is outside.
constexpr uint16_t kPlaneCodes[7] = {kBehind,     kNear,       kFar,       kGuardLeft,
                                     kGuardRight, kGuardBelow, kGuardAbove};

enum Mode { kFlatColor = 0, kSmooth = 1, kTextured = 2, kTextureOnly = 3 };
// The attributes each mode interpolates: colour, colour and uv, or uv alone.
constexpr int FirstAttribute(int mode) { return mode == kTextureOnly ? 3 : 0; }
constexpr int EndAttribute(int mode) { return mode == kSmooth ? 3 : kAttributes; }
constexpr int kNarrow = 12;  // pixels; narrower triangles are filled by walking their box

struct Target {
    uint32_t* color;
    float* depth;
    int width, height;
};

struct Paint {
    uint32_t color = 0;  // the whole triangle's colour in kFlatColor
    const uint32_t* texels = nullptr;
    int texWidth = 0, texHeight = 0;
    TextureBlend blend = TextureBlend::Modulate;
};

// A vertex ready to rasterise: screen position, depth 0..1, 1/w and attributes divided by w.
struct RasterVertex {
    float x, y, z, q;
    float a[kAttributes];
};

// A vertex in homogeneous clip space with plain attributes, in double so clipping cannot overflow.
struct ClipVertex {
    double p[4];
    double a[kAttributes];
};

// A linear function of the pixel position: its value at the centre of pixel (0, 0), gradients.
struct Plane {
    double c, gx, gy;
};

uint16_t OutCode(Vec4 c, float guard) {
    if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z) || !std::isfinite(c.w))
        return kBad;
    const float g = guard * c.w;
    return static_cast<uint16_t>(
        (c.x < -c.w ? kLeft : 0) | (c.x > c.w ? kRight : 0) | (c.y < -c.w ? kBelow : 0) |
        (c.y > c.w ? kAbove : 0) | (c.z < -c.w ? kNear : 0) | (c.z > c.w ? kFar : 0) |
        (c.w < kMinW ? kBehind : 0) | (c.x < -g ? kGuardLeft : 0) | (c.x > g ? kGuardRight : 0) |
        (c.y < -g ? kGuardBelow : 0) | (c.y > g ? kGuardAbove : 0));
}

// Signed distance-like value of a homogeneous point to clip plane `plane`; inside when >= 0.
double PlaneDistance(const double* p, int plane, double guard) {
    switch (plane) {
        case 0:
            return p[3] - kMinW;
        case 1:
            return p[2] + p[3];
        case 2:
            return p[3] - p[2];
        case 3:
            return p[0] + guard * p[3];
        case 4:
            return guard * p[3] - p[0];
        case 5:
            return p[1] + guard * p[3];
        default:
            return guard * p[3] - p[1];
    }
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, double t) {
    ClipVertex r;
    for (int i = 0; i < 4; ++i) r.p[i] = a.p[i] + (b.p[i] - a.p[i]) * t;
    for (int i = 0; i < kAttributes; ++i) r.a[i] = a.a[i] + (b.a[i] - a.a[i]) * t;
    return r;
}

// Sutherland-Hodgman against every plane named in `codes`; the result is left in `poly`.
int ClipPolygon(ClipVertex* poly, ClipVertex* scratch, int count, uint16_t codes, double guard) {
    for (int plane = 0; plane < 7 && count >= 3; ++plane) {
        if (!(codes & kPlaneCodes[plane])) continue;
        int out = 0;
        for (int i = 0; i < count && out + 2 <= kMaxPolygon; ++i) {
            const ClipVertex& a = poly[i];
            const ClipVertex& b = poly[(i + 1) % count];
            const double da = PlaneDistance(a.p, plane, guard);
            const double db = PlaneDistance(b.p, plane, guard);
            if (da >= 0) scratch[out++] = a;
            if ((da >= 0) != (db >= 0)) scratch[out++] = Lerp(a, b, da / (da - db));
        }
        std::copy(scratch, scratch + out, poly);
        count = out;
    }
    return count >= 3 ? count : 0;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// 0..255 rounded. Adding 1.5 * 2^23 leaves the integer in the low mantissa bits, clamped as an
// integer: no conversion or float compare that could trap, so pixel loops vectorise.
uint32_t Channel(float v) {
    const float shifted = v + 12582912.0f;
    uint32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    const int32_t i = static_cast<int32_t>(bits - 0x4B400000u);
    return static_cast<uint32_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
}

uint32_t Pack255(float r, float g, float b) {
    return 0xFF000000u | Channel(r) << 16 | Channel(g) << 8 | Channel(b);
}

float Clamp01(float v) { return v > 0 ? (v < 1 ? v : 1) : 0; }

uint32_t Sample(const Paint& paint, float u, float v) {
    auto wrap = [](float f, int size) {
        if (!(std::fabs(f) < 8388608.0f)) f = 0;  // also NaN; beyond this floats are integers
        int i = static_cast<int>(f);
        if (static_cast<float>(i) > f) --i;
        int texel = static_cast<int>((f - static_cast<float>(i)) * static_cast<float>(size));
        return texel < 0 ? 0 : (texel >= size ? size - 1 : texel);
    };
    const int x = wrap(u, paint.texWidth), y = wrap(v, paint.texHeight);
    return paint.texels[static_cast<size_t>(y) * static_cast<size_t>(paint.texWidth) + x];
}

template <int kMode>
uint32_t Shade(const Paint& paint, float r, float g, float b, float u, float v) {
    if (kMode == kSmooth) return Pack255(r, g, b);
    const uint32_t texel = Sample(paint, u, v);
    if (kMode == kTextureOnly) return texel | 0xFF000000u;
    const float tr = static_cast<float>(texel >> 16 & 0xFF);
    const float tg = static_cast<float>(texel >> 8 & 0xFF);
    const float tb = static_cast<float>(texel & 0xFF);
    if (paint.blend == TextureBlend::Add) return Pack255(r + tr, g + tg, b + tb);
    constexpr float k = 1.0f / 255;
    return Pack255(r * tr * k, g * tg * k, b * tb * k);
}

struct Edges {
    int64_t e[3];   // edge functions at the centre of pixel (0, y), fill rule bias included
    int64_t s[3];   // change per pixel to the right
    int64_t t[3];   // change per row down
    double inv[3];  // 1 / s, for triangles wider than kNarrow
};

// A row's interpolants from pixel `x` on: depth, 1/w and the attributes over w, with steps.
struct RowValues {
    float z, zStep, q, qStep;
    float a[kAttributes], aStep[kAttributes];
};

template <int kMode>
RowValues ValuesAt(const Plane* planes, int x, int y) {
    auto at = [&](const Plane& p) { return static_cast<float>(p.c + p.gx * x + p.gy * y); };
    RowValues v{};
    v.z = at(planes[0]);
    v.zStep = static_cast<float>(planes[0].gx);
    if (kMode != kFlatColor) {
        v.q = at(planes[1]);
        v.qStep = static_cast<float>(planes[1].gx);
        for (int i = FirstAttribute(kMode); i < EndAttribute(kMode); ++i) {
            v.a[i] = at(planes[2 + i]);
            v.aStep[i] = static_cast<float>(planes[2 + i].gx);
        }
    }
    return v;
}

// One pixel `t` steps along the row, with branches; for narrow triangles and textures.
template <bool kTest, bool kWrite, int kMode>
void PutPixel(uint32_t* color, float* depth, const RowValues& v, float t, const Paint& paint) {
    const float z = v.z + v.zStep * t;
    if (kTest && !(z < *depth)) return;
    if (kWrite) *depth = z;
    if (kMode == kFlatColor) {
        *color = paint.color;
        return;
    }
    const float w = 1.0f / (v.q + v.qStep * t);
    float a[kAttributes] = {};
    for (int i = FirstAttribute(kMode); i < EndAttribute(kMode); ++i)
        a[i] = (v.a[i] + v.aStep[i] * t) * w;
    *color = Shade<kMode>(paint, a[0], a[1], a[2], a[3], a[4]);
}

template <bool kTest, bool kWrite, int kMode>
void FillRows(const Target& target, Edges edges, const Plane* planes, int x0, int x1, int y0,
              int y1, const Paint& paint) {
    for (int k = 0; k < 3; ++k) edges.e[k] += edges.t[k] * y0;
    const int64_t* s = edges.s;
    const bool narrow = x1 - x0 <= kNarrow;
    for (int y = y0; y <= y1; ++y) {
        int64_t e[3] = {edges.e[0], edges.e[1], edges.e[2]};
        for (int k = 0; k < 3; ++k) edges.e[k] += edges.t[k];
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(target.width);
        uint32_t* color = target.color + row;
        float* depth = target.depth + row;

        if (narrow) {
            // Small triangles: walk the bounding box, stepping the edge functions.
            for (int k = 0; k < 3; ++k) e[k] += s[k] * x0;
            const RowValues v = ValuesAt<kMode>(planes, x0, y);
            float t = 0;
            for (int x = x0; x <= x1; ++x, t += 1, e[0] += s[0], e[1] += s[1], e[2] += s[2]) {
                if ((e[0] | e[1] | e[2]) >= 0)
                    PutPixel<kTest, kWrite, kMode>(color + x, depth + x, v, t, paint);
            }
            continue;
        }

        // The span from each edge's crossing, estimated in double and then trimmed exactly.
        auto inside = [&](int x) {
            return ((e[0] + s[0] * x) | (e[1] + s[1] * x) | (e[2] + s[2] * x)) >= 0;
        };
        int lo = x0, hi = x1;
        bool empty = false;
        for (int k = 0; k < 3; ++k) {
            if (s[k] == 0) {
                empty = empty || e[k] < 0;
                continue;
            }
            double at = -static_cast<double>(e[k]) * edges.inv[k];
            at = std::clamp(at, static_cast<double>(x0 - 1), static_cast<double>(x1 + 1));
            if (s[k] > 0)
                lo = std::max(lo, static_cast<int>(at));
            else
                hi = std::min(hi, static_cast<int>(at));
        }
        if (empty) continue;
        lo = std::max(x0, lo - 1);  // the estimate may be one off either way
        hi = std::min(x1, hi + 1);
        while (lo <= hi && !inside(lo)) ++lo;
        while (hi >= lo && !inside(hi)) --hi;
        if (lo > hi) continue;

        const RowValues v = ValuesAt<kMode>(planes, lo, y);
        if constexpr (kMode == kFlatColor || kMode == kSmooth) {
            // Branch-free, so the compiler can run several pixels at once.
            for (int i = 0; i <= hi - lo; ++i) {
                const float t = static_cast<float>(i);
                const float z = v.z + v.zStep * t;
                const float before = depth[lo + i];
                const bool pass = !kTest || z < before;
                const uint32_t mask = pass ? ~0u : 0u;
                if (kWrite) depth[lo + i] = pass ? z : before;
                uint32_t c = paint.color;
                if (kMode == kSmooth) {
                    const float w = 1.0f / (v.q + v.qStep * t);
                    c = Pack255((v.a[0] + v.aStep[0] * t) * w, (v.a[1] + v.aStep[1] * t) * w,
                                (v.a[2] + v.aStep[2] * t) * w);
                }
                color[lo + i] = (c & mask) | (color[lo + i] & ~mask);
            }
        } else {
            float t = 0;
            for (int x = lo; x <= hi; ++x, t += 1)
                PutPixel<kTest, kWrite, kMode>(color + x, depth + x, v, t, paint);
        }
    }
}

template <bool kTest, bool kWrite>
void FillRowsIn(int mode, const Target& target, const Edges& edges, const Plane* planes, int x0,
                int x1, int y0, int y1, const Paint& paint) {
    switch (mode) {
        case kFlatColor:
            return FillRows<kTest, kWrite, kFlatColor>(target, edges, planes, x0, x1, y0, y1,
                                                       paint);
        case kSmooth:
            return FillRows<kTest, kWrite, kSmooth>(target, edges, planes, x0, x1, y0, y1, paint);
        case kTextured:
            return FillRows<kTest, kWrite, kTextured>(target, edges, planes, x0, x1, y0, y1, paint);
        default:
            return FillRows<kTest, kWrite, kTextureOnly>(target, edges, planes, x0, x1, y0, y1,
                                                         paint);
    }
}

// The rows and columns of pixels whose centres the snapped triangle X, Y may cover, on screen.
struct PixelBox {
    int x0, x1, y0, y1;
};

PixelBox CoveredPixels(const Target& target, const int64_t X[3], const int64_t Y[3]) {
    const int64_t half = kSub / 2;
    const int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
    const int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
    PixelBox box;
    box.x0 = static_cast<int>(std::max<int64_t>(0, -FloorDiv(half - minX, kSub)));
    box.x1 = static_cast<int>(std::min<int64_t>(target.width - 1, FloorDiv(maxX - half, kSub)));
    box.y0 = static_cast<int>(std::max<int64_t>(0, -FloorDiv(half - minY, kSub)));
    box.y1 = static_cast<int>(std::min<int64_t>(target.height - 1, FloorDiv(maxY - half, kSub)));
    return box;
}

// Edge functions of the triangle X, Y at pixel centres, biased so shared edges obey top-left.
Edges SetUpEdges(const int64_t X[3], const int64_t Y[3], const PixelBox& box) {
    const int64_t half = kSub / 2;
    Edges edges;
    for (int k = 0; k < 3; ++k) {
        const int j = (k + 1) % 3;
        const int64_t a = Y[k] - Y[j], b = X[j] - X[k];
        const bool topLeft = a > 0 || (a == 0 && b > 0);
        edges.e[k] = a * (half - X[k]) + b * (half - Y[k]) - (topLeft ? 0 : 1);
        edges.s[k] = a * kSub;
        edges.t[k] = b * kSub;
        edges.inv[k] =
            a != 0 && box.x1 - box.x0 > kNarrow ? 1.0 / static_cast<double>(edges.s[k]) : 0.0;
    }
    return edges;
}

// Depth, 1/w and the attributes `mode` uses, from the snapped corners to agree with coverage.
void SetUpPlanes(const RasterVertex* const v[3], const int64_t X[3], const int64_t Y[3],
                 int64_t area, int mode, Plane* planes) {
    double px[3], py[3];
    for (int k = 0; k < 3; ++k) {
        px[k] = static_cast<double>(X[k]) / kSub;
        py[k] = static_cast<double>(Y[k]) / kSub;
    }
    const double dx1 = px[1] - px[0], dy1 = py[1] - py[0];
    const double dx2 = px[2] - px[0], dy2 = py[2] - py[0];
    const double inv = static_cast<double>(kSub * kSub) / static_cast<double>(area);
    auto plane = [&](float a0, float a1, float a2) {
        const double d1 = double(a1) - a0, d2 = double(a2) - a0;
        Plane p;
        p.gx = (d1 * dy2 - d2 * dy1) * inv;
        p.gy = (d2 * dx1 - d1 * dx2) * inv;
        p.c = a0 + p.gx * (0.5 - px[0]) + p.gy * (0.5 - py[0]);
        return p;
    };
    planes[0] = plane(v[0]->z, v[1]->z, v[2]->z);
    if (mode != kFlatColor) {
        planes[1] = plane(v[0]->q, v[1]->q, v[2]->q);
        for (int i = FirstAttribute(mode); i < EndAttribute(mode); ++i)
            planes[2 + i] = plane(v[0]->a[i], v[1]->a[i], v[2]->a[i]);
    }
}

// Fills a triangle whose snapped positions X, Y wind with positive `area` (twice the area, in
// fixed point), covering pixel centres by the top-left rule.
void FillTriangle(const Target& target, const RasterVertex* const v[3], const int64_t X[3],
                  const int64_t Y[3], int64_t area, int mode, bool test, bool write,
                  const Paint& paint) {
    const PixelBox box = CoveredPixels(target, X, Y);
    if (box.x0 > box.x1 || box.y0 > box.y1) return;
    const Edges edges = SetUpEdges(X, Y, box);
    Plane planes[2 + kAttributes];
    SetUpPlanes(v, X, Y, area, mode, planes);
    const int x0 = box.x0, x1 = box.x1, y0 = box.y0, y1 = box.y1;
    if (test && write)
        FillRowsIn<true, true>(mode, target, edges, planes, x0, x1, y0, y1, paint);
    else if (test)
        FillRowsIn<true, false>(mode, target, edges, planes, x0, x1, y0, y1, paint);
    else if (write)
        FillRowsIn<false, true>(mode, target, edges, planes, x0, x1, y0, y1, paint);
    else
        FillRowsIn<false, false>(mode, target, edges, planes, x0, x1, y0, y1, paint);
}

// Fixed point, rounded half up; callers keep v within the guard band.
int64_t Snap(float v) {
    const float f = v * static_cast<float>(kSub) + 0.5f;
    const int64_t i = static_cast<int64_t>(f);
    return static_cast<float>(i) > f ? i - 1 : i;
}

int64_t Area(const int64_t X[3], const int64_t Y[3]) {
    return (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
}

Vec3 Mul(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

// Inline twins of the math library's calls, for the per-vertex loops.
Vec4 Apply(const Mat4& matrix, Vec3 p) {
    const float* m = matrix.m;
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
            m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14],
            m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15]};
}
Vec3 Unit(Vec3 v) {
    const float length2 = Dot(v, v);
    return length2 > 0 ? v * (1 / std::sqrt(length2)) : Vec3{};
}
Vec3 Rgb(Vec4 c) { return {c.x, c.y, c.z}; }

// How far off screen, in units of w, a vertex may lie before it is clipped.
float GuardBand(int width, int height) {
    return std::max(1.0f, 2 * kGuardPixels / static_cast<float>(std::max(width, height)));
}

// Counter-clockwise in the world is clockwise on the y-down screen: negative area.
bool Culled(int64_t area, Cull cull) {
    return area == 0 || (cull == Cull::Back && area > 0) || (cull == Cull::Front && area < 0);
}

bool SameColor(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Twice the signed area of a polygon of snapped positions.
int64_t PolygonArea(const int64_t* X, const int64_t* Y, int count) {
    int64_t area = 0;
    for (int k = 0; k < count; ++k) {
        const int j = (k + 1) % count;
        area += X[k] * Y[j] - X[j] * Y[k];
    }
    return area;
}

// A triangle's texture coordinates times `scale`.
void ScaledUvs(const Vec2* uvs, const uint32_t id[3], float scale, Vec2 out[3]) {
    for (int k = 0; k < 3; ++k) {
        out[k] = uvs[id[k]];
        out[k].x *= scale;
        out[k].y *= scale;
    }
}

// A triangle or what clipping left of it, on screen: vertices, snapped corners, twice its area.
struct ScreenPolygon {
    RasterVertex v[kMaxPolygon];
    int64_t X[kMaxPolygon], Y[kMaxPolygon];
    int count;
    int64_t area;
};

// A triangle that needs no clipping, from the vertices' screen positions.
void PlaceTriangle(const Vec4* screen, const uint32_t id[3], ScreenPolygon* poly) {
    for (int k = 0; k < 3; ++k) {
        const Vec4 s = screen[id[k]];
        RasterVertex& v = poly->v[k];
        v.x = s.x, v.y = s.y, v.z = s.z, v.q = s.w;
        poly->X[k] = Snap(s.x);
        poly->Y[k] = Snap(s.y);
    }
    poly->count = 3;
    poly->area = Area(poly->X, poly->Y);
}

// The attributes of a triangle placed by PlaceTriangle, divided by w.
void SetAttributes(const Vec3 colors[3], const Vec2 uvs[3], ScreenPolygon* poly) {
    for (int k = 0; k < 3; ++k) {
        RasterVertex& v = poly->v[k];
        const float q = v.q;
        v.a[0] = colors[k].x * 255 * q;
        v.a[1] = colors[k].y * 255 * q;
        v.a[2] = colors[k].z * 255 * q;
        v.a[3] = uvs[k].x * q;
        v.a[4] = uvs[k].y * q;
    }
}

// Divides a clipped polygon by w onto the screen; false if a vertex lands nowhere finite.
bool ProjectPolygon(const ClipVertex* clipped, int count, float width, float height,
                    ScreenPolygon* poly) {
    for (int k = 0; k < count; ++k) {
        const ClipVertex& c = clipped[k];
        // Clipping between huge and tiny values can round w to 0: such a piece is skipped.
        if (!(c.p[3] > 0)) return false;
        const double q = 1.0 / c.p[3];
        const double x = (c.p[0] * q * 0.5 + 0.5) * width;
        const double y = (0.5 - c.p[1] * q * 0.5) * height;
        if (!(std::isfinite(x) && std::isfinite(y) && std::fabs(x) < 1e6 && std::fabs(y) < 1e6))
            return false;
        RasterVertex& v = poly->v[k];
        v.x = static_cast<float>(x);
        v.y = static_cast<float>(y);
        v.z = static_cast<float>(c.p[2] * q * 0.5 + 0.5);
        v.q = static_cast<float>(q);
        for (int i = 0; i < kAttributes; ++i) v.a[i] = static_cast<float>(c.a[i] * q);
        poly->X[k] = Snap(v.x);
        poly->Y[k] = Snap(v.y);
    }
    poly->count = count;
    poly->area = PolygonArea(poly->X, poly->Y, count);
    return true;
}

// Clips a triangle by the planes in `codes` onto the screen; false if nothing drawable is left.
bool ClipTriangle(const Vec4 clip[3], const Vec3 colors[3], const Vec2 uvs[3], uint16_t codes,
                  double guard, float width, float height, ScreenPolygon* poly) {
    ClipVertex clipped[kMaxPolygon], scratch[kMaxPolygon];
    for (int k = 0; k < 3; ++k) {
        const Vec4 c = clip[k];
        clipped[k] = {
            {c.x, c.y, c.z, c.w},
            {colors[k].x * 255.0, colors[k].y * 255.0, colors[k].z * 255.0, uvs[k].x, uvs[k].y}};
    }
    const int count = ClipPolygon(clipped, scratch, 3, codes, guard);
    return count >= 3 && ProjectPolygon(clipped, count, width, height, poly);
}

// The cheapest way to fill a triangle with these colours that still looks the same.
int FillMode(bool textured, TextureBlend blend, Lighting lighting, const Vec3 colors[3]) {
    if (textured) return blend == TextureBlend::Replace ? kTextureOnly : kTextured;
    if (lighting != Lighting::PerVertex ||
        (SameColor(colors[0], colors[1]) && SameColor(colors[0], colors[2])))
        return kFlatColor;
    return kSmooth;
}

// Fills a polygon as a fan, each piece wound to positive area for the edge tests.
void FillPolygon(const Target& target, const ScreenPolygon& poly, int mode, bool test, bool write,
                 const Paint& paint) {
    const bool flip = poly.area < 0;
    for (int k = 1; k + 1 < poly.count; ++k) {
        int order[3] = {0, k, k + 1};
        if (flip) std::swap(order[1], order[2]);
        const RasterVertex* v[3] = {&poly.v[order[0]], &poly.v[order[1]], &poly.v[order[2]]};
        const int64_t px[3] = {poly.X[order[0]], poly.X[order[1]], poly.X[order[2]]};
        const int64_t py[3] = {poly.Y[order[0]], poly.Y[order[1]], poly.Y[order[2]]};
        const int64_t piece = Area(px, py);
        if (piece > 0) FillTriangle(target, v, px, py, piece, mode, test, write, paint);
    }
}

}  // namespace

void FrameBuffer::Resize(int width, int height) {
    mWidth = std::clamp(width, 0, kMaxSide);
    mHeight = std::clamp(height, 0, kMaxSide);
    const size_t count = static_cast<size_t>(mWidth) * static_cast<size_t>(mHeight);
    mColor.resize(count);
    mDepth.resize(count);
}

void FrameBuffer::Clear(uint32_t color) {
    std::fill(mColor.begin(), mColor.end(), color);
    std::fill(mDepth.begin(), mDepth.end(), 1.0f);
}

uint32_t PackColor(Vec4 c) {
    auto channel = [](float v) { return static_cast<uint32_t>(Clamp01(v) * 255 + 0.5f); };
    return channel(c.w) << 24 | channel(c.x) << 16 | channel(c.y) << 8 | channel(c.z);
}

constexpr size_t kMaxOutlinedTriangles = 1024;

void MarkHighlighted(Surface* s) {
    constexpr float kMix = 0.2f, kGlow = 0.12f;  // the model's own colour stays recognisable
    const Vec4 orange{1.0f, 0.55f, 0.1f, 1};
    auto toward = [](float from, float to) { return from + (to - from) * kMix; };
    s->diffuse = {toward(s->diffuse.x, orange.x), toward(s->diffuse.y, orange.y),
                  toward(s->diffuse.z, orange.z), s->diffuse.w};
    s->emissive = {s->emissive.x + orange.x * kGlow, s->emissive.y + orange.y * kGlow,
                   s->emissive.z + orange.z * kGlow, s->emissive.w};
    // a texture that replaces the colour would hide the tint
    if (s->blend == TextureBlend::Replace) s->blend = TextureBlend::Modulate;
    s->outline = PackColor({1.0f, 0.6f, 0.15f, 1});
}

void Rasterizer::Begin(FrameBuffer* target, const Mat4& view, const Mat4& projection, Vec3 eye,
                       Vec3 ambient, const std::vector<Light>& lights) {
    mTarget = target;
    mViewProjection = Multiply(projection, view);
    mEye = eye;
    mAmbient = ambient;
    mLitBy.resize(lights.size());
    for (size_t k = 0; k < lights.size(); ++k) {
        const Light& l = lights[k];
        LitBy& b = mLitBy[k];
        b.kind = l.kind;
        b.radiance = l.color * l.intensity;
        b.position = l.position;
        b.toward = Normalize(l.direction) * -1.0f;
        b.range2 = l.range > 0 ? l.range * l.range : 0;  // also NaN: never lit
        b.inverseRange = l.range > 0 ? 1 / l.range : 0;
        const float angle = std::clamp(l.spotAngle, 0.0f, 3.14159265f);
        b.coneOuter = std::cos(angle);
        const float width = std::cos(angle * kSpotSoftEdge) - b.coneOuter;
        b.coneScale = width > 0 ? 1 / width : 0;
    }
    mTriangles = 0;
}

// One DrawMesh call: what it draws, where, and how its triangles are lit and painted.
struct Rasterizer::MeshDraw {
    MeshDraw(const Mesh& m, const Mat4& w, const Surface& s, FrameBuffer& frame, float band)
        : mesh(m),
          world(w),
          surface(s),
          count(m.positions.size()),
          target{frame.Pixels(), frame.Depth(), frame.Width(), frame.Height()},
          width(static_cast<float>(target.width)),
          height(static_cast<float>(target.height)),
          guard(band),
          lighting(s.lighting),
          normalMatrix(NormalMatrix(w)),
          diffuse(Rgb(s.diffuse)),
          specular(Rgb(s.specular)),
          unlit{Clamp01(diffuse.x), Clamp01(diffuse.y), Clamp01(diffuse.z)} {
        // Without normals there is nothing to light vertex by vertex: light each face instead.
        if (lighting == Lighting::PerVertex && m.normals.size() < count) lighting = Lighting::Flat;
        const Image* texture = s.texture;
        textured = texture && texture->width > 0 && texture->height > 0 &&
                   texture->pixels.size() >=
                       static_cast<size_t>(texture->width) * static_cast<size_t>(texture->height);
        useUvs = textured && m.uvs.size() >= count;
        if (textured) {
            paint.texels = texture->pixels.data();
            paint.texWidth = texture->width;
            paint.texHeight = texture->height;
            paint.blend = s.blend;
        }
    }

    const Mesh& mesh;
    const Mat4& world;
    const Surface& surface;
    size_t count;
    Target target;
    float width, height, guard;
    Lighting lighting;  // the surface's, unless the mesh lacks what it needs
    Mat4 normalMatrix;
    Vec3 diffuse, specular, unlit;
    bool textured = false;
    bool useUvs = false;
    Paint paint;  // all but the colour, which is per triangle
};

void Rasterizer::DrawMesh(const Mesh& mesh, const Mat4& world, const Surface& surface) {
    if (!mTarget || mTarget->Width() <= 0 || mTarget->Height() <= 0) return;
    const size_t count = mesh.positions.size();
    if (count == 0 || count > std::numeric_limits<uint32_t>::max()) return;
    const float guard = GuardBand(mTarget->Width(), mTarget->Height());
    if (!ProjectVertices(mesh, world, guard)) return;  // the whole mesh is off to one side
    const MeshDraw draw(mesh, world, surface, *mTarget, guard);
    SetHighlightCuts(draw.specular, surface.shininess);
    const uint32_t* indices = mesh.indices.data();
    const size_t triangles = mesh.indices.size() / 3;
    mOutlined.clear();
    for (size_t t = 0; t < triangles; ++t) DrawTriangle(draw, indices + 3 * t);
    // after all the faces, so none of them covers an edge of another; a finer mesh's edges
    // would only hatch it over, at the cost of a line per edge
    if (triangles <= kMaxOutlinedTriangles)
        for (const uint32_t* index : mOutlined) DrawOutline(index, surface.outline);
}

// Vertices to clip space and outcodes, unclipped ones to the screen; false if all are off one side.
bool Rasterizer::ProjectVertices(const Mesh& mesh, const Mat4& world, float guard) {
    const size_t count = mesh.positions.size();
    const float width = static_cast<float>(mTarget->Width());
    const float height = static_cast<float>(mTarget->Height());
    const Mat4 mvp = Multiply(mViewProjection, world);
    mClip.resize(count);
    mScreen.resize(count);
    mCodes.resize(count);
    mShade.resize(count);
    mShaded.assign(count, 0);
    uint16_t allCodes = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        const Vec3 p = mesh.positions[i];
        const Vec4 c = Apply(mvp, p);
        const uint16_t code = OutCode(c, guard);
        mClip[i] = c;
        mCodes[i] = code;
        allCodes &= code;
        if (!(code & (kClipCodes | kBad))) {
            const float q = 1.0f / c.w;
            mScreen[i] = {(c.x * q * 0.5f + 0.5f) * width, (0.5f - c.y * q * 0.5f) * height,
                          c.z * q * 0.5f + 0.5f, q};
        }
    }
    return !(allCodes & (kRejectCodes | kBad));
}

// Per light, the half-vector cosine below which the highlight stays under 1/1024.
void Rasterizer::SetHighlightCuts(Vec3 specular, float shininess) {
    const bool hasSpecular = specular.x > 0 || specular.y > 0 || specular.z > 0;
    for (LitBy& b : mLitBy) {
        b.specularCut = 2;
        const Vec3 peak = Mul(b.radiance, specular);
        const float top = std::max({peak.x, peak.y, peak.z}) * 1024;
        if (hasSpecular && top > 1)
            b.specularCut = shininess > 0 ? std::pow(1 / top, 1 / shininess) : 0;
    }
}

// Culls, lights, clips and fills the triangle of the three indices at `index`.
void Rasterizer::DrawTriangle(const MeshDraw& draw, const uint32_t* index) {
    const uint32_t id[3] = {index[0], index[1], index[2]};
    if (id[0] >= draw.count || id[1] >= draw.count || id[2] >= draw.count) return;
    const uint16_t c0 = mCodes[id[0]], c1 = mCodes[id[1]], c2 = mCodes[id[2]];
    const uint16_t any = c0 | c1 | c2;
    if ((any & kBad) || (c0 & c1 & c2 & kRejectCodes)) return;

    const Surface& surface = draw.surface;
    const bool clipped = (any & kClipCodes) != 0;
    ScreenPolygon poly;
    // Triangles that need no clipping are culled before they are shaded.
    if (!clipped) {
        PlaceTriangle(mScreen.data(), id, &poly);
        if (Culled(poly.area, surface.cull)) return;
    }

    Vec3 colors[3];
    ShadeTriangle(draw, id, colors);
    Vec2 uvs[3] = {};
    if (draw.useUvs) ScaledUvs(draw.mesh.uvs.data(), id, surface.uvScale, uvs);

    if (clipped) {
        const Vec4 clip[3] = {mClip[id[0]], mClip[id[1]], mClip[id[2]]};
        if (!ClipTriangle(clip, colors, uvs, any, draw.guard, draw.width, draw.height, &poly) ||
            Culled(poly.area, surface.cull))
            return;
    } else {
        SetAttributes(colors, uvs, &poly);
    }
    ++mTriangles;

    if (surface.wireframe) {
        DrawWireframe(id, colors, surface);
        return;
    }
    Paint paint = draw.paint;
    paint.color = PackColor({colors[0].x, colors[0].y, colors[0].z, 1});
    FillPolygon(draw.target, poly, FillMode(draw.textured, surface.blend, draw.lighting, colors),
                surface.depthTest, surface.depthWrite, paint);
    if (surface.outline) mOutlined.push_back(index);
}

// A triangle's vertex colours as its lighting asks, clamped; per-vertex ones are cached.
void Rasterizer::ShadeTriangle(const MeshDraw& draw, const uint32_t id[3], Vec3 colors[3]) {
    if (draw.lighting == Lighting::Unlit) {
        colors[0] = colors[1] = colors[2] = draw.unlit;
    } else if (draw.lighting == Lighting::Flat) {
        const Vec3 p0 = TransformPoint(draw.world, draw.mesh.positions[id[0]]);
        const Vec3 p1 = TransformPoint(draw.world, draw.mesh.positions[id[1]]);
        const Vec3 p2 = TransformPoint(draw.world, draw.mesh.positions[id[2]]);
        colors[0] = LightAt(draw, (p0 + p1 + p2) * (1.0f / 3), Normalize(Cross(p1 - p0, p2 - p0)));
        colors[1] = colors[2] = colors[0];
    } else {
        for (int k = 0; k < 3; ++k) {
            const uint32_t i = id[k];
            if (!mShaded[i]) {
                const Vec3 p = TransformPoint(draw.world, draw.mesh.positions[i]);
                const Vec3 n = Unit(TransformDirection(draw.normalMatrix, draw.mesh.normals[i]));
                mShade[i] = LightAt(draw, p, n);
                mShaded[i] = 1;
            }
            colors[k] = mShade[i];
        }
    }
}

// Colour at world position p with unit normal n, clamped.
Vec3 Rasterizer::LightAt(const MeshDraw& draw, Vec3 p, Vec3 n) const {
    const Vec3 diffuse = draw.diffuse, specular = draw.specular;
    const float shininess = draw.surface.shininess;
    Vec3 c = Rgb(draw.surface.emissive) + Mul(mAmbient, diffuse);
    const Vec3 toEye = Unit(mEye - p);
    for (const LitBy& b : mLitBy) {
        Vec3 toLight = b.toward;
        float strength = 1;
        if (b.kind != Light::Directional) {
            const Vec3 d = b.position - p;
            const float distance2 = Dot(d, d);
            if (!(distance2 < b.range2)) continue;
            const float inverse = distance2 > 0 ? 1 / std::sqrt(distance2) : 0;
            strength = 1 - distance2 * inverse * b.inverseRange;
            toLight = distance2 > 0 ? d * inverse : n;
            if (b.kind == Light::Spot) {
                const float cosine = Dot(b.toward, toLight);
                if (!(cosine > b.coneOuter)) continue;
                strength *= std::min(1.0f, (cosine - b.coneOuter) * b.coneScale);
            }
        }
        const float lambert = Dot(n, toLight);
        if (!(lambert > 0)) continue;
        const Vec3 radiance = b.radiance * strength;
        c = c + Mul(radiance, diffuse) * lambert;
        if (b.specularCut <= 1) {
            const float h = Dot(n, Unit(toLight + toEye));
            if (h > b.specularCut) c = c + Mul(radiance, specular) * std::pow(h, shininess);
        }
    }
    return Vec3{Clamp01(c.x), Clamp01(c.y), Clamp01(c.z)};
}

// A triangle's edges as lines, each shaded from its first vertex's colour to its second's.
void Rasterizer::DrawWireframe(const uint32_t id[3], const Vec3 colors[3], const Surface& surface) {
    uint32_t packed[3];
    for (int k = 0; k < 3; ++k) packed[k] = PackColor({colors[k].x, colors[k].y, colors[k].z, 1});
    for (int k = 0; k < 3; ++k) {
        const int j = (k + 1) % 3;
        DrawClippedLine(mClip[id[k]], mClip[id[j]], packed[k], packed[j], surface.depthTest,
                        surface.depthWrite);
    }
}

// A filled triangle's edges, a little nearer than its face so the face does not hide them.
void Rasterizer::DrawOutline(const uint32_t* id, uint32_t color) {
    constexpr float kNearer = 0.02f;  // a fiftieth of the distance, about a pixel on grazing faces
    for (int k = 0; k < 3; ++k)
        DrawClippedLine(mClip[id[k]], mClip[id[(k + 1) % 3]], color, color, true, false, kNearer);
}

void Rasterizer::DrawLine(Vec3 from, Vec3 to, uint32_t color) {
    DrawClippedLine(Transform(mViewProjection, {from.x, from.y, from.z, 1}),
                    Transform(mViewProjection, {to.x, to.y, to.z, 1}), color, color, true, true);
}

void Rasterizer::DrawClippedLine(Vec4 a, Vec4 b, uint32_t colorA, uint32_t colorB, bool depthTest,
                                 bool depthWrite, float nearer) {
    if (!mTarget || mTarget->Width() <= 0 || mTarget->Height() <= 0) return;
    const int width = mTarget->Width(), height = mTarget->Height();
    const double pa[4] = {a.x, a.y, a.z, a.w}, pb[4] = {b.x, b.y, b.z, b.w};
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(pa[i]) || !std::isfinite(pb[i])) return;
    }
    // Clip the segment's parameter range against the same planes as triangles.
    const double guard = GuardBand(width, height);
    double t0 = 0, t1 = 1;
    for (int plane = 0; plane < 7; ++plane) {
        const double da = PlaneDistance(pa, plane, guard), db = PlaneDistance(pb, plane, guard);
        if (da < 0 && db < 0) return;
        if (da < 0) t0 = std::max(t0, da / (da - db));
        if (db < 0) t1 = std::min(t1, da / (da - db));
    }
    if (t0 > t1) return;
    double screen[2][3];  // x, y, depth
    for (int end = 0; end < 2; ++end) {
        const double t = end == 0 ? t0 : t1;
        double p[4];
        for (int i = 0; i < 4; ++i) p[i] = pa[i] + (pb[i] - pa[i]) * t;
        if (!(p[3] > 0)) return;  // rounded to the eye by clipping huge against tiny values
        const double q = 1.0 / p[3];
        screen[end][0] = (p[0] * q * 0.5 + 0.5) * width;
        screen[end][1] = (0.5 - p[1] * q * 0.5) * height;
        screen[end][2] = p[2] * q * 0.5 + 0.5;
        if (!(std::fabs(screen[end][0]) < 1e7 && std::fabs(screen[end][1]) < 1e7 &&
              std::isfinite(screen[end][2])))
            return;
    }

    // Then against the screen rectangle, in screen space.
    double dx = screen[1][0] - screen[0][0], dy = screen[1][1] - screen[0][1];
    double s0 = 0, s1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double d[4] = {screen[0][0], width - screen[0][0], screen[0][1], height - screen[0][1]};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (d[i] < 0) return;
        } else if (p[i] < 0) {
            s0 = std::max(s0, d[i] / p[i]);
        } else {
            s1 = std::min(s1, d[i] / p[i]);
        }
    }
    if (!(s0 <= s1)) return;

    // Colours are spread over the segment as it was before clipping.
    const double tA = t0 + (t1 - t0) * s0, tB = t0 + (t1 - t0) * s1;
    const double x0 = screen[0][0] + dx * s0, y0 = screen[0][1] + dy * s0;
    const double dz = screen[1][2] - screen[0][2];
    const double z0 = screen[0][2] + dz * s0;
    dx *= s1 - s0;
    dy *= s1 - s0;
    const double zSpan = dz * (s1 - s0);
    const int steps =
        std::max(1, static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy)))));
    uint32_t* pixels = mTarget->Pixels();
    float* depths = mTarget->Depth();
    for (int i = 0; i <= steps; ++i) {
        const double s = static_cast<double>(i) / steps;
        const double x = std::floor(x0 + dx * s), y = std::floor(y0 + dy * s);
        if (!(x >= 0 && x < width && y >= 0 && y < height)) continue;
        const size_t at =
            static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        const float z = static_cast<float>(z0 + zSpan * s);
        // depth resolution falls with 1 - z, so the same bias is the same share of the distance
        if (depthTest && !(z - nearer * (1 - z) < depths[at])) continue;
        if (depthWrite) depths[at] = z;
        uint32_t color = colorA;
        if (colorA != colorB) {
            const double f = tA + (tB - tA) * s;
            color = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const double ca = colorA >> shift & 0xFF, cb = colorB >> shift & 0xFF;
                color |= static_cast<uint32_t>(ca + (cb - ca) * f + 0.5) << shift;
            }
        }
        pixels[at] = color;
    }
}

}  // namespace kalix
