#include "kx_math.h"

#include <algorithm>

namespace kalix {

Vec3 Normalize(Vec3 a) {
    const float length = Length(a);
    if (!(length > 0) || !std::isfinite(length)) return {};
    return a * (1.0f / length);
}

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = sum;
        }
    }
    return r;
}

Vec4 Transform(const Mat4& m, Vec4 v) {
    const float* a = m.m;
    return {a[0] * v.x + a[4] * v.y + a[8] * v.z + a[12] * v.w,
            a[1] * v.x + a[5] * v.y + a[9] * v.z + a[13] * v.w,
            a[2] * v.x + a[6] * v.y + a[10] * v.z + a[14] * v.w,
            a[3] * v.x + a[7] * v.y + a[11] * v.z + a[15] * v.w};
}

Vec3 TransformPoint(const Mat4& m, Vec3 p) {
    const float* a = m.m;
    return {a[0] * p.x + a[4] * p.y + a[8] * p.z + a[12],
            a[1] * p.x + a[5] * p.y + a[9] * p.z + a[13],
            a[2] * p.x + a[6] * p.y + a[10] * p.z + a[14]};
}

Vec3 TransformDirection(const Mat4& m, Vec3 d) {
    const float* a = m.m;
    return {a[0] * d.x + a[4] * d.y + a[8] * d.z, a[1] * d.x + a[5] * d.y + a[9] * d.z,
            a[2] * d.x + a[6] * d.y + a[10] * d.z};
}

Mat4 NormalMatrix(const Mat4& world) {
    // Cofactors of the upper 3x3 divided by its determinant give the inverse transpose.
    auto e = [&](int row, int col) { return static_cast<double>(world.m[col * 4 + row]); };
    double c[3][3];
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const int r0 = (row + 1) % 3, r1 = (row + 2) % 3;
            const int c0 = (col + 1) % 3, c1 = (col + 2) % 3;
            c[row][col] = e(r0, c0) * e(r1, c1) - e(r0, c1) * e(r1, c0);
        }
    }
    const double det = e(0, 0) * c[0][0] + e(0, 1) * c[0][1] + e(0, 2) * c[0][2];
    Mat4 r;
    if (!std::isfinite(det) || std::fabs(det) < 1e-30) return r;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            r.m[col * 4 + row] = static_cast<float>(c[row][col] / det);
    }
    return r;
}

bool Invert(const Mat4& m, Mat4* inverse) {
    // Gauss-Jordan with partial pivoting on [m | I], in double for cameras with tiny near planes.
    double a[4][8];
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            a[row][col] = m.m[col * 4 + row];
            a[row][col + 4] = row == col ? 1 : 0;
        }
    }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 4; ++row)
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
        if (!(std::fabs(a[pivot][col]) > 1e-30)) return false;
        std::swap(a[col], a[pivot]);
        const double scale = 1 / a[col][col];
        for (double& v : a[col]) v *= scale;
        for (int row = 0; row < 4; ++row) {
            const double f = a[row][col];
            if (row == col || f == 0) continue;
            for (int k = 0; k < 8; ++k) a[row][k] -= f * a[col][k];
        }
    }
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col)
            inverse->m[col * 4 + row] = static_cast<float>(a[row][col + 4]);
    }
    return true;
}

float LargestScale(const Mat4& m) {
    const float* a = m.m;
    return std::max(
        {Length({a[0], a[1], a[2]}), Length({a[4], a[5], a[6]}), Length({a[8], a[9], a[10]})});
}

Mat4 LookAt(Vec3 eye, Vec3 target, Vec3 up) {
    Vec3 f = Normalize(target - eye);
    if (Length(f) == 0) f = {0, 0, -1};
    Vec3 s = Normalize(Cross(f, up));
    if (Length(s) == 0)
        s = Normalize(Cross(f, std::fabs(f.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0}));
    const Vec3 u = Cross(s, f);
    Mat4 r;
    float* m = r.m;
    m[0] = s.x, m[4] = s.y, m[8] = s.z;
    m[1] = u.x, m[5] = u.y, m[9] = u.z;
    m[2] = -f.x, m[6] = -f.y, m[10] = -f.z;
    m[12] = -Dot(s, eye);
    m[13] = -Dot(u, eye);
    m[14] = Dot(f, eye);
    return r;
}

Mat4 Perspective(float fovY, float aspect, float nearPlane, float farPlane) {
    const float f = 1.0f / std::tan(fovY * 0.5f);
    Mat4 r;
    float* m = r.m;
    m[0] = aspect != 0 ? f / aspect : f;
    m[5] = f;
    m[10] = (farPlane + nearPlane) / (nearPlane - farPlane);
    m[11] = -1;
    m[14] = 2 * farPlane * nearPlane / (nearPlane - farPlane);
    m[15] = 0;
    return r;
}

