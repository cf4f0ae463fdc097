#include "watch/watch_target.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "core/python_value.h"
#include "core/value_text.h"
#include "vorn/kalix.h"
#include "vorn/os.h"
#include "vorn/pyos.h"

namespace {

constexpr int kLongestText = 200;  // a value's text past this is cut, as a cell shows little more

void SetNumbers(TReading* out, const float* values, int count,
                TReading::Kind kind = TReading::Kind::Number) {
    out->found = true;
    out->kind = count > 1 && kind == TReading::Kind::Number ? TReading::Kind::Numbers : kind;
    out->channels = count;
    for (int i = 0; i < count; ++i) out->values[i] = values[i];
    out->text = watch::NumbersText(*out);
}

// A number, or a tuple or list of two to four numbers; false for anything else.
bool PythonNumbers(PyObject* value, TReading* out) {
    if (PyFloat_Check(value) || PyLong_Check(value)) {
        const float number = static_cast<float>(PyFloat_AsDouble(value));
        if (PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
        SetNumbers(out, &number, 1);
        return true;
    }
    if (!PyTuple_Check(value) && !PyList_Check(value)) return false;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(value);
    if (n < 2 || n > 4) return false;
    float numbers[4] = {};
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PySequence_Fast_GET_ITEM(value, i);
        if (!PyFloat_Check(item) && !PyLong_Check(item)) return false;
        numbers[i] = static_cast<float>(PyFloat_AsDouble(item));
        if (PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
    }
    SetNumbers(out, numbers, static_cast<int>(n));
    return true;
}

QString PythonText(PyObject* value) {
    PyRef text = PyRef::Steal(PyObject_Str(value));
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!utf8) return watch::TakeErrorText();
    return QString::fromUtf8(utf8).left(kLongestText);
}

}  // namespace

TWatchTarget TWatchTarget::Member(IRoot* owner, const mw::MemberValue& value) {
    TWatchTarget target;
    if (!owner || !value.desc || !value.value) return target;
    target.mKind = Kind::Member;
    target.mOwner = VnWeak<IRoot>(owner);
    target.mValue = value;
    return target;
}

TWatchTarget TWatchTarget::Named(PyObject* owner, const char* name) {
    IRoot* runtime = PyOS->Unwrap(owner);
    PyErr_Clear();
    if (const mw::MemberValue member = mw::MemberNamed(runtime, name); member.desc)
        return Member(runtime, member);
    if (PyObject_HasAttrString(owner, name) != 1) {
        PyErr_Clear();
        return {};
    }
    return Attribute(owner, name);
}

TWatchTarget TWatchTarget::Attribute(PyObject* owner, const char* name) {
    TWatchTarget target;
    if (!owner || !name) return target;
    target.mKind = Kind::Attribute;
    target.mPython = PyRef::Borrow(owner);
    target.mName = PyRef::Steal(PyUnicode_FromString(name));
    if (!target.mName) {
        PyErr_Clear();
        return {};
    }
    return target;
}

TWatchTarget TWatchTarget::Item(PyObject* owner, PyObject* key) {
    TWatchTarget target;
    if (!owner || !key) return target;
    target.mKind = Kind::Item;
    target.mPython = PyRef::Borrow(owner);
    target.mName = PyRef::Borrow(key);
    return target;
}

TWatchTarget TWatchTarget::Expression(PyObject* code) {
    TWatchTarget target;
    if (!code) return target;
    target.mKind = Kind::Expression;
    target.mPython = PyRef::Borrow(code);
    return target;
}

