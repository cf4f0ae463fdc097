#include "kx_values.h"

#include "../vorn/runtime.h"
#include "vorn/writers.h"

namespace kalix {

namespace {

const VnMemberDescriptor kColorMembers[] = {
    {"r", kVnFloat, 0, 4, nullptr, "Red, 0 to 1", kKxEdit, nullptr, {}},
    {"g", kVnFloat, 4, 4, nullptr, "Green, 0 to 1", kKxEdit, nullptr, {}},
    {"b", kVnFloat, 8, 4, nullptr, "Blue, 0 to 1", kKxEdit, nullptr, {}},
    {"a", kVnFloat, 12, 4, nullptr, "Alpha (opacity), 0 to 1", kKxEdit, nullptr, {}},
    {},
};

const VnMemberDescriptor kVectorMembers[] = {
    {"x", kVnFloat, 0, 4, nullptr, "X component", kKxEdit, nullptr, {}},
    {"y", kVnFloat, 4, 4, nullptr, "Y component", kKxEdit, nullptr, {}},
    {"z", kVnFloat, 8, 4, nullptr, "Z component", kKxEdit, nullptr, {}},
    {},
};

const VnMemberDescriptor kQuaternionMembers[] = {
    {"x", kVnFloat, 0, 4, nullptr, "X of the rotation quaternion", kKxEdit, nullptr, {}},
    {"y", kVnFloat, 4, 4, nullptr, "Y of the rotation quaternion", kKxEdit, nullptr, {}},
    {"z", kVnFloat, 8, 4, nullptr, "Z of the rotation quaternion", kKxEdit, nullptr, {}},
    {"w",
     kVnFloat,
     12,
     4,
     nullptr,
     "W (real part) of the rotation quaternion",
     kKxEdit,
     nullptr,
     {}},
    {},
};

// The member offsets above are relative to the value arrays; shift them to the object.
template <class T, size_t N>
const VnMemberDescriptor* Shifted(const VnMemberDescriptor (&table)[N], int32_t start) {
    static VnMemberDescriptor shifted[N];
    for (size_t i = 0; i < N; ++i) {
        shifted[i] = table[i];
        if (shifted[i].name) shifted[i].offset += start;
    }
    return shifted;
}

// A method that sets every number of a value is the script's write of each of them.
void RecordScriptWrites(IRoot* value) {
    for (const VnMemberDescriptor* m = value->GetTypeInfo()->members; m && m->name; ++m)
        VnRecordScriptWriter(value, m);
}

PyObject* ColorSetHSV(PyObject* self, PyObject* args) {
    return Bracket<KxColor>(self, [args](KxColor* c) -> PyObject* {
        float h = 0, s = 0, v = 0, a = -1;
        if (!PyArg_ParseTuple(args, "fff|f:SetHSV", &h, &s, &v, &a)) return nullptr;
        c->SetHSV(h, s, v, a);
        RecordScriptWrites(c->Root());
        Py_RETURN_NONE;
    });
}

PyObject* ColorSet(PyObject* self, PyObject* args) {
    return Bracket<KxColor>(self, [args](KxColor* c) -> PyObject* {
        float r = 0, g = 0, b = 0, a = c->rgba[3];
        if (!PyArg_ParseTuple(args, "fff|f:Set", &r, &g, &b, &a)) return nullptr;
        c->Set(r, g, b, a);
        RecordScriptWrites(c->Root());
        Py_RETURN_NONE;
    });
}

PyObject* VectorSet(PyObject* self, PyObject* args) {
    return Bracket<KxVector>(self, [args](KxVector* v) -> PyObject* {
        float x = 0, y = 0, z = 0;
        if (!PyArg_ParseTuple(args, "fff:Set", &x, &y, &z)) return nullptr;
        v->Set({x, y, z});
        RecordScriptWrites(v->Root());
        Py_RETURN_NONE;
    });
}

PyObject* QuatSetYawPitchRoll(PyObject* self, PyObject* args) {
    return Bracket<KxQuaternion>(self, [args](KxQuaternion* q) -> PyObject* {
        float yaw = 0, pitch = 0, roll = 0;
        if (!PyArg_ParseTuple(args, "fff:SetYawPitchRoll", &yaw, &pitch, &roll)) return nullptr;
        q->SetYawPitchRoll(yaw, pitch, roll);
        RecordScriptWrites(q->Root());
        Py_RETURN_NONE;
    });
}

PyObject* QuatGetYawPitchRoll(PyObject* self, PyObject*) {
    return Bracket<KxQuaternion>(self, [](KxQuaternion* q) -> PyObject* {
        float yaw = 0, pitch = 0, roll = 0;
        q->GetYawPitchRoll(&yaw, &pitch, &roll);
        return Py_BuildValue("(fff)", yaw, pitch, roll);
    });
}

const VnMethodDef kColorMethods[] = {
    {"SetHSV", ColorSetHSV, 1, "SetHSV(hue degrees, saturation, value[, alpha])"},
    {"Set", ColorSet, 1, "Set(r, g, b[, a])"},
    {nullptr, nullptr, 0, nullptr},
};
const VnMethodDef kVectorMethods[] = {
    {"Set", VectorSet, 1, "Set(x, y, z)"},
    {nullptr, nullptr, 0, nullptr},
};
const VnMethodDef kQuaternionMethods[] = {
    {"SetYawPitchRoll", QuatSetYawPitchRoll, 1,
     "SetYawPitchRoll(yaw, pitch, roll): radians; yaw about Y, pitch about X, roll about Z"},
    {"GetYawPitchRoll", QuatGetYawPitchRoll, 4, "GetYawPitchRoll(): (yaw, pitch, roll) in radians"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

void KxColor::SetHSV(float hue, float saturation, float value, float alpha) {
    HsvToRgb(hue, saturation, value, &rgba[0], &rgba[1], &rgba[2]);
    if (alpha >= 0) rgba[3] = alpha;
}

void KxQuaternion::GetYawPitchRoll(float* yaw, float* pitch, float* roll) {
    QuatToYawPitchRoll(Value(), yaw, pitch, roll);
}

void KxQuaternion::SetYawPitchRoll(float yaw, float pitch, float roll) {
    Quat q = QuatFromYawPitchRoll(yaw, pitch, roll);
    xyzw[0] = q.x, xyzw[1] = q.y, xyzw[2] = q.z, xyzw[3] = q.w;
}

const VnTypeInfo* KxColor::Type() {
    static const VnTypeInfo type = {&CLSID_KxColor,
                                    "A colour: red, green, blue and alpha",
                                    Interfaces(),
                                    Shifted<KxColor>(kColorMembers, KX_OFFSET(KxColor, rgba)),
                                    kColorMethods,
                                    nullptr,
                                    0};
    return &type;
}

const VnTypeInfo* KxVector::Type() {
    static const VnTypeInfo type = {&CLSID_KxVector,
                                    "A vector: x, y, z",
                                    Interfaces(),
                                    Shifted<KxVector>(kVectorMembers, KX_OFFSET(KxVector, xyz)),
                                    kVectorMethods,
                                    nullptr,
                                    0};
    return &type;
}

const VnTypeInfo* KxQuaternion::Type() {
    static const VnTypeInfo type = {
        &CLSID_KxQuaternion,
        "A rotation as a unit quaternion",
        Interfaces(),
        Shifted<KxQuaternion>(kQuaternionMembers, KX_OFFSET(KxQuaternion, xyzw)),
        kQuaternionMethods,
        nullptr,
        0};
    return &type;
}

void RegisterValueClasses() {
    auto& classes = vorn::TheRuntime().Classes();
    classes.Register({KxColor::Type(), [] { return (new KxColor())->Root(); }});
    classes.Register({KxVector::Type(), [] { return (new KxVector())->Root(); }});
    classes.Register({KxQuaternion::Type(), [] { return (new KxQuaternion())->Root(); }});
}

}  // namespace kalix
