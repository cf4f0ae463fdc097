#pragma once

#include <string>

#include "kx_values.h"
#include "render/image.h"
#include "render/rasterizer.h"
#include "vorn_list.h"

namespace kalix {

// How surfaces are shaded: lighting model, culling and depth use.
class KxShader final : public VnObject<IKxShader> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    ~KxShader() override;

    char* name = nullptr;
    int32_t lighting = static_cast<int32_t>(Lighting::PerVertex);
    int32_t cull = static_cast<int32_t>(Cull::Back);
    unsigned char depthTest = 1;
    unsigned char depthWrite = 1;
};

// An image read from a bitmap file named by a ROT reference ("res:/..." or "file:/...").
class KxTexture final : public VnObject<IKxTexture, INotify> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    ~KxTexture() override;
    bool MemberChanged(void* member) override;

    // The loaded image, reloading it when the file has changed; null when there is none.
    const Image* Pixels();

    char* name = nullptr;
    char* file = nullptr;
    int32_t width = 0;  // of the loaded image
    int32_t height = 0;

private:
    bool Load(std::string* why);
    Image mImage;
    std::string mTried;  // the file last tried, so a bad file is reported once
};

// One texture layer of a material.
class KxTextureStage final : public VnObject<IKxTextureStage> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    ~KxTextureStage() override;

    IRoot* texture = nullptr;
    int32_t blend = static_cast<int32_t>(TextureBlend::Modulate);
    float uvScale = 1;
    unsigned char enabled = 1;
};

// Colours of a surface, its shader and its texture stages.
class KxMaterial final : public VnObject<IKxMaterial> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxMaterial();
    ~KxMaterial() override;
    // What the rasteriser needs to draw with this material.
    Surface MakeSurface();

    char* name = nullptr;
    KxColor diffuse{0.8f, 0.8f, 0.8f, 1};
    KxColor specular{0.2f, 0.2f, 0.2f, 1};
    KxColor emissive{0, 0, 0, 1};
    float shininess = 16;
    IRoot* shader = nullptr;
    vorn::VornList stages;
};

void RegisterLookClasses();

// True when `member` is the storage of one of the object's members; else sets the error.
bool IsOwnMember(IRoot* self, void* member);

}  // namespace kalix
