#pragma once

#include <cstddef>
#include <cstdint>

#include "vorn/export.h"
#include "vorn/iroot.h"
#include "vorn/typeinfo.h"

// Who last wrote a member of an object, and when by the engine clock. Entries go when their
// object goes.
struct VnWriter {
    char kind[16];    // "script", or what the tool says: "editor", "undo", "redo", "revert"
    char where[256];  // "Spin Model.py:12" for a script, the editor's name for the tool
    int64_t time;     // clock ticks (VnClock::currentTime) at the write
};

// Records that the tool wrote `member` of `object` (any interface of it) just now; `where`
// may be null.
VORN_API void VnRecordWriter(IRoot* object, const VnMemberDescriptor* member, const char* kind,
                             const char* where);

// The last recorded writer of `member` of `object` into `out`; false when none is recorded.
VORN_API bool VnGetWriter(IRoot* object, const VnMemberDescriptor* member, VnWriter* out);
