#pragma once

#include <stdlib.h>

#include <string>

// The runtime's settings and paths in a fresh folder "/tmp/NAME.XXXXXX", never the user's; for
// the benchmarks that run the runtime without Qt.
inline bool UseTemporaryHome(const char* name) {
    std::string base = std::string("/tmp/") + name + ".XXXXXX";
    if (!mkdtemp(base.data())) return false;
    setenv("VORN_SETTINGS", (base + "/settings.json").c_str(), 1);
    for (const char* variable : {"VORN_RESDIR", "VORN_MACRODIR", "VORN_BASEDIR"})
        setenv(variable, (base + "/").c_str(), 1);
    return true;
}
