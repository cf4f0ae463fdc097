#include "json_value.h"

#include <cmath>
#include <utility>

#include "vorn/py_ref.h"

namespace vorn {

namespace {

using Json = nlohmann::ordered_json;

bool Refuse(const std::string& where, const std::string& what, std::string* why) {
    *why = where + " holds " + what + ", which a branch file cannot hold";
    return false;
}

bool Refuse(const std::string& where, PyObject* value, std::string* why) {
    return Refuse(where, std::string("a value of type '") + Py_TYPE(value)->tp_name + "'", why);
}

bool IntToJson(PyObject* value, const std::string& where, Json* out, std::string* why) {
    int overflow = 0;
    long long n = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow == 0 && !(n == -1 && PyErr_Occurred())) {
        *out = static_cast<int64_t>(n);
        return true;
    }
    PyErr_Clear();
    unsigned long long u = overflow > 0 ? PyLong_AsUnsignedLongLong(value) : 0;
    if (overflow > 0 && !(u == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
        *out = static_cast<uint64_t>(u);
        return true;
    }
    PyErr_Clear();
    return Refuse(where, "an int beyond 64 bits", why);
}

bool FloatToJson(PyObject* value, const std::string& where, Json* out, std::string* why) {
    double d = PyFloat_AS_DOUBLE(value);
    if (!std::isfinite(d))  // JSON has no NaN or infinity, and a text would load back as a str
        return Refuse(where, std::isnan(d) ? "the float nan" : "an infinite float", why);
    *out = d;
    return true;
}

bool StrToJson(PyObject* value, const std::string& where, Json* out, std::string* why) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value, &size);
    if (!text) {
        PyErr_Clear();
        return Refuse(where, "a str that is not valid Unicode (a lone surrogate)", why);
    }
    *out = std::string(text, static_cast<size_t>(size));
    return true;
}

bool ToJson(PyObject* value, const std::string& where, int depth, Json* out, std::string* why);

bool ListToJson(PyObject* value, const std::string& where, int depth, Json* out, std::string* why) {
    *out = Json::array();
    // items are taken one by one with a reference: nothing here runs code that could change
    // the list, but the count is read on every step all the same
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(value); ++i) {
        PyRef item = PyRef::Borrow(PyList_GET_ITEM(value, i));
        Json converted;
        if (!ToJson(item.get(), where + "[" + std::to_string(i) + "]", depth + 1, &converted, why))
            return false;
        out->push_back(std::move(converted));
    }
    return true;
}

bool DictToJson(PyObject* value, const std::string& where, int depth, Json* out, std::string* why) {
    *out = Json::object();
    PyObject *key, *item;
    Py_ssize_t pos = 0;
    while (PyDict_Next(value, &pos, &key, &item)) {
        if (!PyUnicode_CheckExact(key))
            return Refuse(where, std::string("a dict key of type '") + Py_TYPE(key)->tp_name + "'",
                          why);
        Json name;
        if (!StrToJson(key, where + " key", &name, why)) return false;
        const std::string& text = name.get_ref<const std::string&>();
        Json converted;
        if (!ToJson(item, where + "['" + text + "']", depth + 1, &converted, why)) return false;
        (*out)[text] = std::move(converted);
    }
    return true;
}

// A list or dict at `depth` (0 for the value itself) may hold more only below the limit.
bool RoomBelow(int depth, const std::string& where, std::string* why) {
    if (depth < kJsonValueDepth) return true;
    return Refuse(where,
                  "values nested more than " + std::to_string(kJsonValueDepth) +
                      " levels deep (or a container that holds itself)",
                  why);
}

bool ToJson(PyObject* value, const std::string& where, int depth, Json* out, std::string* why) {
    if (value == Py_None) {
        *out = nullptr;
        return true;
    }
    if (PyBool_Check(value)) {
        *out = value == Py_True;
        return true;
    }
    if (PyLong_CheckExact(value)) return IntToJson(value, where, out, why);
    if (PyFloat_CheckExact(value)) return FloatToJson(value, where, out, why);
    if (PyUnicode_CheckExact(value)) return StrToJson(value, where, out, why);
    if (PyList_CheckExact(value))
        return RoomBelow(depth, where, why) && ListToJson(value, where, depth, out, why);
    if (PyDict_CheckExact(value))
        return RoomBelow(depth, where, why) && DictToJson(value, where, depth, out, why);
    return Refuse(where, value, why);
}

PyObject* FromJson(const Json& json, int depth, std::string* why);

PyObject* ArrayFromJson(const Json& json, int depth, std::string* why) {
    PyRef list = PyRef::Steal(PyList_New(static_cast<Py_ssize_t>(json.size())));
    if (!list) return nullptr;
    for (size_t i = 0; i < json.size(); ++i) {
        PyObject* item = FromJson(json[i], depth + 1, why);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* ObjectFromJson(const Json& json, int depth, std::string* why) {
    PyRef dict = PyRef::Steal(PyDict_New());
    if (!dict) return nullptr;
    for (auto it = json.begin(); it != json.end(); ++it) {
        PyRef item = PyRef::Steal(FromJson(it.value(), depth + 1, why));
        const std::string& key = it.key();
        PyRef name = PyRef::Steal(
            item ? PyUnicode_DecodeUTF8(key.data(), static_cast<Py_ssize_t>(key.size()), nullptr)
                 : nullptr);
        if (!name || PyDict_SetItem(dict.get(), name.get(), item.get()) < 0) return nullptr;
    }
    return dict.release();
}

PyObject* FromJson(const Json& json, int depth, std::string* why) {
    if (json.is_structured() && depth >= kJsonValueDepth) {
        *why = "the value nests more than " + std::to_string(kJsonValueDepth) + " levels deep";
        return nullptr;
    }
    switch (json.type()) {
        case Json::value_t::null:
            Py_RETURN_NONE;
        case Json::value_t::boolean:
            return PyBool_FromLong(json.get<bool>());
        case Json::value_t::number_integer:
            return PyLong_FromLongLong(json.get<int64_t>());
        case Json::value_t::number_unsigned:
            return PyLong_FromUnsignedLongLong(json.get<uint64_t>());
        case Json::value_t::number_float:
            return PyFloat_FromDouble(json.get<double>());
        case Json::value_t::string: {
            const std::string& text = json.get_ref<const std::string&>();
            return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
        }
        case Json::value_t::array:
            return ArrayFromJson(json, depth, why);
        case Json::value_t::object:
            return ObjectFromJson(json, depth, why);
        default:
            *why = "the value is not one JSON can hold";
            return nullptr;
    }
}

}  // namespace

bool PythonToJson(PyObject* value, const std::string& where, Json* out, std::string* why) {
    return ToJson(value, where, 0, out, why);
}

PyObject* JsonToPython(const Json& json, std::string* why) {
    PyObject* value = FromJson(json, 0, why);
    if (!value && PyErr_Occurred()) {
        *why = "the value cannot be made in Python";
        PyErr_Clear();
    }
    return value;
}

}  // namespace vorn
