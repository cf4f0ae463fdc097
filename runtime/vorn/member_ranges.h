#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "vorn/ranges.h"

namespace vorn {

// Which descriptors may have a range, by a hash of their address: most members have none, and
// a script's write should not wait for the range table's lock, nor call out, to learn it.
constexpr std::size_t kRangeMarks = 4096;
extern std::atomic<bool> gRangeMarks[kRangeMarks];

inline std::size_t RangeMarkOf(const VnMemberDescriptor* d) {
    return (reinterpret_cast<std::uintptr_t>(d) / alignof(VnMemberDescriptor)) % kRangeMarks;
}

// False when `member` surely has no range; true when it may have one.
inline bool MayHaveRange(const VnMemberDescriptor* member) {
    return gRangeMarks[RangeMarkOf(member)].load(std::memory_order_acquire);
}

// VnCheckMemberValue with the reason as a string ("shininess takes 1 to 256, not 1000").
bool CheckMemberValue(const VnMemberDescriptor* member, const void* value, std::string* why);

}  // namespace vorn
