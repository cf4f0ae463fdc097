#pragma once

#include "kx_class.h"
#include "render/kx_math.h"

namespace kalix {

// A colour value: r, g, b, a.
class KxColor final : public VnObject<IKxColor> {
public:
    static const VnTypeInfo* Type();
    KxColor() = default;
    KxColor(float r, float g, float b, float a = 1) : rgba{r, g, b, a} {}
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    const float* GetValue() override { return rgba; }
    float* EditValue() override { return rgba; }
    void SetHSV(float hue, float saturation, float value, float alpha) override;
    void Set(float r, float g, float b, float a) {
        rgba[0] = r, rgba[1] = g, rgba[2] = b, rgba[3] = a;
    }
    Vec4 Value() const { return {rgba[0], rgba[1], rgba[2], rgba[3]}; }

    float rgba[4] = {1, 1, 1, 1};
};

// A vector value: x, y, z.
class KxVector final : public VnObject<IKxVector> {
public:
    static const VnTypeInfo* Type();
    KxVector() = default;
    KxVector(float x, float y, float z) : xyz{x, y, z} {}
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    const float* GetValue() override { return xyz; }
    float* EditValue() override { return xyz; }
    Vec3 Value() const { return {xyz[0], xyz[1], xyz[2]}; }
    void Set(Vec3 v) { xyz[0] = v.x, xyz[1] = v.y, xyz[2] = v.z; }

    float xyz[3] = {0, 0, 0};
};

// A rotation value: the unit quaternion x, y, z, w.
class KxQuaternion final : public VnObject<IKxQuaternion> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    const float* GetValue() override { return xyzw; }
    float* EditValue() override { return xyzw; }
    void GetYawPitchRoll(float* yaw, float* pitch, float* roll) override;
    void SetYawPitchRoll(float yaw, float pitch, float roll) override;
    Quat Value() const { return Normalize(Quat{xyzw[0], xyzw[1], xyzw[2], xyzw[3]}); }

    float xyzw[4] = {0, 0, 0, 1};
};

void RegisterValueClasses();

}  // namespace kalix
