#include "vorn/ids.h"

#include <cstdlib>

#include "vorn/os.h"

const VnIID IID_IRoot = VnMakeIID("IRoot", 3);
const VnIID IID_INotify = VnMakeIID("INotify", 2);
const VnIID IID_IList = VnMakeIID("IList", 2);
const VnIID IID_UsedInROT = VnMakeIID("Used in ROT", kVnUsedInROTVersion);
const VnIID IID_IVornROT = VnMakeIID("IVornROT", 1);
const VnCLSID VORNCLSID_NONE = VnMakeCLSID("", "", -1);

namespace {
// Copies one part of a class id text; false when it does not fit its field.
bool TakePart(const char* from, size_t length, char* field, int max) {
    if (length > static_cast<size_t>(max)) return false;
    std::memset(field, 0, static_cast<size_t>(max) + 1);
    std::memcpy(field, from, length);
    return true;
}
}  // namespace

bool VnParseCLSID(const char* text, VnCLSID* out) {
    const char* t = text ? text : "";
    const char* dot = std::strchr(t, '.');
    if (!dot) {
        VnOS->SetError(-1, nullptr, "Cannot convert \"%s\" to a valid class id", t);
        return false;
    }
    VnCLSID id{};
    if (!TakePart(t, static_cast<size_t>(dot - t), id.module, kVnModuleMax)) {
        VnOS->SetError(-1, nullptr, "Modulename cannot exceed %d chars: %s", kVnModuleMax, t);
        return false;
    }
    const char* name = dot + 1;
    const char* second = std::strchr(name, '.');
    size_t nameLength = second ? static_cast<size_t>(second - name) : std::strlen(name);
    if (!TakePart(name, nameLength, id.name, kVnClassMax)) {
        VnOS->SetError(-1, nullptr, "Classname cannot exceed %d chars: %s", kVnClassMax, t);
        return false;
    }
    id.version = -1;
    if (second) {
        // the leading integer of the rest, as atoi reads it; out-of-range versions are refused
        char* end = nullptr;
        long long v = std::strtoll(second + 1, &end, 10);
        if (v < INT16_MIN || v > INT16_MAX) {
            VnOS->SetError(-1, nullptr, "Version must be between %d and %d: %s", INT16_MIN,
                           INT16_MAX, t);
            return false;
        }
        id.version = static_cast<int16_t>(v);
    }
    if (out) *out = id;
    return true;
}

#include "vorn/pyos.h"

const VnIID IID_IPythonEvents = VnMakeIID("IPythonEvents", 3);
const VnIID IID_IVornEvents = VnMakeIID("IVornEvents", 2);
const VnIID IID_IPythonMethods = VnMakeIID("IPythonMethods", 1);