bool TWatchTarget::Read(TReading* out) const {
    *out = TReading{};
    switch (mKind) {
        case Kind::None:
            return false;
        case Kind::Member:
            return ReadMember(out);
        case Kind::Attribute: {
            // the owner stays while its attribute's getter runs any script
            const PyRef owner = mPython;
            PyRef value = PyRef::Steal(PyObject_GetAttr(owner.get(), mName.get()));
            if (!value) return PyErr_Clear(), false;
            return ReadPythonValue(value.get(), out);
        }
        case Kind::Item: {
            const PyRef owner = mPython, key = mName;
            PyRef value = PyRef::Steal(PyObject_GetItem(owner.get(), key.get()));
            if (!value) return PyErr_Clear(), false;
            return ReadPythonValue(value.get(), out);
        }
        case Kind::Expression: {
            const PyRef code = mPython;
            PyRef value = PyRef::Steal(PyEval_EvalCode(code.get(), watch::Globals(), nullptr));
            if (!value) return PyErr_Clear(), false;
            return ReadPythonValue(value.get(), out);
        }
    }
    return false;
}

bool TWatchTarget::ReadMember(TReading* out) const {
    // the object is held while its storage is read: a __str__ run below may let it go
    const VnRef<IRoot> owner = mOwner.lock();
    if (!owner) return false;
    switch (mValue.desc->type) {
        case kVnLong:
        case kVnFloat:
        case kVnDouble:
        case kVnBool: {
            const float number = mValue.desc->type == kVnLong
                                     ? static_cast<float>(*static_cast<int32_t*>(mValue.value))
                                 : mValue.desc->type == kVnFloat
                                     ? *static_cast<float*>(mValue.value)
                                 : mValue.desc->type == kVnDouble
                                     ? static_cast<float>(*static_cast<double*>(mValue.value))
                                     : (*static_cast<unsigned char*>(mValue.value) ? 1.0f : 0.0f);
            SetNumbers(out, &number, 1);
            return true;
        }
        case kVnPython:
        case kVnPythonRef:
            if (PyObject* python = mw::MemberPython(mValue)) return ReadPythonValue(python, out);
            break;
        default:
            if (watch::ReadNumbers(mw::MemberObject(mValue), out)) return true;
    }
    char buffer[kLongestText + 1];
    const char* text = mw::ValueToText(mValue, buffer, sizeof buffer);
    out->found = true;
    out->text = QString::fromUtf8(text ? text : "");
    return true;
}

bool TWatchTarget::ReadPythonValue(PyObject* value, TReading* out) const {
    const PyRef keep = PyRef::Borrow(value);
    if (PythonNumbers(value, out)) return true;
    if (IRoot* object = PyOS->Unwrap(value); object && watch::ReadNumbers(object, out)) return true;
    PyErr_Clear();
    out->found = true;
    out->text = PythonText(value);
    return true;
}

namespace watch {

PyObject* Globals() {
    static PyObject* globals = nullptr;  // lives as long as the interpreter
    if (!globals) {
        globals = PyDict_New();
        PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins());
    }
    // the modules are looked for until each is there: app exists only once the tool has started
    for (const char* name : {"vorn", "app", "math"}) {
        if (PyDict_GetItemString(globals, name)) continue;
        if (PyRef module = PyRef::Steal(PyImport_ImportModule(name)))
            PyDict_SetItemString(globals, name, module.get());
        else
            PyErr_Clear();
    }
    return globals;
}

QString TakeErrorText() {
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    const PyRef held[] = {PyRef::Steal(type), PyRef::Steal(value), PyRef::Steal(trace)};
    if (!type) return {};
    QString text = QString::fromUtf8(reinterpret_cast<PyTypeObject*>(type)->tp_name);
    if (value) {
        PyRef words = PyRef::Steal(PyObject_Str(value));
        const char* utf8 = words ? PyUnicode_AsUTF8(words.get()) : nullptr;
        if (utf8 && *utf8) text += ": " + QString::fromUtf8(utf8);
        PyErr_Clear();
    }
    return text.left(kLongestText);
}

