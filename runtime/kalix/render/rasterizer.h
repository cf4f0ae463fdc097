#pragma once

#include <cstdint>
#include <vector>

#include "image.h"
#include "kx_math.h"
#include "mesh.h"

namespace kalix {

// Colour and depth targets. Resizing to 0 x 0 is allowed; drawing then does nothing.
class FrameBuffer {
public:
    void Resize(int width, int height);
    void Clear(uint32_t color);
    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    int Stride() const { return mWidth; }  // in pixels
    const uint32_t* Pixels() const { return mColor.data(); }
    uint32_t* Pixels() { return mColor.data(); }
    float* Depth() { return mDepth.data(); }
    uint32_t At(int x, int y) const { return mColor[static_cast<size_t>(y) * mWidth + x]; }

private:
    int mWidth = 0;
    int mHeight = 0;
    std::vector<uint32_t> mColor;  // 0xAARRGGBB
    std::vector<float> mDepth;     // 0 near .. 1 far
};

struct Light {
    enum Kind { Directional = 0, Point = 1, Spot = 2 };
    Kind kind = Directional;
    Vec3 color{1, 1, 1};
    float intensity = 1;
    Vec3 position{};
    Vec3 direction{0, -1, 0};  // where the light shines to
    float range = 10;          // point and spot: no light beyond
    float spotAngle = 0.5f;    // spot: half angle of the cone, radians
};

enum class Lighting { Unlit = 0, Flat = 1, PerVertex = 2 };
enum class Cull { None = 0, Back = 1, Front = 2 };
enum class TextureBlend { Modulate = 0, Add = 1, Replace = 2 };

// How a mesh looks: material colours (linear 0..1, alpha in w), shading and an optional texture.
struct Surface {
    Vec4 diffuse{0.8f, 0.8f, 0.8f, 1};
    Vec4 specular{0, 0, 0, 1};
    Vec4 emissive{0, 0, 0, 1};
    float shininess = 16;
    Lighting lighting = Lighting::PerVertex;
    Cull cull = Cull::Back;
    bool depthTest = true;
    bool depthWrite = true;
    bool wireframe = false;
    const Image* texture = nullptr;  // sampled with the mesh's uvs times uvScale, wrapping
    TextureBlend blend = TextureBlend::Modulate;
    float uvScale = 1;
    // When not 0, the colour its drawn faces' edges get on top of them (meshes of up to 1024
    // triangles: finer ones would be hatched over)
    uint32_t outline = 0;
};

// A z-buffered software rasteriser with per-vertex lighting. Triangles are clipped against the
// near plane and the screen, so no camera, size or scene makes it touch memory outside the
// frame buffer.
class Rasterizer {
public:
    void Begin(FrameBuffer* target, const Mat4& view, const Mat4& projection, Vec3 eye,
               Vec3 ambient, const std::vector<Light>& lights);
    void DrawMesh(const Mesh& mesh, const Mat4& world, const Surface& surface);
    void DrawLine(Vec3 from, Vec3 to, uint32_t color);
    int TrianglesDrawn() const { return mTriangles; }

private:
    struct MeshDraw;

    bool ProjectVertices(const Mesh& mesh, const Mat4& world, float guard);
    void SetHighlightCuts(Vec3 specular, float shininess);
    void DrawTriangle(const MeshDraw& draw, const uint32_t* index);
    void ShadeTriangle(const MeshDraw& draw, const uint32_t id[3], Vec3 colors[3]);
    Vec3 LightAt(const MeshDraw& draw, Vec3 p, Vec3 n) const;
    void DrawWireframe(const uint32_t id[3], const Vec3 colors[3], const Surface& surface);
    void DrawOutline(const uint32_t* id, uint32_t color);
    // `nearer`: the share of its distance by which the line is tested as nearer than it is.
    void DrawClippedLine(Vec4 a, Vec4 b, uint32_t colorA, uint32_t colorB, bool depthTest,
                         bool depthWrite, float nearer = 0);

    FrameBuffer* mTarget = nullptr;
    Mat4 mViewProjection;
    Vec3 mEye{};
    Vec3 mAmbient{};
    // A light as the shading loop wants it.
    struct LitBy {
        Light::Kind kind;
        Vec3 radiance;  // colour times intensity
        Vec3 position;
        Vec3 toward;  // unit vector against the light's direction
        float range2, inverseRange;
        float coneOuter;    // spot: cosine of the half angle
        float coneScale;    // spot: 1 / (cosine of the soft edge's start - coneOuter)
        float specularCut;  // highlights below this half-vector cosine are skipped
    };
    std::vector<LitBy> mLitBy;
    int mTriangles = 0;
    // Per-vertex scratch reused by every DrawMesh: clip position, screen position (x, y,
    // depth, 1/w), shaded colour, clip outcodes and whether the colour is computed yet.
    std::vector<Vec4> mClip;
    std::vector<Vec4> mScreen;
    std::vector<Vec3> mShade;
    std::vector<uint16_t> mCodes;
    std::vector<uint8_t> mShaded;
    std::vector<const uint32_t*> mOutlined;  // the drawn triangles of an outlined mesh
};

// The look of a highlighted model: its surface mixed toward orange and glowing a little, and
// the edges of a mesh that is not too fine drawn in orange over its faces, so the mark shows on
// any colour, lit or unlit.
void MarkHighlighted(Surface* surface);

// 0xAARRGGBB from linear 0..1 channels, clamped.
uint32_t PackColor(Vec4 c);

}  // namespace kalix
