#pragma once

#include <cstddef>
#include <cstdint>

#include "vorn/ids.h"

// CPython's object type, declared the way Python.h declares it, so that SDK users need not
// include the interpreter's headers.
struct _object;
typedef struct _object PyObject;
typedef PyObject* (*VnPyFunction)(PyObject* self, PyObject* args);

// Member type codes: how a member's storage is laid out.
enum VnTypeCode : uint32_t {
    kVnLong = 1,          // int32_t
    kVnFloat = 2,         // float
    kVnDouble = 3,        // double
    kVnBool = 4,          // one byte, 0 or 1
    kVnObject = 5,        // an embedded runtime object; the storage is the object
    kVnObjectRef = 6,     // IRoot* holding one reference, or null
    kVnString = 7,        // inline NUL-terminated text of `size` bytes
    kVnVornString = 8,    // char* from Alloc, or null
    kVnTime = 9,          // int64_t ticks of 100 ns since 1 January 1601
    kVnPython = 10,       // an embedded Python object; the storage is the object
    kVnPythonRef = 11,    // PyObject* holding one reference, or null
    kVnROTReference = 12  // char* from Alloc naming an object of the running object table
};

// Bits of VnMemberDescriptor::editflags.
enum VnEditFlags : uint32_t {
    kVnEditOwnDescriptor = 0x1,  // set by the app on descriptors it makes itself
    kVnEditable = 0x2,           // clear: the member is read-only
    kVnEditNotify = 0x4,         // tell the owner through INotify after a change
    kVnEditExclusive = 0x200     // the choice table holds exclusive values, else bits
};

// One member of a type. Tables of these end with an entry whose name is null or empty.
struct VnMemberDescriptor {
    const char* name;
    uint32_t type;     // VnTypeCode
    int32_t offset;    // within the declaring part of the object
    int32_t size;      // bytes; for kVnString the capacity with the terminator
    const VnIID* iid;  // interface required of objects placed in the member, or null
    const char* description;
    uint32_t editflags;   // VnEditFlags
    const void* extra;    // VnChoice table, or for a ROT reference the file dialog entry
    uint64_t further[3];  // values that the app's own descriptors carry; never read here
};

// One choice of a member's choice table; the table ends with an entry whose name is null.
// For a ROT reference the table's single entry gives the file dialog's title (name) and
// filter (description).
struct VnChoice {
    const char* name;
    union {
        unsigned char bytes[8];
        int64_t i64;
        int32_t i32;
        double f64;
        float f32;
    } value;  // stored in the member's own type
    const char* description;
};
static_assert(sizeof(VnChoice) == 24, "choice entries are 24 bytes");

// One method callable from Python; laid out like CPython's PyMethodDef.
struct VnMethodDef {
    const char* name;
    VnPyFunction function;
    int flags;  // METH_VARARGS (1) or METH_NOARGS (4)
    const char* doc;
};

// One interface an object answers, at `offset` bytes from the object's implementation start.
struct VnInterfaceEntry {
    const VnIID* iid;
    intptr_t offset;
};

// What a class says about itself. Records live as long as the process.
struct VnTypeInfo {
    const VnCLSID* clsid;
    const char* description;
    const VnInterfaceEntry* interfaces;  // ends with a null iid
    const VnMemberDescriptor* members;   // ends with an empty name
    const VnMethodDef* methods;          // ends with a null name; may be null
    const VnTypeInfo* base;              // the base type, or null
    intptr_t baseOffset;                 // where the base type's part lies within this one
};

inline bool VnIsEndOfMembers(const VnMemberDescriptor* d) {
    return d == nullptr || d->name == nullptr || d->name[0] == 0;
}
