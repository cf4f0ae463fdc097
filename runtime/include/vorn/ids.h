#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "vorn/export.h"

// Interface id: a NUL-padded name and a version. Requested version -1 matches any version.
struct VnIID {
    char name[30];
    int16_t version;
};
static_assert(sizeof(VnIID) == 32, "interface ids are 32 bytes");

// Class id: module, class name and version; -1 means any version.
struct VnCLSID {
    char module[10];
    char name[24];
    int16_t version;
};
static_assert(sizeof(VnCLSID) == 36, "class ids are 36 bytes");

constexpr int kVnModuleMax = 9;  // characters, without the terminator
constexpr int kVnClassMax = 23;
constexpr int kVnIIDNameMax = 29;

// Version of the pseudo interface that yields an object's implementation base.
constexpr int16_t kVnUsedInROTVersion = -2;

namespace vorn_detail {
inline void CopyPadded(char* dst, std::size_t cap, const char* src) {
    std::memset(dst, 0, cap);
    std::size_t n = src ? std::strlen(src) : 0;
    std::memcpy(dst, src ? src : "", n < cap - 1 ? n : cap - 1);
}
}  // namespace vorn_detail

inline VnIID VnMakeIID(const char* name, int16_t version) {
    VnIID id;
    vorn_detail::CopyPadded(id.name, sizeof id.name, name);
    id.version = version;
    return id;
}

inline VnCLSID VnMakeCLSID(const char* module, const char* name, int16_t version) {
    VnCLSID id;
    vorn_detail::CopyPadded(id.module, sizeof id.module, module);
    vorn_detail::CopyPadded(id.name, sizeof id.name, name);
    id.version = version;
    return id;
}

// True when an object's interface `have` answers a request for `want`.
inline bool VnIIDMatches(const VnIID& want, const VnIID& have) {
    if (std::strncmp(want.name, have.name, sizeof want.name) != 0) return false;
    return want.version == -1 || want.version == have.version;
}

// True when two class ids name the same class: equal module and class names (case-sensitive),
// and equal versions unless either one is -1.
inline bool VnCLSIDMatches(const VnCLSID& a, const VnCLSID& b) {
    if (std::strncmp(a.module, b.module, sizeof a.module) != 0) return false;
    if (std::strncmp(a.name, b.name, sizeof a.name) != 0) return false;
    return a.version == b.version || a.version == -1 || b.version == -1;
}

inline bool VnIsUsedInROT(const VnIID& iid) {
    return iid.version == kVnUsedInROTVersion && std::strncmp(iid.name, "Used in ROT", 30) == 0;
}

inline bool VnCLSIDIsNone(const VnCLSID& id) { return id.module[0] == 0 && id.name[0] == 0; }

// "module.Class.version", the version left out when it is -1.
inline std::string VnCLSIDText(const VnCLSID& id) {
    std::string text(id.module, strnlen(id.module, sizeof id.module));
    text += '.';
    text.append(id.name, strnlen(id.name, sizeof id.name));
    if (id.version != -1) text += '.' + std::to_string(id.version);
    return text;
}

// Reads "module.Class" or "module.Class.version" (module at most 9 characters, class name at
// most 23; without a version the version is -1). A bad text sets the pending error.
VORN_API bool VnParseCLSID(const char* text, VnCLSID* out);

// The well-known ids of the runtime itself.
VORN_API extern const VnIID IID_IRoot;
VORN_API extern const VnIID IID_INotify;
VORN_API extern const VnIID IID_IList;
VORN_API extern const VnIID IID_UsedInROT;
VORN_API extern const VnIID IID_IVornROT;
VORN_API extern const VnCLSID VORNCLSID_NONE;
