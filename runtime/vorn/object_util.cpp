#include "object_util.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "class_registry.h"

namespace vorn {

IRoot* Identity(IRoot* object) {
    void* identity = nullptr;
    if (!object || !object->QueryInterface(IID_IRoot, &identity, 1)) return object;
    auto* root = static_cast<IRoot*>(identity);
    root->Release();  // only compared, never kept
    return root;
}

std::string ClassOf(IRoot* object) {
    const VnTypeInfo* t = object ? object->GetTypeInfo() : nullptr;
    return (t && t->clsid) ? ClassIdText(*t->clsid) : std::string("(unknown)");
}

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeDir() {
    std::string home = EnvText("HOME");
    if (home.empty()) {
        const passwd* user = getpwuid(getuid());
        if (user && user->pw_dir) home = user->pw_dir;
    }
    return home;
}

}  // namespace vorn
