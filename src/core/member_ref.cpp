#include "core/member_ref.h"

#include "vorn/os.h"

namespace mw {

MemberRef::MemberRef(uint32_t expectedType, const char* name, IRoot* object)
    : mExpected(expectedType) {
    Bind(name, object);
}

bool MemberRef::Bind(const char* name, IRoot* object) {
    reset();
    const MemberValue found = MemberNamed(object, name);
    if (!found.desc) return false;
    mDesc = found.desc;
    mObject = VnRef<IRoot>(object);
    mAddress = found.value;
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
