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
    uint64_t order;   // grows with every recorded write: which came last while the clock stood
};

// Records that the tool wrote `member` of `object` (any interface of it) just now; `where`
// may be null.
VORN_API void VnRecordWriter(IRoot* object, const VnMemberDescriptor* member, const char* kind,
                             const char* where);

// Records that the running script wrote `member` of `object` just now, as an assignment does:
// the writer is the Python frame that runs. For methods that set members themselves.
VORN_API void VnRecordScriptWriter(IRoot* object, const VnMemberDescriptor* member);

// The last recorded writer of `member` of `object` into `out`; false when none is recorded.
VORN_API bool VnGetWriter(IRoot* object, const VnMemberDescriptor* member, VnWriter* out);
