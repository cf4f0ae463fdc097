// Whatever the settings reader accepts must come back unchanged after a save and a reload,
// and whatever it refuses must be refused with a one-line reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vorn::SettingsStore;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::string> values;
    std::string why;
    if (!SettingsStore::Parse(text, &values, &why)) {
        if (why.empty() || why.find_first_of("\r\n") != std::string::npos) std::abort();
        return 0;
    }
    std::map<std::string, std::string> reread;
    if (!SettingsStore::Parse(SettingsStore::Serialize(values), &reread, &why)) std::abort();
    if (reread != values) std::abort();
    return 0;
}
