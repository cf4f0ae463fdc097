#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vorn/typeinfo.h"

namespace vorn {

// What an attribute name stands for on objects of one type, in the order a wrapper looks: a
// member (own type first, then the bases), else a method of the type or a base, else one of
// the list methods (which still needs the object to be a list). None of these: a script
// attribute or an attribute of vorn.Object itself.
struct NameMeaning {
    const VnMemberDescriptor* member = nullptr;
    // The member's storage, in bytes from what the object answers for its implementation base
    // (the part that declares it and the base's own offset taken into account).
    intptr_t storageOffset = 0;
    const VnMethodDef* method = nullptr;
    const PyMethodDef* listMethod = nullptr;
    bool special = false;  // "__name": reads go to vorn.Object's own attributes
};

// The meaning of each (type, name) pair that wrappers were asked for, worked out once and then
// found by one probe. Names are compared by content, so a name built at run time finds the
// entry its literal made. Type records never change and live as long as the process, so a
// meaning stays right while its entry exists. Each entry holds a reference to its name, so the
// cache is emptied before the interpreter ends. Used only with the GIL held.
class NameCache {
public:
    NameCache() = default;
    NameCache(const NameCache&) = delete;
    NameCache& operator=(const NameCache&) = delete;
    ~NameCache() { Abandon(); }

    // The hash of an exact str: the one it keeps once computed, so no call in the usual case.
    static Py_hash_t HashOf(PyObject* name) {
        Py_hash_t hash = reinterpret_cast<PyASCIIObject*>(name)->hash;
        return hash != -1 ? hash : PyObject_Hash(name);
    }

    // The entry for `type` and `name` (an exact str with its hash), or null when there is none.
    // Valid until the next Add or Clear.
    const NameMeaning* Find(const VnTypeInfo* type, PyObject* name, Py_hash_t hash) const {
        if (mSlots.empty()) return nullptr;
        size_t mask = mSlots.size() - 1;
        for (size_t i = Slot(type, hash, mask);; i = (i + 1) & mask) {
            const Entry& e = mSlots[i];
            if (!e.name) return nullptr;
            if (e.type == type && (e.name == name || (e.hash == hash && SameText(e.name, name))))
                return &e.meaning;
        }
    }
    // Keeps `meaning` for the pair and answers the entry; the cache starts over when it holds
    // too many names.
    const NameMeaning* Add(const VnTypeInfo* type, PyObject* name, Py_hash_t hash,
                           const NameMeaning& meaning);
    // Drops every entry and its reference; needs the interpreter.
    void Clear();
    size_t Size() const { return mUsed; }

    // A bound on the entries, against scripts that make up names without end: at most this
    // many entries of 64 bytes in a table twice as long.
    static constexpr size_t kMaxEntries = 4096;

private:
    struct Entry {
        const VnTypeInfo* type = nullptr;
        PyObject* name = nullptr;  // one reference; null: the slot is free
        Py_hash_t hash = 0;
        NameMeaning meaning;
    };
    static size_t Slot(const VnTypeInfo* type, Py_hash_t hash, size_t mask) {
        // type records are at least 8-byte aligned: their low bits say nothing
        uint64_t mixed =
            static_cast<uint64_t>(hash) ^
            (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(type)) >> 3) * 0x9E3779B97F4A7C15ull;
        mixed ^= mixed >> 29;
        return static_cast<size_t>(mixed) & mask;
    }
    static bool SameText(PyObject* a, PyObject* b);
    void Grow();
    // Forgets the entries without touching their names (the interpreter may be gone).
    void Abandon();

    std::vector<Entry> mSlots;  // open addressing, linear probing; a power of two long
    size_t mUsed = 0;
};

}  // namespace vorn
