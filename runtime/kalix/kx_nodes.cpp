#include "kx_nodes.h"

#include "../vorn/runtime.h"
#include "vorn/ranges.h"

namespace kalix {

namespace {

const VnCLSID kNodeClass = VnMakeCLSID("kalix", "KxNode", 1);

const VnChoice kLightKinds[] = {
    Choice("Directional", Light::Directional, "Parallel rays along its direction, like the sun"),
    Choice("Point", Light::Point, "Shines all around from its position, fading to its range"),
    Choice("Spot", Light::Spot, "A cone from its position along its direction"),
    {},
};
const VnChoice kShapes[] = {
    Choice("Cube", KxModel::Cube, "A cube of side 1"),
    Choice("Sphere", KxModel::Sphere, "A sphere of diameter 1"),
    Choice("Plane", KxModel::Plane, "A square of side 1 facing up"),
    Choice("Cylinder", KxModel::Cylinder, "A cylinder of diameter 1 and height 1"),
    {},
};
const VnChoice kModelFlags[] = {
    Choice("Wireframe", KxModel::Wireframe, "Draw the edges only"),
    Choice("Unlit", KxModel::Unlit, "Ignore the lights"),
    Choice("Two-sided", KxModel::TwoSided, "Draw faces turned away too"),
    {},
};

const VnMemberDescriptor kNodeMembers[] = {
    KX_MEMBER(KxNodePart, name, "name", kVnVornString, kKxEdit, "Name shown in the browser"),
    KX_MEMBER(KxNodePart, visible, "visible", kVnBool, kKxEdit, "Whether it is drawn or used"),
    KX_MEMBER(KxNodePart, userData, "userData", kVnPythonRef, kKxEdit,
              "Anything a script wants to keep here"),
    {},
};

const VnMemberDescriptor kTransformMembers[] = {
    KX_MEMBER(KxTransform, translation, "translation", kVnObject, kKxEdit, "Position"),
    KX_MEMBER(KxTransform, rotation, "rotation", kVnObject, kKxEdit, "Orientation"),
    KX_MEMBER(KxTransform, scaling, "scaling", kVnObject, kKxEdit, "Size along each axis"),
    {},
};

const VnMemberDescriptor kCameraMembers[] = {
    KX_MEMBER(KxCamera, position, "position", kVnObject, kKxEdit, "Where the camera is"),
    KX_MEMBER(KxCamera, target, "target", kVnObject, kKxEdit, "The point it looks at"),
    KX_MEMBER(KxCamera, fieldOfView, "fieldOfView", kVnFloat, kKxEdit,
              "Vertical view angle in degrees"),
    KX_MEMBER(KxCamera, nearPlane, "nearPlane", kVnFloat, kKxEdit, "Nothing nearer is drawn"),
    KX_MEMBER(KxCamera, farPlane, "farPlane", kVnFloat, kKxEdit, "Nothing farther is drawn"),
    {},
};

const VnMemberDescriptor kLightMembers[] = {
    KX_CHOICE(KxLight, kind, "kind", kVnLong, kLightKinds, kKxEdit | kVnEditExclusive,
              "Kind of light"),
    KX_MEMBER(KxLight, color, "color", kVnObject, kKxEdit, "Colour of the light"),
    KX_MEMBER(KxLight, intensity, "intensity", kVnFloat, kKxEdit, "Brightness, 1 is normal"),
    KX_MEMBER(KxLight, position, "position", kVnObject, kKxEdit, "Where point and spot lights are"),
    KX_MEMBER(KxLight, direction, "direction", kVnObject, kKxEdit,
              "Where directional and spot lights shine to"),
    KX_MEMBER(KxLight, range, "range", kVnFloat, kKxEdit, "Point and spot light reach"),
    KX_MEMBER(KxLight, spotAngle, "spotAngle", kVnFloat, kKxEdit,
              "Half the spot light's cone, in degrees"),
    {},
};

const VnMemberDescriptor kLineMembers[] = {
    KX_MEMBER(KxLine, from, "from", kVnObject, kKxEdit, "Start point"),
    KX_MEMBER(KxLine, to, "to", kVnObject, kKxEdit, "End point"),
    KX_MEMBER(KxLine, color, "color", kVnObject, kKxEdit, "Colour of the line"),
    {},
};

const VnMemberDescriptor kModelMembers[] = {
    KX_CHOICE(KxModel, shape, "shape", kVnLong, kShapes, kKxApply | kVnEditExclusive,
              "The model's mesh"),
    KX_MEMBER(KxModel, segments, "segments", kVnLong, kKxApply,
              "Detail of round shapes (3 to 256)"),
    KX_CHOICE(KxModel, flags, "flags", kVnLong, kModelFlags, kKxEdit, "Drawing options"),
    KX_MEMBER(KxModel, tag, "tag", kVnString, kKxEdit, "A short label of up to 31 characters"),
    KX_MEMBER(KxModel, transform, "transform", kVnObject, kKxEdit, "Placement in the scene"),
    KX_OBJECT(KxModel, material, "material", kVnObjectRef, IID_IKxMaterial, kKxEdit,
              "Surface colours and shading; none is plain grey"),
    {},
};
const VnMemberRange kModelRanges[] = {
    {"segments", 3, 256, 1},
    {},
};

const VnMemberDescriptor kSceneMembers[] = {
    KX_MEMBER(KxScene, name, "name", kVnVornString, kKxEdit, "Name of the scene"),
    KX_OBJECT(KxScene, camera, "camera", kVnObjectRef, IID_IKxCamera, kKxEdit,
              "The camera it is seen through"),
    KX_MEMBER(KxScene, models, "models", kVnObject, kKxEdit, "Models drawn, in order"),
    KX_MEMBER(KxScene, lights, "lights", kVnObject, kKxEdit, "Lights shining on the models"),
    KX_MEMBER(KxScene, lines, "lines", kVnObject, kKxEdit, "Lines drawn over the models"),
    KX_MEMBER(KxScene, ambient, "ambient", kVnObject, kKxEdit, "Light that reaches everywhere"),
    KX_MEMBER(KxScene, enabled, "enabled", kVnBool, kKxApply, "Whether the scene is drawn"),
    KX_MEMBER(KxScene, created, "created", kVnTime, kKxEdit, "Clock time it was made"),
    KX_MEMBER(KxScene, script, "script", kVnPythonRef, kKxEdit,
              "A Python object scripts keep with the scene"),
    {},
};

PyObject* ModelBounds(PyObject* self, PyObject*) {
    return Bracket<KxModel>(self, [](KxModel* m) -> PyObject* {
        const Sphere s = m->WorldBounds();
        return Py_BuildValue("((ddd)d)", double(s.centre.x), double(s.centre.y), double(s.centre.z),
                             double(s.radius));
    });
}

const VnMethodDef kModelMethods[] = {
    {"Bounds", ModelBounds, 4,
     "Bounds(): the centre and radius of the sphere around the model in the world, "
     "((x, y, z), radius)"},
    {nullptr, nullptr, 0, nullptr},
};

// A type whose base is the node part at `part` bytes into the object.
const VnTypeInfo* NodeType(const VnCLSID* clsid, const char* text,
                           const VnInterfaceEntry* interfaces, const VnMemberDescriptor* members,
                           intptr_t part, const VnMethodDef* methods = nullptr) {
    return new VnTypeInfo{clsid, text, interfaces, members, methods, KxNodePart::Type(), part};
}

void Embed(IRoot* outer, std::initializer_list<KxVector*> vectors) {
    for (KxVector* v : vectors) v->SetOuter(outer);
}

}  // namespace

KxNodePart::~KxNodePart() {
    VnOS->Free(name);
    if (userData && Py_IsInitialized()) Py_DECREF(userData);
}

const VnTypeInfo* KxNodePart::Type() {
    static const VnInterfaceEntry none[] = {{nullptr, 0}};
    static const VnTypeInfo type = {&kNodeClass,
                                    "Common to models, cameras, lights and lines",
                                    none,
                                    kNodeMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

KxTransform::KxTransform() {
    Embed(Root(), {&translation, &scaling});
    rotation.SetOuter(Root());
}

const VnTypeInfo* KxTransform::Type() {
    static const VnTypeInfo type = {&CLSID_KxTransform,
                                    "Position, orientation and size",
                                    Interfaces(),
                                    kTransformMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

Mat4 KxTransform::World() const {
    return Compose(translation.Value(), rotation.Value(), scaling.Value());
}

KxCamera::KxCamera() { Embed(Root(), {&position, &target}); }

const VnTypeInfo* KxCamera::Type() {
    static const VnTypeInfo* type = NodeType(&CLSID_KxCamera, "A perspective camera", Interfaces(),
                                             kCameraMembers, KX_OFFSET(KxCamera, node));
    return type;
}

KxLight::KxLight() {
    Embed(Root(), {&position, &direction});
    color.SetOuter(Root());
}

const VnTypeInfo* KxLight::Type() {
    static const VnTypeInfo* type =
        NodeType(&CLSID_KxLight, "A light", Interfaces(), kLightMembers, KX_OFFSET(KxLight, node));
    return type;
}

Light KxLight::ToLight() const {
    Light l;
    l.kind = static_cast<Light::Kind>(std::clamp(kind, 0, 2));
    l.color = {color.rgba[0], color.rgba[1], color.rgba[2]};
    l.intensity = intensity;
    l.position = position.Value();
    l.direction = Normalize(direction.Value());
    l.range = range;
    l.spotAngle = spotAngle * 3.14159265f / 180.0f;
    return l;
}

KxLine::KxLine() {
    Embed(Root(), {&from, &to});
    color.SetOuter(Root());
}

const VnTypeInfo* KxLine::Type() {
    static const VnTypeInfo* type = NodeType(&CLSID_KxLine, "A straight line", Interfaces(),
                                             kLineMembers, KX_OFFSET(KxLine, node));
    return type;
}

KxModel::KxModel() { transform.SetOuter(Root()); }

KxModel::~KxModel() {
    if (material) material->Release();
}

const VnTypeInfo* KxModel::Type() {
    static const VnTypeInfo* type =
        NodeType(&CLSID_KxModel, "A shape drawn with a material", Interfaces(), kModelMembers,
                 KX_OFFSET(KxModel, node), kModelMethods);
    return type;
}

bool KxModel::MemberChanged(void* member) {
    if (!IsOwnMember(Root(), member)) return false;
    if (member == &shape && (shape < Cube || shape > Cylinder)) {
        VnOS->SetError(-1, &CLSID_KxModel, "Shape %d is not one of the shapes; it draws as a cube",
                       shape);
        return false;
    }
    return true;
}

namespace {

Mesh MakeShape(int32_t shape, int32_t segments) {
    switch (shape) {
        case KxModel::Sphere:
            return MakeSphere(segments);
        case KxModel::Plane:
            return MakePlane(segments);
        case KxModel::Cylinder:
            return MakeCylinder(segments);
        default:
            return MakeCube();
    }
}

}  // namespace

const std::shared_ptr<const Mesh>& KxModel::GetMesh() {
    if (mMesh && shape == mBuiltShape && segments == mBuiltSegments) return mMesh;
    auto mesh = std::make_shared<const Mesh>(MakeShape(shape, segments));
    mBounds = BoundingSphere(*mesh);
    mMesh = std::move(mesh);
    mBuiltShape = shape;
    mBuiltSegments = segments;
    return mMesh;
}

Sphere KxModel::MeshBounds() {
    GetMesh();
    return mBounds;
}

Sphere KxModel::WorldBounds() {
    const kalix::Sphere local = MeshBounds();
    const Mat4 world = transform.World();
    return {TransformPoint(world, local.centre), local.radius * LargestScale(world)};
}

KxScene::KxScene() {
    models.SetOuter(Root());
    lights.SetOuter(Root());
    lines.SetOuter(Root());
    ambient.SetOuter(Root());
    models.SetElementType(CLSID_KxModel, &IID_IKxModel);
    lights.SetElementType(CLSID_KxLight, &IID_IKxLight);
    lines.SetElementType(CLSID_KxLine, &IID_IKxLine);
    created = VnOS->GetClock()->currentTime;
}

KxScene::~KxScene() {
    VnOS->Free(name);
    if (camera) camera->Release();
    if (script && Py_IsInitialized()) Py_DECREF(script);
}

const VnTypeInfo* KxScene::Type() {
    static const VnTypeInfo type = {&CLSID_KxScene,
                                    "Models, lights and lines seen by a camera",
                                    Interfaces(),
                                    kSceneMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

void RegisterNodeClasses() {
    auto& classes = vorn::TheRuntime().Classes();
    classes.Register({KxTransform::Type(), [] { return (new KxTransform())->Root(); }});
    classes.Register({KxCamera::Type(), [] { return (new KxCamera())->Root(); }});
    classes.Register({KxLight::Type(), [] { return (new KxLight())->Root(); }});
    classes.Register({KxLine::Type(), [] { return (new KxLine())->Root(); }});
    classes.Register({KxModel::Type(), [] { return (new KxModel())->Root(); }});
    VnSetMemberRanges(KxModel::Type(), kModelRanges);
    classes.Register({KxScene::Type(), [] { return (new KxScene())->Root(); }});
}

}  // namespace kalix
