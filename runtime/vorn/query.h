#pragma once

#include "vorn/iroot.h"

namespace vorn {

// Looks `iid` up in the interface tables of `type` and its bases. The pseudo interface
// "Used in ROT" gives the object's implementation base (object + first entry's offset)
// without a reference; a found interface is answered with one reference added.
bool QueryTable(void* object, const VnIID& iid, void** out, const VnTypeInfo* type);

}  // namespace vorn
