#pragma once

#include <cstdint>

#include "core/member_value.h"
#include "vorn/ref.h"

namespace mw {

// One member, found by name, of an object it keeps a reference to.
class MemberRef {
public:
    MemberRef() = default;
    // `expectedType` is recorded for the caller; it is never checked against the member.
    MemberRef(uint32_t expectedType, const char* name, IRoot* object);

    // Lets go of the held object, then looks `name` up in `object`; false holds nothing.
    bool Bind(const char* name, IRoot* object);
    void reset();

    // The member's text: "" when nothing is bound or the member holds no text.
    const char* text() const;

    void* address() const { return mAddress; }
    const MemberDescriptor* descriptor() const { return mDesc; }
    IRoot* object() const { return mObject.get(); }
    bool isBound() const { return mDesc != nullptr; }
    uint32_t expectedType() const { return mExpected; }
    MemberValue value() const { return {mDesc, mAddress}; }

private:
    uint32_t mExpected = 0;
    VnRef<IRoot> mObject;
    const MemberDescriptor* mDesc = nullptr;
    void* mAddress = nullptr;
};

}  // namespace mw
