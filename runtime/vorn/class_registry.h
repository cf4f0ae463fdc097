#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "vorn/os.h"

namespace vorn {

// The classes CreateInstance can make, by module and class name, each with its versions.
class ClassRegistry {
public:
    bool Register(const VnClassInfo& info);
    // The class matching `clsid`: the exact version, or the newest one when it asks for -1.
    bool Find(const VnCLSID& clsid, VnClassInfo* out) const;
    // Every registered class, in name order.
    std::vector<VnClassInfo> All() const;

private:
    static std::string Key(const VnCLSID& clsid);
    mutable std::mutex mMutex;
    std::map<std::string, std::vector<VnClassInfo>> mClasses;
};

// "module.Class.version" (the version left out when it is -1).
std::string ClassIdText(const VnCLSID& clsid);

}  // namespace vorn
