#include "pick.h"

#include <algorithm>

namespace kalix {

namespace {

Vec3 Unproject(const Mat4& inverse, float x, float y, float z, bool* ok) {
    const Vec4 p = Transform(inverse, {x, y, z, 1});
    *ok = *ok && p.w != 0 && std::isfinite(p.w);
    const float q = p.w != 0 ? 1 / p.w : 0;
    return {p.x * q, p.y * q, p.z * q};
}

// Whether the segment passes within the sphere of the drawn mesh, in the world.
bool NearSphere(const Ray& ray, const DrawnMesh& drawn) {
    const Vec3 centre = TransformPoint(drawn.world, drawn.bounds.centre);
    const float radius = drawn.bounds.radius * LargestScale(drawn.world) * 1.001f + 1e-6f;
    const float length2 = Dot(ray.along, ray.along);
    const float t =
        length2 > 0 ? std::clamp(Dot(centre - ray.from, ray.along) / length2, 0.0f, 1.0f) : 0;
    const Vec3 miss = ray.from + ray.along * t - centre;
    return Dot(miss, miss) <= radius * radius;
}

// Where along the ray it crosses triangle a, b, c, or -1; the winding decides which side counts.
float TriangleHit(const Ray& ray, Vec3 a, Vec3 b, Vec3 c, Cull cull) {
    const Vec3 e1 = b - a, e2 = c - a;
    const Vec3 p = Cross(ray.along, e2);
    const float det = Dot(e1, p);  // > 0 when the face turns towards the ray's start
    if (det == 0 || !std::isfinite(det) || (cull == Cull::Back && det < 0) ||
        (cull == Cull::Front && det > 0))
        return -1;
    const float inverse = 1 / det;
    const Vec3 s = ray.from - a;
    const float u = Dot(s, p) * inverse;
    if (u < 0 || u > 1) return -1;
    const Vec3 q = Cross(s, e1);
    const float v = Dot(ray.along, q) * inverse;
    if (v < 0 || u + v > 1) return -1;
    const float t = Dot(e2, q) * inverse;
    return t >= 0 && t <= 1 ? t : -1;
}

}  // namespace

bool PixelRay(const Mat4& viewProjection, int width, int height, int x, int y, Ray* ray) {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    Mat4 inverse;
    if (!Invert(viewProjection, &inverse)) return false;
    const float ndcX = (static_cast<float>(x) + 0.5f) / static_cast<float>(width) * 2 - 1;
    const float ndcY = 1 - (static_cast<float>(y) + 0.5f) / static_cast<float>(height) * 2;
    bool ok = true;
    const Vec3 nearPoint = Unproject(inverse, ndcX, ndcY, -1, &ok);
    const Vec3 farPoint = Unproject(inverse, ndcX, ndcY, 1, &ok);
    *ray = {nearPoint, farPoint - nearPoint};
    return ok && std::isfinite(Dot(ray->along, ray->along));
}

float FirstHit(const Ray& ray, const DrawnMesh& drawn, std::vector<Vec3>* scratch) {
    if (!drawn.mesh || !NearSphere(ray, drawn)) return -1;
    const Mesh& mesh = *drawn.mesh;
    scratch->resize(mesh.positions.size());
    for (size_t i = 0; i < mesh.positions.size(); ++i)
        (*scratch)[i] = TransformPoint(drawn.world, mesh.positions[i]);
    const size_t count = scratch->size();
    float nearest = -1;
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3) {
        const uint32_t* id = &mesh.indices[k];
        if (id[0] >= count || id[1] >= count || id[2] >= count) continue;
        const float t =
            TriangleHit(ray, (*scratch)[id[0]], (*scratch)[id[1]], (*scratch)[id[2]], drawn.cull);
        if (t >= 0 && (nearest < 0 || t < nearest)) nearest = t;
    }
    return nearest;
}

int Frontmost(const Ray& ray, const std::vector<DrawnMesh>& drawn,
              const std::function<bool(size_t)>& skip, std::vector<Vec3>* scratch) {
    int nearest = -1;
    float nearestAt = 2;
    for (size_t i = 0; i < drawn.size(); ++i) {
        if (skip && skip(i)) continue;
        const float at = FirstHit(ray, drawn[i], scratch);
        if (at >= 0 && at < nearestAt) {
            nearestAt = at;
            nearest = static_cast<int>(i);
        }
    }
    return nearest;
}

}  // namespace kalix
