#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "mesh.h"
#include "rasterizer.h"

namespace kalix {

// A mesh as a frame drew it, kept so a pixel of that frame can be traced back to it. The mesh
// is shared, not copied: a model whose shape changes builds a new one.
struct DrawnMesh {
    std::shared_ptr<const Mesh> mesh;
    Sphere bounds;  // of the mesh, in model space
    Mat4 world;
    Cull cull = Cull::Back;
};

// The line through a pixel's centre, from the near plane (t = 0) to the far plane (t = 1).
struct Ray {
    Vec3 from;
    Vec3 along;
};

// The ray under pixel (x, y) of a width x height frame drawn with `viewProjection`; false when
// the pixel is outside the frame or the projection cannot be undone.
bool PixelRay(const Mat4& viewProjection, int width, int height, int x, int y, Ray* ray);

// Where along the ray (0 to 1) it first meets a face of the mesh that was drawn, or -1.
// `scratch` holds the mesh's world positions between calls.
float FirstHit(const Ray& ray, const DrawnMesh& drawn, std::vector<Vec3>* scratch);

// The index of the mesh the ray meets first, or -1; meshes `skip` answers true for are passed
// over.
int Frontmost(const Ray& ray, const std::vector<DrawnMesh>& drawn,
              const std::function<bool(size_t)>& skip, std::vector<Vec3>* scratch);

}  // namespace kalix
