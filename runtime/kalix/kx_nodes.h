#pragma once

#include <memory>

#include "kx_look.h"
#include "render/mesh.h"

namespace kalix {

// What models, cameras, lights and lines have in common: the base type "kalix.KxNode".
struct KxNodePart {
    KxNodePart() = default;
    KxNodePart(const KxNodePart&) = delete;
    KxNodePart& operator=(const KxNodePart&) = delete;
    ~KxNodePart();
    static const VnTypeInfo* Type();

    char* name = nullptr;
    unsigned char visible = 1;
    PyObject* userData = nullptr;
};

// Placement: scaled, then rotated, then moved.
class KxTransform final : public VnObject<IKxTransform> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxTransform();
    Mat4 World() const;

    KxVector translation;
    KxQuaternion rotation;
    KxVector scaling{1, 1, 1};
};

class KxCamera final : public VnObject<IKxCamera> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxCamera();

    KxNodePart node;
    KxVector position{0, 2, 6};
    KxVector target;
    float fieldOfView = 60;  // degrees, vertical
    float nearPlane = 0.1f;
    float farPlane = 200;
};

class KxLight final : public VnObject<IKxLight> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxLight();
    Light ToLight() const;

    KxNodePart node;
    int32_t kind = Light::Directional;
    KxColor color{1, 1, 1, 1};
    float intensity = 1;
    KxVector position{0, 5, 0};
    KxVector direction{0, -1, 0};
    float range = 20;
    float spotAngle = 30;  // degrees, half the cone
};

class KxLine final : public VnObject<IKxLine> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxLine();

    KxNodePart node;
    KxVector from;
    KxVector to{1, 0, 0};
    KxColor color{1, 1, 0, 1};
};

class KxModel final : public VnObject<IKxModel, INotify> {
public:
    enum Shape { Cube = 0, Sphere = 1, Plane = 2, Cylinder = 3 };
    enum Flags { Wireframe = 1, Unlit = 2, TwoSided = 4 };
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxModel();
    ~KxModel() override;
    bool MemberChanged(void* member) override;
    // The mesh of the current shape, rebuilt as a new mesh when shape or segments have changed,
    // so a frame that drew the old one can keep it.
    const std::shared_ptr<const Mesh>& GetMesh();
    // The sphere around GetMesh() in model space.
    kalix::Sphere MeshBounds();
    // The sphere around the model in the world: its mesh's placed by its transform.
    kalix::Sphere WorldBounds();

    KxNodePart node;
    int32_t shape = Cube;
    int32_t segments = 24;
    int32_t flags = 0;
    char tag[32] = {};
    KxTransform transform;
    IRoot* material = nullptr;

private:
    std::shared_ptr<const Mesh> mMesh;
    kalix::Sphere mBounds;
    int32_t mBuiltShape = -1;
    int32_t mBuiltSegments = -1;
};

class KxScene final : public VnObject<IKxScene, INotify> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxScene();
    ~KxScene() override;
    bool MemberChanged(void* member) override { return IsOwnMember(Root(), member); }

    char* name = nullptr;
    IRoot* camera = nullptr;
    vorn::VornList models;
    vorn::VornList lights;
    vorn::VornList lines;
    KxColor ambient{0.15f, 0.15f, 0.18f, 1};
    unsigned char enabled = 1;
    int64_t created = 0;
    PyObject* script = nullptr;
};

void RegisterNodeClasses();

}  // namespace kalix
