#include "core/member_value.h"

#include <utility>

#include "vorn/os.h"

namespace mw {

namespace {
const char* const kTypeNames[] = {
    "long",   "float",      "double", "bool",          "IRoot object",          "IRoot* object",
    "string", "vornstring", "time",   "Python object", "Python object pointer", "ROT reference"};
constexpr uint32_t kTypeCount = sizeof kTypeNames / sizeof kTypeNames[0];
}  // namespace

const char* TypeName(uint32_t code) {
    if (code < 1 || code > kTypeCount) return "unknown type?!?";
    return kTypeNames[code - 1];
}

const char* TypeName(const MemberValue& value) {
    return TypeName(value.desc ? value.desc->type : 0u);
}

bool IsObjectMember(const MemberValue& value) {
    return value.desc && (value.desc->type == kVnObject || value.desc->type == kVnObjectRef);
}

bool IsTextMember(const MemberValue& value) {
    if (!value.desc) return false;
    uint32_t t = value.desc->type;
    return t == kVnString || t == kVnVornString || t == kVnROTReference;
}

bool IsEditable(const MemberValue& value) {
    return value.desc && (value.desc->editflags & kVnEditable) != 0;
}

IRoot* MemberObject(const MemberValue& value) {
    if (!value.desc || !value.value) return nullptr;
    if (value.desc->type == kVnObjectRef) return *static_cast<IRoot**>(value.value);
    if (value.desc->type == kVnObject) return static_cast<IRoot*>(value.value);
    return nullptr;
}

bool StoreMemberObject(const MemberValue& value, IRoot* object) {
    if (!value.desc || !value.value || value.desc->type != kVnObjectRef) return false;
    if (const VnIID* iid = RequiredInterface(value.desc); iid && object) {
        void* answer = nullptr;
        if (!object->QueryInterface(*iid, &answer, 0)) return false;
        static_cast<IRoot*>(answer)->Release();
    }
    // the new object is held before the old one goes: it may be held only by the old one
    if (object) object->AddRef();
    IRoot* old = std::exchange(*static_cast<IRoot**>(value.value), object);
    if (old) old->Release();
    return true;
}

char* MemberTextPointer(const MemberValue& value) {
    if (!value.desc || !value.value) return nullptr;
    switch (value.desc->type) {
        case kVnString:
            return static_cast<char*>(value.value);
        case kVnVornString:
        case kVnROTReference:
            return *static_cast<char**>(value.value);
        default:
            return nullptr;
    }
}

void* MemberStorage(IRoot* object, const MemberDescriptor* member, intptr_t adjustment) {
    return VnMemberStorage(object, member, adjustment);
}

MemberValue MemberNamed(IRoot* object, const char* name) {
    intptr_t adjustment = 0;
    const MemberDescriptor* member =
        object ? VnOS->FindMember(name, object->GetTypeInfo(), &adjustment) : nullptr;
    if (!member) return {};
    return {member, MemberStorage(object, member, adjustment)};
}

}  // namespace mw
