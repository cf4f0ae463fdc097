#pragma once

#include <string>

#include "vorn/ids.h"
#include "vorn/iroot.h"

namespace mw {

// Reads "module.Class[.version]"; on failure sets the pending error and leaves *out alone.
bool ParseClassId(const char* text, VnCLSID* out);

// Same module and class name, and the same version unless either asks for any (-1).
bool ClassIdMatches(const VnCLSID& a, const VnCLSID& b);

// "module.Class.version", the version left out when it is -1.
std::string ClassIdToText(const VnCLSID& id);

// The class name of an object's class id ("KxModel"), or "" when it has none.
std::string ClassName(IRoot* object);

}  // namespace mw