Mat4 Compose(Vec3 translation, Quat rotation, Vec3 scaling) {
    Mat4 r = RotationMatrix(rotation);
    const float s[3] = {scaling.x, scaling.y, scaling.z};
    for (int col = 0; col < 3; ++col) {
        for (int row = 0; row < 3; ++row) r.m[col * 4 + row] *= s[col];
    }
    r.m[12] = translation.x;
    r.m[13] = translation.y;
    r.m[14] = translation.z;
    return r;
}

Quat Normalize(Quat q) {
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(length > 0) || !std::isfinite(length)) return {};
    const float k = 1.0f / length;
    return {q.x * k, q.y * k, q.z * k, q.w * k};
}

Mat4 RotationMatrix(Quat q) {
    q = Normalize(q);
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    Mat4 r;
    float* m = r.m;
    m[0] = 1 - 2 * (yy + zz), m[4] = 2 * (xy - wz), m[8] = 2 * (xz + wy);
    m[1] = 2 * (xy + wz), m[5] = 1 - 2 * (xx + zz), m[9] = 2 * (yz - wx);
    m[2] = 2 * (xz - wy), m[6] = 2 * (yz + wx), m[10] = 1 - 2 * (xx + yy);
    return r;
}

namespace {

Quat Mul(Quat a, Quat b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

}  // namespace

Quat QuatFromYawPitchRoll(float yaw, float pitch, float roll) {
    const Quat qYaw{0, std::sin(yaw * 0.5f), 0, std::cos(yaw * 0.5f)};
    const Quat qPitch{std::sin(pitch * 0.5f), 0, 0, std::cos(pitch * 0.5f)};
    const Quat qRoll{0, 0, std::sin(roll * 0.5f), std::cos(roll * 0.5f)};
    return Mul(Mul(qYaw, qPitch), qRoll);
}

void QuatToYawPitchRoll(Quat q, float* yaw, float* pitch, float* roll) {
    // R = Ry(yaw) Rx(pitch) Rz(roll): R12 = -sin(pitch), R02/R22 give yaw, R10/R11 give roll.
    double x = q.x, y = q.y, z = q.z, w = q.w;
    const double length = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(length > 0) || !std::isfinite(length)) {
        x = y = z = 0;
        w = 1;
    } else {
        x /= length, y /= length, z /= length, w /= length;
    }
    const double r12 = 2 * (y * z - w * x);
    const double r02 = 2 * (x * z + w * y), r22 = 1 - 2 * (x * x + y * y);
    const double r10 = 2 * (x * y + w * z), r11 = 1 - 2 * (x * x + z * z);
    const double r00 = 1 - 2 * (y * y + z * z), r20 = 2 * (x * z - w * y);
    const double p = std::asin(std::clamp(-r12, -1.0, 1.0));
    double yw, rl;
    if (std::hypot(r10, r11) < 1e-6) {
        // Gimbal lock: yaw and roll turn about the same axis, so all of it goes to yaw.
        rl = 0;
        yw = std::atan2(-r20, r00);
    } else {
        yw = std::atan2(r02, r22);
        rl = std::atan2(r10, r11);
    }
    if (yaw) *yaw = static_cast<float>(yw);
    if (pitch) *pitch = static_cast<float>(p);
    if (roll) *roll = static_cast<float>(rl);
}

void HsvToRgb(float hue, float saturation, float value, float* r, float* g, float* b) {
    float h = std::isfinite(hue) ? std::fmod(hue, 360.0f) : 0.0f;
    if (h < 0) h += 360;
    if (h >= 360) h = 0;
    const float s = saturation > 0 ? std::min(saturation, 1.0f) : 0.0f;
    const float v = value > 0 ? std::min(value, 1.0f) : 0.0f;
    const float sector = h / 60;
    const int i = std::min(static_cast<int>(sector), 5);
    const float f = sector - static_cast<float>(i);
    const float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    float rgb[3];
    switch (i) {
        case 0:
            rgb[0] = v, rgb[1] = t, rgb[2] = p;
            break;
        case 1:
            rgb[0] = q, rgb[1] = v, rgb[2] = p;
            break;
        case 2:
            rgb[0] = p, rgb[1] = v, rgb[2] = t;
            break;
        case 3:
            rgb[0] = p, rgb[1] = q, rgb[2] = v;
            break;
        case 4:
            rgb[0] = t, rgb[1] = p, rgb[2] = v;
            break;
        default:
            rgb[0] = v, rgb[1] = p, rgb[2] = q;
            break;
    }
    if (r) *r = rgb[0];
    if (g) *g = rgb[1];
    if (b) *b = rgb[2];
}

}  // namespace kalix
