#pragma once

#include <cmath>

namespace kalix {

struct Vec2 {
    float x = 0, y = 0;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
};

// A rotation as a unit quaternion (x, y, z, w); w is the real part.
struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
};

// Column-major 4x4 matrix: m[column * 4 + row]; vectors are columns, v' = M v.
struct Mat4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
// The unit vector along a; the zero vector stays zero.
Vec3 Normalize(Vec3 a);

Mat4 Multiply(const Mat4& a, const Mat4& b);
Vec4 Transform(const Mat4& m, Vec4 v);
Vec3 TransformPoint(const Mat4& m, Vec3 p);
Vec3 TransformDirection(const Mat4& m, Vec3 d);
// The inverse transpose of the upper 3x3, for normals; identity when singular.
Mat4 NormalMatrix(const Mat4& world);
// The inverse of m into *inverse; false, leaving *inverse alone, when m is singular.
bool Invert(const Mat4& m, Mat4* inverse);
// The longest of the upper 3x3's columns: how much the matrix stretches along its widest axis.
float LargestScale(const Mat4& m);

// Right-handed view looking from eye at target; -Z points into the screen.
Mat4 LookAt(Vec3 eye, Vec3 target, Vec3 up);
// Perspective projection to clip space with depth in [-1, 1]; fovY in radians.
Mat4 Perspective(float fovY, float aspect, float nearPlane, float farPlane);
// World matrix from translation, rotation and scaling (scaled, then rotated, then moved).
Mat4 Compose(Vec3 translation, Quat rotation, Vec3 scaling);

Quat Normalize(Quat q);
Mat4 RotationMatrix(Quat q);
// Yaw about Y, pitch about X, roll about Z, in radians; applied roll, then pitch, then yaw.
Quat QuatFromYawPitchRoll(float yaw, float pitch, float roll);
// The inverse of QuatFromYawPitchRoll; pitch in [-pi/2, pi/2], exact away from gimbal lock.
void QuatToYawPitchRoll(Quat q, float* yaw, float* pitch, float* roll);

// HSV to RGB: hue in degrees (any value, taken modulo 360), saturation and value 0..1.
void HsvToRgb(float hue, float saturation, float value, float* r, float* g, float* b);

}  // namespace kalix
