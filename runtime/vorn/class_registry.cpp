#include "class_registry.h"

namespace vorn {

std::string ClassRegistry::Key(const VnCLSID& clsid) {
    std::string key(clsid.module, strnlen(clsid.module, sizeof clsid.module));
    key += '.';
    key.append(clsid.name, strnlen(clsid.name, sizeof clsid.name));
    return key;
}

std::string ClassIdText(const VnCLSID& clsid) { return VnCLSIDText(clsid); }

bool ClassRegistry::Register(const VnClassInfo& info) {
    if (!info.type || !info.type->clsid) return false;
    const VnCLSID& id = *info.type->clsid;
    if (id.version < 0 || VnCLSIDIsNone(id)) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    auto& versions = mClasses[Key(id)];
    for (const VnClassInfo& known : versions) {
        if (known.type->clsid->version == id.version) return known.type == info.type;
    }
    versions.push_back(info);
    return true;
}

bool ClassRegistry::Find(const VnCLSID& clsid, VnClassInfo* out) const {
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mClasses.find(Key(clsid));
    if (it == mClasses.end()) return false;
    const VnClassInfo* best = nullptr;
    for (const VnClassInfo& info : it->second) {
        int16_t v = info.type->clsid->version;
        if (clsid.version == v) {
            best = &info;
            break;
        }
        if (clsid.version == -1 && (!best || v > best->type->clsid->version)) best = &info;
    }
    if (best && out) *out = *best;
    return best != nullptr;
}

std::vector<VnClassInfo> ClassRegistry::All() const {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<VnClassInfo> all;
    for (const auto& entry : mClasses)
        all.insert(all.end(), entry.second.begin(), entry.second.end());
    return all;
}

}  // namespace vorn
