#include "mesh.h"

#include <algorithm>

namespace kalix {

namespace {

constexpr float kPi = 3.14159265358979323846f;

int ClampSegments(int segments) { return std::clamp(segments, 3, 256); }

uint32_t Add(Mesh& mesh, Vec3 position, Vec3 normal, Vec2 uv) {
    mesh.positions.push_back(position);
    mesh.normals.push_back(normal);
    mesh.uvs.push_back(uv);
    return static_cast<uint32_t>(mesh.positions.size() - 1);
}

void Triangle(Mesh& mesh, uint32_t a, uint32_t b, uint32_t c) {
    mesh.indices.insert(mesh.indices.end(), {a, b, c});
}

// A point on the unit-diameter circle in XZ; angle 0 is +Z and it turns towards +X.
Vec3 Rim(float angle, float y) { return {0.5f * std::sin(angle), y, 0.5f * std::cos(angle)}; }

}  // namespace

Sphere BoundingSphere(const Mesh& mesh) {
    if (mesh.positions.empty()) return {};
    Vec3 low = mesh.positions[0], high = low;
    for (const Vec3& p : mesh.positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    Sphere sphere{(low + high) * 0.5f, 0};
    for (const Vec3& p : mesh.positions)
        sphere.radius = std::max(sphere.radius, Length(p - sphere.centre));
    return sphere;
}

Mesh MakeCube() {
    // Each face: its normal, then right and up with Cross(right, up) == normal.
    struct Face {
        Vec3 normal, right, up;
    };
    static const Face faces[6] = {
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
    };
    static const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    Mesh mesh;
    mesh.positions.reserve(24);
    mesh.normals.reserve(24);
    mesh.uvs.reserve(24);
    mesh.indices.reserve(36);
    for (const Face& f : faces) {
        uint32_t first = 0;
        for (int i = 0; i < 4; ++i) {
            const float a = corners[i][0], b = corners[i][1];
            const Vec3 p = f.normal * 0.5f + f.right * (0.5f * a) + f.up * (0.5f * b);
            const uint32_t v = Add(mesh, p, f.normal, {0.5f + 0.5f * a, 0.5f - 0.5f * b});
            if (i == 0) first = v;
        }
        Triangle(mesh, first, first + 1, first + 2);
        Triangle(mesh, first, first + 2, first + 3);
    }
    return mesh;
}

Mesh MakeSphere(int segments) {
    const int slices = ClampSegments(segments);
    const int stacks = std::max(2, slices / 2);
    Mesh mesh;
    const size_t vertexCount = static_cast<size_t>(stacks + 1) * (slices + 1);
    mesh.positions.reserve(vertexCount);
    mesh.normals.reserve(vertexCount);
    mesh.uvs.reserve(vertexCount);
    for (int i = 0; i <= stacks; ++i) {
        const float v = static_cast<float>(i) / stacks;
        const float theta = v * kPi;
        for (int j = 0; j <= slices; ++j) {
            const float u = static_cast<float>(j) / slices;
            const float phi = u * 2 * kPi;
            const Vec3 n{std::sin(theta) * std::sin(phi), std::cos(theta),
                         std::sin(theta) * std::cos(phi)};
            Add(mesh, n * 0.5f, n, {u, v});
        }
    }
    // Rows run from the top pole down; the pole rows lose their degenerate half.
    const uint32_t row = static_cast<uint32_t>(slices + 1);
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            const uint32_t a = static_cast<uint32_t>(i) * row + static_cast<uint32_t>(j);
            const uint32_t b = a + row, c = b + 1, d = a + 1;
            if (i != 0) Triangle(mesh, a, b, d);
            if (i != stacks - 1) Triangle(mesh, d, b, c);
        }
    }
    return mesh;
}

Mesh MakePlane(int segments) {
    // a grid, so point and spot lights lit per vertex show on it
    const int cells = std::max(1, std::min(segments, 256));
    Mesh mesh;
    const Vec3 up{0, 1, 0};
    for (int row = 0; row <= cells; ++row) {
        for (int col = 0; col <= cells; ++col) {
            const float u = static_cast<float>(col) / cells, v = static_cast<float>(row) / cells;
            Add(mesh, {u - 0.5f, 0, v - 0.5f}, up, {u, v});
        }
    }
    for (int row = 0; row < cells; ++row) {
        for (int col = 0; col < cells; ++col) {
            const auto a = static_cast<uint32_t>(row * (cells + 1) + col);
            const auto b = a + static_cast<uint32_t>(cells + 1);
            Triangle(mesh, a, b, b + 1);
            Triangle(mesh, a, b + 1, a + 1);
        }
    }
    return mesh;
}

Mesh MakeCylinder(int segments) {
    const int slices = ClampSegments(segments);
    Mesh mesh;
    // The side: a top and a bottom vertex per slice, the seam duplicated for its uvs.
    for (int j = 0; j <= slices; ++j) {
        const float u = static_cast<float>(j) / slices;
        const float angle = u * 2 * kPi;
        const Vec3 n = Rim(angle, 0) * 2.0f;
        Add(mesh, Rim(angle, 0.5f), n, {u, 0});
        Add(mesh, Rim(angle, -0.5f), n, {u, 1});
    }
    for (int j = 0; j < slices; ++j) {
        const uint32_t top = static_cast<uint32_t>(2 * j), bottom = top + 1;
        Triangle(mesh, top, bottom, top + 2);
        Triangle(mesh, top + 2, bottom, bottom + 2);
    }
    // The caps: a centre and a ring each, uvs projected along Y and read from outside.
    for (int side = 0; side < 2; ++side) {
        const float y = side == 0 ? 0.5f : -0.5f;
        const Vec3 n{0, side == 0 ? 1.0f : -1.0f, 0};
        const uint32_t centre = Add(mesh, {0, y, 0}, n, {0.5f, 0.5f});
        for (int j = 0; j < slices; ++j) {
            const Vec3 p = Rim(static_cast<float>(j) / slices * 2 * kPi, y);
            Add(mesh, p, n, {0.5f + p.x, side == 0 ? 0.5f + p.z : 0.5f - p.z});
        }
        for (int j = 0; j < slices; ++j) {
            const uint32_t a = centre + 1 + static_cast<uint32_t>(j);
            const uint32_t b = centre + 1 + static_cast<uint32_t>((j + 1) % slices);
            if (side == 0)
                Triangle(mesh, centre, a, b);
            else
                Triangle(mesh, centre, b, a);
        }
    }
    return mesh;
}

}  // namespace kalix
