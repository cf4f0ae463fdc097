#include "core/member_ref.h"

#include "vorn/os.h"

namespace mw {

MemberRef::MemberRef(uint32_t expectedType, const char* name, IRoot* object)
    : mExpected(expectedType) {
    Bind(name, object);
}

bool MemberRef::Bind(const char* name, IRoot* object) {
    reset();
    if (!object) return false;
    intptr_t adjustment = 0;
    const MemberDescriptor* desc = VnOS->FindMember(name, object->GetTypeInfo(), &adjustment);
    if (!desc) return false;
    mDesc = desc;
    mObject = VnRef<IRoot>(object);
    mAddress = MemberStorage(object, desc, adjustment);
    return true;
}

void MemberRef::reset() {
    mObject.reset();
    mDesc = nullptr;
    mAddress = nullptr;
}

const char* MemberRef::text() const {
    const char* text = MemberTextPointer(value());
    return text ? text : "";
}

}  // namespace mw
