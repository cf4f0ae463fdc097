#pragma once

#include <Python.h>

#include <cstddef>

#include "kx_interfaces.h"
#include "vorn/object.h"
#include "vorn/pyos.h"

// Member tables take the offsets of fields of classes with virtual functions. Without virtual
// bases, GCC and clang lay such classes out like plain structs, so offsetof is exact here.
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#define KX_SIZE(Class, field) static_cast<int32_t>(sizeof(static_cast<Class*>(nullptr)->field))
#define KX_OFFSET(Class, field) static_cast<int32_t>(offsetof(Class, field))

// A member with no extra table and no required interface.
#define KX_MEMBER(Class, field, name, type, flags, text)                                           \
    {                                                                                              \
        name, type, KX_OFFSET(Class, field), KX_SIZE(Class, field), nullptr, text, flags, nullptr, \
        {}                                                                                         \
    }
// An object member whose objects must answer `iid`.
#define KX_OBJECT(Class, field, name, type, iid, flags, text)                                      \
    {                                                                                              \
        name, type, KX_OFFSET(Class, field), KX_SIZE(Class, field), &iid, text, flags, nullptr, {} \
    }
// A member with a choice table (or, for a ROT reference, its file dialog entry).
#define KX_CHOICE(Class, field, name, type, table, flags, text)                                  \
    {                                                                                            \
        name, type, KX_OFFSET(Class, field), KX_SIZE(Class, field), nullptr, text, flags, table, \
        {}                                                                                       \
    }

// Editable, and the owner applies the change.
constexpr uint32_t kKxEdit = kVnEditable;
constexpr uint32_t kKxApply = kVnEditable | kVnEditNotify;

namespace kalix {

// The object behind `self` in a method body, with the call bracket around the body.
template <class T, class Body>
PyObject* Bracket(PyObject* self, Body body) {
    PyThunkEnter();
    T* object = VnSelf<T>(self);
    return PyThunkLeave(object ? body(object) : nullptr);
}

// A 32-bit choice value for a choice table.
constexpr VnChoice Choice(const char* name, int32_t value, const char* text) {
    VnChoice c{name, {}, text};
    c.value.i64 = 0;
    c.value.i32 = value;
    return c;
}

}  // namespace kalix
