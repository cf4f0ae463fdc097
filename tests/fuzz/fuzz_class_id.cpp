// Class id text: any input is either refused or read into an id whose text reads back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/class_id.h"
#include "vorn/os.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // c_str() ends it
    VnCLSID id{};
    if (mw::ParseClassId(text.c_str(), &id)) {
        const std::string again = mw::ClassIdToText(id);
        VnCLSID back{};
        if (!mw::ParseClassId(again.c_str(), &back)) std::abort();
        if (std::strncmp(id.module, back.module, sizeof id.module) != 0 ||
            std::strncmp(id.name, back.name, sizeof id.name) != 0 || id.version != back.version)
            std::abort();
    }
    VnOS->SetError(0, nullptr, nullptr);
    return 0;
}
