#include "core/class_id.h"

#include <cstring>

namespace mw {

bool ParseClassId(const char* text, VnCLSID* out) { return VnParseCLSID(text, out); }

bool ClassIdMatches(const VnCLSID& a, const VnCLSID& b) { return VnCLSIDMatches(a, b); }

std::string ClassIdToText(const VnCLSID& id) { return VnCLSIDText(id); }

std::string ClassNameOf(IRoot* object) {
    const VnTypeInfo* type = object ? object->GetTypeInfo() : nullptr;
    if (!type || !type->clsid) return {};
    const VnCLSID& id = *type->clsid;
    return std::string(id.name, strnlen(id.name, sizeof id.name));
}

}  // namespace mw
