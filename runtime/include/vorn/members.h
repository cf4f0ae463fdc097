#pragma once

#include "vorn/iroot.h"

// The implementation base of an object: what the pseudo interface "Used in ROT" gives.
inline char* VnImplementationBase(IRoot* object) {
    void* base = nullptr;
    if (!object || !object->QueryInterface(IID_UsedInROT, &base, 1)) return nullptr;
    return static_cast<char*>(base);
}

// Storage of a member declared by a part of `object` that lies `adjustment` bytes into it.
// The implementation base sits at the offset of the first interface entry of the object's
// own type, so that offset is taken back off.
inline void* VnMemberStorage(IRoot* object, const VnMemberDescriptor* member, intptr_t adjustment) {
    char* base = VnImplementationBase(object);
    if (!base || !member) return nullptr;
    const VnTypeInfo* own = object->GetTypeInfo();
    intptr_t first = 0;
    if (own && own->interfaces && own->interfaces[0].iid) first = own->interfaces[0].offset;
    return base + member->offset + adjustment - first;
}

// Calls fn(member, storage, level) for every member of the object: its own type's first, in
// table order, then each base type's. Stops early when fn returns false.
template <class Fn>
void VnForEachMember(IRoot* object, Fn&& fn) {
    if (!object) return;
    intptr_t adjustment = 0;
    for (const VnTypeInfo* t = object->GetTypeInfo(); t; t = t->base) {
        for (const VnMemberDescriptor* d = t->members; !VnIsEndOfMembers(d); ++d) {
            if (!fn(d, VnMemberStorage(object, d, adjustment), t)) return;
        }
        adjustment += t->baseOffset;
    }
}
