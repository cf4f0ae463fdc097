#include "kx_look.h"

#include "../vorn/moniker.h"
#include "../vorn/runtime.h"
#include "vorn/members.h"
#include "vorn/ranges.h"

namespace kalix {

namespace {

const VnChoice kLighting[] = {
    Choice("Unlit", 0, "Diffuse colour only, no lights"),
    Choice("Flat", 1, "One lit colour per face"),
    Choice("Per vertex", 2, "Lit at every vertex and blended across faces"),
    {},
};
const VnChoice kCull[] = {
    Choice("None", 0, "Both sides of every face are drawn"),
    Choice("Back", 1, "Faces turned away from the camera are skipped"),
    Choice("Front", 2, "Faces turned to the camera are skipped"),
    {},
};
const VnChoice kBlend[] = {
    Choice("Modulate", 0, "Texel times the lit colour"),
    Choice("Add", 1, "Texel added to the lit colour"),
    Choice("Replace", 2, "The texel alone"),
    {},
};
const VnChoice kTextureFile[] = {
    {"Pick a texture", {}, "Bitmaps (*.bmp)|*.bmp|All Files (*.*)|*.*"},
    {},
};

const VnMemberDescriptor kShaderMembers[] = {
    KX_MEMBER(KxShader, name, "name", kVnVornString, kKxEdit, "Name of the shader"),
    KX_CHOICE(KxShader, lighting, "lighting", kVnLong, kLighting, kKxEdit | kVnEditExclusive,
              "How lights shade the surface"),
    KX_CHOICE(KxShader, cull, "cull", kVnLong, kCull, kKxEdit | kVnEditExclusive,
              "Which faces are skipped"),
    KX_MEMBER(KxShader, depthTest, "depthTest", kVnBool, kKxEdit, "Hidden behind nearer surfaces"),
    KX_MEMBER(KxShader, depthWrite, "depthWrite", kVnBool, kKxEdit,
              "Hides what is drawn later behind it"),
    {},
};

const VnMemberDescriptor kTextureMembers[] = {
    KX_MEMBER(KxTexture, name, "name", kVnVornString, kKxEdit, "Name of the texture"),
    KX_CHOICE(KxTexture, file, "file", kVnROTReference, kTextureFile, kKxApply,
              "The bitmap file, as a moniker (res:/ or file:/)"),
    KX_MEMBER(KxTexture, width, "width", kVnLong, 0, "Width of the loaded image in pixels"),
    KX_MEMBER(KxTexture, height, "height", kVnLong, 0, "Height of the loaded image in pixels"),
    {},
};

const VnMemberDescriptor kStageMembers[] = {
    KX_OBJECT(KxTextureStage, texture, "texture", kVnObjectRef, IID_IKxTexture, kKxEdit,
              "The texture of this layer"),
    KX_CHOICE(KxTextureStage, blend, "blend", kVnLong, kBlend, kKxEdit | kVnEditExclusive,
              "How the texel combines with the lit colour"),
    KX_MEMBER(KxTextureStage, uvScale, "uvScale", kVnFloat, kKxEdit,
              "Repeats of the texture across the surface"),
    KX_MEMBER(KxTextureStage, enabled, "enabled", kVnBool, kKxEdit, "Whether the layer is used"),
    {},
};

const VnMemberDescriptor kMaterialMembers[] = {
    KX_MEMBER(KxMaterial, name, "name", kVnVornString, kKxEdit, "Name of the material"),
    KX_MEMBER(KxMaterial, diffuse, "diffuse", kVnObject, kKxEdit, "Colour under light"),
    KX_MEMBER(KxMaterial, specular, "specular", kVnObject, kKxEdit, "Colour of highlights"),
    KX_MEMBER(KxMaterial, emissive, "emissive", kVnObject, kKxEdit, "Colour of its own glow"),
    KX_MEMBER(KxMaterial, shininess, "shininess", kVnFloat, kKxEdit,
              "Sharpness of highlights (1 to 256)"),
    KX_OBJECT(KxMaterial, shader, "shader", kVnObjectRef, IID_IKxShader, kKxEdit,
              "How it is shaded; none shades per vertex"),
    KX_MEMBER(KxMaterial, stages, "stages", kVnObject, kKxEdit, "Texture layers, first is used"),
    {},
};

// colour channels have no range: values past 0 to 1 over- or under-light on purpose
const VnMemberRange kMaterialRanges[] = {
    {"shininess", 1, 256, 1},
    {},
};

}  // namespace

bool IsOwnMember(IRoot* self, void* member) {
    bool found = false;
    VnForEachMember(self, [&](const VnMemberDescriptor*, void* storage, const VnTypeInfo*) {
        found = storage == member;
        return !found;
    });
    if (!found) VnOS->SetError(-1, self->GetTypeInfo()->clsid, "The address is not a member");
    return found;
}

KxShader::~KxShader() { VnOS->Free(name); }

const VnTypeInfo* KxShader::Type() {
    static const VnTypeInfo type = {&CLSID_KxShader,
                                    "Shading: lighting model, culling, depth",
                                    Interfaces(),
                                    kShaderMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

KxTexture::~KxTexture() {
    VnOS->Free(name);
    VnOS->Free(file);
}

const VnTypeInfo* KxTexture::Type() {
    static const VnTypeInfo type = {&CLSID_KxTexture,
                                    "An image read from a bitmap file",
                                    Interfaces(),
                                    kTextureMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

bool KxTexture::Load(std::string* why) {
    mTried = file ? file : "";
    mImage = Image{};
    width = height = 0;
    if (mTried.empty()) return true;
    vorn::Moniker moniker;
    std::string path;
    auto& paths = vorn::TheRuntime().Paths();
    if (!vorn::ParseMoniker(mTried, &moniker, why) ||
        !vorn::MonikerToPath(moniker, paths.Get(kVnPathResource), &path, why) ||
        !ReadBmp(path, &mImage, why))
        return false;
    width = mImage.width;
    height = mImage.height;
    return true;
}

bool KxTexture::MemberChanged(void* member) {
    if (!IsOwnMember(Root(), member)) return false;
    if (member != &file) return true;
    std::string why;
    if (Load(&why)) return true;
    VnOS->SetError(-1, &CLSID_KxTexture, "Cannot load the texture %s: %s", mTried.c_str(),
                   why.c_str());
    return false;
}

const Image* KxTexture::Pixels() {
    if (mTried != (file ? file : "")) {
        std::string why;
        if (!Load(&why))
            VnOS->SetError(-1, &CLSID_KxTexture, "Cannot load the texture %s: %s", mTried.c_str(),
                           why.c_str());
    }
    return mImage.pixels.empty() ? nullptr : &mImage;
}

KxTextureStage::~KxTextureStage() {
    if (texture) texture->Release();
}

const VnTypeInfo* KxTextureStage::Type() {
    static const VnTypeInfo type = {&CLSID_KxTextureStage,
                                    "One texture layer of a material",
                                    Interfaces(),
                                    kStageMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

KxMaterial::KxMaterial() {
    for (KxColor* c : {&diffuse, &specular, &emissive}) c->SetOuter(Root());
    stages.SetOuter(Root());
    stages.SetElementType(CLSID_KxTextureStage, &IID_IKxTextureStage);
}

KxMaterial::~KxMaterial() {
    VnOS->Free(name);
    if (shader) shader->Release();
}

const VnTypeInfo* KxMaterial::Type() {
    static const VnTypeInfo type = {&CLSID_KxMaterial,
                                    "Colours and shading of a surface",
                                    Interfaces(),
                                    kMaterialMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

Surface KxMaterial::MakeSurface() {
    Surface s;
    s.diffuse = diffuse.Value();
    s.specular = specular.Value();
    s.emissive = emissive.Value();
    s.shininess = shininess;
    if (auto* sh = dynamic_cast<KxShader*>(shader)) {
        s.lighting = static_cast<Lighting>(std::clamp(sh->lighting, 0, 2));
        s.cull = static_cast<Cull>(std::clamp(sh->cull, 0, 2));
        s.depthTest = sh->depthTest != 0;
        s.depthWrite = sh->depthWrite != 0;
    }
    for (int i = 0, n = stages.GetCount(); i < n; ++i) {
        auto* stage = dynamic_cast<KxTextureStage*>(stages.GetItem(i));
        auto* texture = stage ? dynamic_cast<KxTexture*>(stage->texture) : nullptr;
        if (!stage || !stage->enabled || !texture) continue;
        s.texture = texture->Pixels();
        s.blend = static_cast<TextureBlend>(std::clamp(stage->blend, 0, 2));
        s.uvScale = stage->uvScale;
        break;
    }
    return s;
}

void RegisterLookClasses() {
    auto& classes = vorn::TheRuntime().Classes();
    classes.Register({KxShader::Type(), [] { return (new KxShader())->Root(); }});
    classes.Register({KxTexture::Type(), [] { return (new KxTexture())->Root(); }});
    classes.Register({KxTextureStage::Type(), [] { return (new KxTextureStage())->Root(); }});
    classes.Register({KxMaterial::Type(), [] { return (new KxMaterial())->Root(); }});
    VnSetMemberRanges(KxMaterial::Type(), kMaterialRanges);
}

}  // namespace kalix
