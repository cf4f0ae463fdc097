#pragma once

#include <string>

#include "vorn/iroot.h"

namespace mw {

// Reads "module.Class[.version]"; on failure sets the pending error and leaves *out alone.
bool ParseClassId(const char* text, VnCLSID* out);

// Same module and class name, and the same version unless either asks for any (-1).
bool ClassIdMatches(const VnCLSID& a, const VnCLSID& b);

// "module.Class.version", the version left out when it is -1.
std::string ClassIdToText(const VnCLSID& id);

// The class name of the object's class, without module or version; "" when it has none.
std::string ClassNameOf(IRoot* object);

}  // namespace mw
