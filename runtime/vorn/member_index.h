#pragma once

#include <mutex>
#include <string_view>
#include <unordered_map>

#include "vorn/typeinfo.h"

namespace vorn {

// Name look-up of members through a type and its bases. Each type's names are hashed once, on
// its first look-up; the records never change afterwards.
class MemberIndex {
public:
    const VnMemberDescriptor* Find(const char* name, const VnTypeInfo* type, intptr_t* adjustment);

private:
    struct Hit {
        const VnMemberDescriptor* member;
        intptr_t adjustment;
    };
    using Names = std::unordered_map<std::string_view, Hit>;
    const Names& NamesOf(const VnTypeInfo* type);

    std::mutex mMutex;
    std::unordered_map<const VnTypeInfo*, Names> mTypes;
};

}  // namespace vorn
