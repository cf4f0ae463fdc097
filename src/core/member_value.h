#pragma once

#include <cstdint>
#include <type_traits>

#include "vorn/members.h"

namespace mw {

using MemberDescriptor = VnMemberDescriptor;

// The choice table of a member, or null; a ROT reference's extra is its file dialog entry.
inline const VnChoice* ChoiceTable(const MemberDescriptor* d) {
    if (!d || d->type == kVnROTReference) return nullptr;
    return static_cast<const VnChoice*>(d->extra);
}

// True when the choice table holds exclusive values rather than bits.
inline bool IsExclusiveChoice(const MemberDescriptor* d) {
    return d && (d->editflags & kVnEditExclusive) != 0;
}

// A ROT reference's file dialog entry: title in name, filter in description; else null.
inline const VnChoice* FileDialogEntry(const MemberDescriptor* d) {
    if (!d || d->type != kVnROTReference) return nullptr;
    return static_cast<const VnChoice*>(d->extra);
}

// The interface an object placed in the member must answer, or null.
inline const VnIID* RequiredInterface(const MemberDescriptor* d) { return d ? d->iid : nullptr; }

// One member of one live object: its descriptor and the address of its storage. Owns neither.
struct MemberValue {
    const MemberDescriptor* desc = nullptr;
    void* value = nullptr;
};

// Display name of a type code; "unknown type?!?" for codes outside 1..12.
const char* TypeName(uint32_t code);
const char* TypeName(const MemberValue& value);

bool IsObjectMember(const MemberValue& value);  // types 5 and 6
bool IsTextMember(const MemberValue& value);    // types 7, 8 and 12
bool IsEditable(const MemberValue& value);

// The object a member holds (type 6) or is (type 5), without adding a reference; else null.
IRoot* MemberObject(const MemberValue& value);

// Stores `object` (may be null) in an object pointer member (type 6), holding it and letting
// the old one go. False, with the runtime's error pending, when the object lacks the member's
// required interface; false also for a member of another type. The member is untouched then.
bool StoreMemberObject(const MemberValue& value, IRoot* object);

// Type 7: the storage itself; types 8 and 12: the stored pointer (may be null); else null.
char* MemberTextPointer(const MemberValue& value);

// Storage of `member` in `object`, whose declaring part lies `adjustment` bytes into it.
void* MemberStorage(IRoot* object, const MemberDescriptor* member, intptr_t adjustment);

// The member called `name` of `object`, with its storage; an empty value when it has none.
MemberValue MemberNamed(IRoot* object, const char* name);

// Calls fn(value, declaring type) for each member, own type first; returning false stops it.
template <class Fn>
void ForEachMember(IRoot* object, Fn&& fn) {
    VnForEachMember(object, [&](const MemberDescriptor* d, void* storage, const VnTypeInfo* t) {
        using Result = decltype(fn(MemberValue{d, storage}, t));
        if constexpr (std::is_same_v<Result, void>) {
            fn(MemberValue{d, storage}, t);
            return true;
        } else {
            return static_cast<bool>(fn(MemberValue{d, storage}, t));
        }
    });
}

// The value of the member `member` describes in `object`; an empty value when it has none.
inline MemberValue MemberOf(IRoot* object, const MemberDescriptor* member) {
    MemberValue found;
    ForEachMember(object, [&](const MemberValue& v, const VnTypeInfo*) {
        if (v.desc != member) return true;
        found = v;
        return false;
    });
    return found;
}

}  // namespace mw
