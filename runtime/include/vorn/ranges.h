#pragma once

#include <cstddef>

#include "vorn/export.h"
#include "vorn/typeinfo.h"

// The range of one numeric member of a class, kept beside the class's member table because
// the descriptors' layout is fixed. Tables of these end with an entry whose name is null.
struct VnMemberRange {
    const char* name;  // the member's name in the class's own table
    double minimum;
    double maximum;
    double step;  // what one step of a spin box adds; values need not be multiples of it
};

// Gives the members of `type` named in `table` their ranges. False with the pending error when
// a name is no member of the type's own table or a range is empty; the rest are still given.
VORN_API bool VnSetMemberRanges(const VnTypeInfo* type, const VnMemberRange* table);

// The member's range into `out` (its name is the member's); false when it has none.
VORN_API bool VnGetMemberRange(const VnMemberDescriptor* member, VnMemberRange* out);

// Whether `value`, laid out as the member's own storage (int32_t, float or double), may be
// stored: inside the member's range, and one of its choices (or a sum of its bits). False with
// the reason in `why` (cut to `capacity` bytes with the terminator) when it may not.
VORN_API bool VnCheckMemberValue(const VnMemberDescriptor* member, const void* value, char* why,
                                 std::size_t capacity);
