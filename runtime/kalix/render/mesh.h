#pragma once

#include <cstdint>
#include <vector>

#include "kx_math.h"

namespace kalix {

// An indexed triangle mesh in model space; counter-clockwise triangles face outwards.
struct Mesh {
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;
    std::vector<Vec2> uvs;
    std::vector<uint32_t> indices;  // three per triangle

    size_t TriangleCount() const { return indices.size() / 3; }
};

// A sphere around a mesh: the centre of its box and the distance to its farthest vertex.
struct Sphere {
    Vec3 centre;
    float radius = 0;
};
Sphere BoundingSphere(const Mesh& mesh);

// Unit-sized primitives centred on the origin: a cube of side 1, a sphere of radius 0.5, a
// plane of side 1 in XZ facing +Y (a grid of segments x segments squares), a cylinder of radius 0.5
// and height 1 along Y. `segments` is clamped to a sane range (3 to 256).
Mesh MakeCube();
Mesh MakeSphere(int segments);
Mesh MakePlane(int segments = 1);
Mesh MakeCylinder(int segments);

}  // namespace kalix
