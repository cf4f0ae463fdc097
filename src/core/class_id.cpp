#include "core/class_id.h"

namespace mw {

bool ParseClassId(const char* text, VnCLSID* out) { return VnParseCLSID(text, out); }

bool ClassIdMatches(const VnCLSID& a, const VnCLSID& b) { return VnCLSIDMatches(a, b); }

std::string ClassIdToText(const VnCLSID& id) { return VnCLSIDText(id); }

}  // namespace mw
