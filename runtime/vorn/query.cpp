#include "query.h"

namespace vorn {

bool QueryTable(void* object, const VnIID& iid, void** out, const VnTypeInfo* type) {
    if (!out) return false;
    *out = nullptr;
    if (!object || !type) return false;
    char* start = static_cast<char*>(object);
    if (VnIsUsedInROT(iid)) {
        intptr_t first =
            (type->interfaces && type->interfaces[0].iid) ? type->interfaces[0].offset : 0;
        *out = start + first;
        return true;
    }
    intptr_t part = 0;
    for (const VnTypeInfo* t = type; t; t = t->base) {
        for (const VnInterfaceEntry* e = t->interfaces; e && e->iid; ++e) {
            if (!VnIIDMatches(iid, *e->iid)) continue;
            auto* found = reinterpret_cast<IRoot*>(start + part + e->offset);
            found->AddRef();
            *out = found;
            return true;
        }
        part += t->baseOffset;
    }
    return false;
}

}  // namespace vorn
