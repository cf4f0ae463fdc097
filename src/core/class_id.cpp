#include "core/class_id.h"

#include <cstring>

#include "core/value_text.h"
#include "vorn/os.h"

namespace mw {

bool ParseClassId(const char* text, VnCLSID* out) {
    const char* whole = text ? text : "";
    const char* dot = std::strchr(whole, '.');
    if (!dot) {
        VnOS->SetError(-1, nullptr, "Cannot convert \"%s\" to a valid class id", whole);
        return false;
    }
    const auto moduleLength = static_cast<std::size_t>(dot - whole);
    if (moduleLength > static_cast<std::size_t>(kVnModuleMax)) {
        VnOS->SetError(-1, nullptr, "Modulename cannot exceed %d chars: %s", kVnModuleMax, whole);
        return false;
    }
    const char* name = dot + 1;
    const char* second = std::strchr(name, '.');
    const std::size_t nameLength =
        second ? static_cast<std::size_t>(second - name) : std::strlen(name);
    if (nameLength > static_cast<std::size_t>(kVnClassMax)) {
        VnOS->SetError(-1, nullptr, "Classname cannot exceed %d chars: %s", kVnClassMax, whole);
        return false;
    }
    const int32_t version = second ? IntegerValue(second + 1) : -1;
    if (version < INT16_MIN || version > INT16_MAX) {
        VnOS->SetError(-1, nullptr, "Version must be between -32768 and 32767: %s", whole);
        return false;
    }
    if (out) {
        VnCLSID id{};
        std::memcpy(id.module, whole, moduleLength);
        std::memcpy(id.name, name, nameLength);
        id.version = static_cast<int16_t>(version);
        *out = id;
    }
    return true;
}

bool ClassIdMatches(const VnCLSID& a, const VnCLSID& b) {
    return std::strncmp(a.module, b.module, sizeof a.module) == 0 &&
           std::strncmp(a.name, b.name, sizeof a.name) == 0 &&
           (a.version == b.version || a.version == -1 || b.version == -1);
}

std::string ClassIdToText(const VnCLSID& id) {
    std::string text(id.module, strnlen(id.module, sizeof id.module));
    text += '.';
    text.append(id.name, strnlen(id.name, sizeof id.name));
    if (id.version != -1) text += '.' + std::to_string(id.version);
    return text;
}

}  // namespace mw