namespace {

PyRef Evaluate(const QString& text, QString* why) {
    PyObject* globals = Globals();
    PyRef value =
        PyRef::Steal(PyRun_String(text.toUtf8().constData(), Py_eval_input, globals, globals));
    if (!value) *why = TakeErrorText();
    return value;
}

// The last step ".name" of a path: a member of a runtime object, else a Python attribute.
TWatchTarget ResolveName(const QString& owner, const QString& name, QString* why) {
    PyRef object = Evaluate(owner, why);
    if (!object) return {};
    TWatchTarget target = TWatchTarget::Named(object.get(), name.toUtf8().constData());
    if (!target.IsSet()) *why = "no member or attribute " + name;
    return target;
}

// The last step "[key]" of a path: an item of a container.
TWatchTarget ResolveItem(const QString& owner, const QString& key, QString* why) {
    PyRef container = Evaluate(owner, why);
    PyRef item = container ? Evaluate(key, why) : PyRef();
    if (!item) return {};
    TWatchTarget target = TWatchTarget::Item(container.get(), item.get());
    TReading reading;
    if (!target.Read(&reading)) {
        *why = "no item " + key;
        return {};
    }
    return target;
}

}  // namespace

TWatchTarget Resolve(const QString& path, QString* why) {
    static const QRegularExpression lastName(R"(^(.+)\.([A-Za-z_][A-Za-z0-9_]*)$)");
    static const QRegularExpression lastItem(R"(^(.+)\[([^\[\]]+)\]$)");
    if (const QRegularExpressionMatch name = lastName.match(path); name.hasMatch())
        return ResolveName(name.captured(1), name.captured(2), why);
    if (const QRegularExpressionMatch item = lastItem.match(path); item.hasMatch())
        return ResolveItem(item.captured(1), item.captured(2), why);
    PyRef code =
        PyRef::Steal(Py_CompileString(path.toUtf8().constData(), "<watch>", Py_eval_input));
    if (!code) {
        *why = TakeErrorText();
        return {};
    }
    TWatchTarget target = TWatchTarget::Expression(code.get());
    TReading reading;
    if (!target.Read(&reading)) {
        *why = "the path does not resolve";
        return {};
    }
    return target;
}

bool ReadNumbers(IRoot* object, TReading* out) {
    if (!object) return false;
    if (VnRef<IKxVector> vector = VnQuery<IKxVector>(object, 1)) {
        SetNumbers(out, vector->GetValue(), 3, TReading::Kind::Vector);
        return true;
    }
    if (VnRef<IKxColor> colour = VnQuery<IKxColor>(object, 1)) {
        SetNumbers(out, colour->GetValue(), 4, TReading::Kind::Colour);
        return true;
    }
    if (VnRef<IKxQuaternion> rotation = VnQuery<IKxQuaternion>(object, 1)) {
        float angles[3] = {};
        rotation->GetYawPitchRoll(&angles[0], &angles[1], &angles[2]);
        for (float& angle : angles) angle = static_cast<float>(angle * 180.0 / M_PI);
        SetNumbers(out, angles, 3, TReading::Kind::Rotation);
        return true;
    }
    return false;
}

QString NumbersText(const TReading& reading) {
    if (reading.channels == 1) return QString::number(reading.values[0], 'g', 7);
    QStringList parts;
    for (int i = 0; i < reading.channels; ++i) parts << QString::number(reading.values[i], 'g', 7);
    return "(" + parts.join(", ") + ")";
}

QString ChannelName(TReading::Kind kind, int channel) {
    static const char* const vector[] = {"x", "y", "z", "w"};
    static const char* const colour[] = {"r", "g", "b", "a"};
    static const char* const rotation[] = {"yaw", "pitch", "roll", "w"};
    const int at = std::clamp(channel, 0, 3);
    switch (kind) {
        case TReading::Kind::Vector:
            return vector[at];
        case TReading::Kind::Colour:
            return colour[at];
        case TReading::Kind::Rotation:
            return rotation[at];
        case TReading::Kind::Numbers:
            return QString::number(channel);
        default:
            return {};
    }
}

}  // namespace watch
