#pragma once

#include <Python.h>

#include "vorn/writers.h"

namespace vorn {

// The last writer of each written member, by object identity. A script's writer keeps the code
// object and instruction of the frame that wrote, so the line is worked out only when asked.
namespace writer_table {

// A script wrote `member` of `identity`: the current Python frame is the writer.
void RecordScript(IRoot* identity, const VnMemberDescriptor* member);
void RecordTool(IRoot* identity, const VnMemberDescriptor* member, const char* kind,
                const char* where);
bool Find(IRoot* identity, const VnMemberDescriptor* member, VnWriter* out);
// The object went: its entries go.
void Forget(IRoot* identity);
// The interpreter ends: script writers become texts, so no Python object is held any more.
void Settle();

}  // namespace writer_table

}  // namespace vorn
