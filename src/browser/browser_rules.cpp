#include "browser/browser_rules.h"

#include <algorithm>

#include "core/class_id.h"
#include "core/member_ref.h"
#include "core/python_value.h"
#include "vorn/pyos.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace browser {

namespace {

const VnCLSID kValueClasses[] = {
    VnMakeCLSID("kalix", "KxColor", 5),
    VnMakeCLSID("kalix", "KxVector", 4),
    VnMakeCLSID("kalix", "KxQuaternion", 4),
};

struct ClassImage {
    VnCLSID clsid;
    int image;
};

// Lists by the class of their items, first match wins.
const ClassImage kListImages[] = {
    {VnMakeCLSID("kalix", "KxLight", 3), 86},     {VnMakeCLSID("kalix", "KxLine", 4), 87},
    {VnMakeCLSID("kalix", "KxMaterial", 3), 89},  {VnMakeCLSID("kalix", "KxShader", 5), 92},
    {VnMakeCLSID("kalix", "KxTransform", 4), 96},
};

// Objects by their own class, first match wins.
const ClassImage kObjectImages[] = {
    {VnMakeCLSID("kalix", "KxLight", 3), 85},     {VnMakeCLSID("kalix", "KxMaterial", 3), 88},
    {VnMakeCLSID("kalix", "KxModel", 5), 90},     {VnMakeCLSID("kalix", "KxShader", 5), 91},
    {VnMakeCLSID("kalix", "KxTexture", 4), 93},   {VnMakeCLSID("kalix", "KxTextureStage", 4), 94},
    {VnMakeCLSID("kalix", "KxTransform", 4), 95}, {VnMakeCLSID("kalix", "KxCamera", 5), 78},
};

template <std::size_t N>
int ImageOf(const VnCLSID& clsid, const ClassImage (&table)[N], int otherwise) {
    for (const ClassImage& entry : table)
        if (VnCLSIDMatches(entry.clsid, clsid)) return entry.image;
    return otherwise;
}

bool IsValueObject(IRoot* object) {
    const VnTypeInfo* type = object ? object->GetTypeInfo() : nullptr;
    if (!type || !type->clsid) return false;
    return std::any_of(std::begin(kValueClasses), std::end(kValueClasses),
                       [&](const VnCLSID& c) { return VnCLSIDMatches(c, *type->clsid); });
}

}  // namespace

bool IsContainer(PyObject* value) {
    if (!value) return true;
    if (value == Py_None || PyCallable_Check(value) || PyUnicode_Check(value) ||
        PyBytes_Check(value) || PyByteArray_Check(value) || PyMemoryView_Check(value) ||
        PyType_Check(value) || PyLong_Check(value) || PyFloat_Check(value) ||
        PyComplex_Check(value) || PyCapsule_CheckExact(value))
        return false;
    return true;
}

bool IsContainer(const mw::MemberValue& value) {
    if (!value.desc) return false;
    switch (value.desc->type) {
        case kVnObject:
        case kVnObjectRef: {
            IRoot* object = mw::MemberObject(value);
            return !object || !IsValueObject(object);
        }
        case kVnPython:
        case kVnPythonRef: {
            PyObject* object = mw::MemberPython(value);
            return object && IsContainer(object);
        }
        default:
            return false;
    }
}

IRoot* Unwrapped(PyObject* object) { return object ? PyOS->Unwrap(object) : nullptr; }

QString MonikerText(IRoot* object) {
    const VnROTEntry* entry = object && VnROT ? VnROT->EntryOf(object) : nullptr;
    if (!entry) return {};
    QString text = QString::fromUtf8(entry->scheme) + "/" + QString::fromUtf8(entry->name);
    if (entry->ext && *entry->ext) text += "." + QString::fromUtf8(entry->ext);
    return text;
}

int ObjectImage(IRoot* object) {
    if (!object) return kImagePlainObject;
    if (VnRef<IList> list = VnQuery<IList>(object, 1)) {
        VnElementType element{};
        VnCLSID items = VORNCLSID_NONE;
        if (list->GetElementType(&element)) items = element.clsid;
        return ImageOf(items, kListImages, kImageList);
    }
    const VnTypeInfo* type = object->GetTypeInfo();
    if (!type || !type->clsid) return kImagePlainObject;
    return ImageOf(*type->clsid, kObjectImages, kImagePlainObject);
}

QString NameOf(IRoot* object) {
    mw::MemberRef name;
    if (!object || !name.Bind("name", object)) return {};
    return QString::fromUtf8(name.text());
}

QString PythonText(PyObject* object) {
    PyRef text = PyRef::Steal(object ? PyObject_Str(object) : nullptr);
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return "<failure>";
    }
    return QString::fromUtf8(utf8);
}

PyObject* ItemsOf(PyObject* object) {
    if (PyModule_Check(object)) return PyModule_GetDict(object);
    if (PyDict_Check(object)) return object;
    return nullptr;
}

bool IsSequence(PyObject* object) { return PyList_Check(object) || PyTuple_Check(object); }

}  // namespace browser
