#include "member_index.h"

namespace vorn {

const MemberIndex::Names& MemberIndex::NamesOf(const VnTypeInfo* type) {
    auto it = mTypes.find(type);
    if (it != mTypes.end()) return it->second;
    Names names;
    intptr_t adjustment = 0;
    for (const VnTypeInfo* t = type; t; t = t->base) {
        for (const VnMemberDescriptor* d = t->members; !VnIsEndOfMembers(d); ++d) {
            names.emplace(std::string_view(d->name), Hit{d, adjustment});  // own type wins
        }
        adjustment += t->baseOffset;
    }
    return mTypes.emplace(type, std::move(names)).first->second;
}

const VnMemberDescriptor* MemberIndex::Find(const char* name, const VnTypeInfo* type,
                                            intptr_t* adjustment) {
    if (adjustment) *adjustment = 0;
    if (!name || !type) return nullptr;
    std::lock_guard<std::mutex> lock(mMutex);
    const Names& names = NamesOf(type);
    auto hit = names.find(std::string_view(name));
    if (hit == names.end()) return nullptr;
    if (adjustment) *adjustment = hit->second.adjustment;
    return hit->second.member;
}

}  // namespace vorn
