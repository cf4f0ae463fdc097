#include "member_ranges.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "vorn/os.h"

namespace vorn {

std::atomic<bool> gRangeMarks[kRangeMarks];

namespace {

struct RangeTable {
    std::mutex mutex;
    std::unordered_map<const VnMemberDescriptor*, VnMemberRange> ranges;
};

RangeTable& Ranges() {
    static RangeTable* table = new RangeTable;  // never destroyed: classes outlive the runtime
    return *table;
}

const VnMemberDescriptor* OwnMember(const VnTypeInfo* type, const char* name) {
    for (const VnMemberDescriptor* d = type->members; !VnIsEndOfMembers(d); ++d)
        if (std::strcmp(d->name, name) == 0) return d;
    return nullptr;
}

bool IsNumber(uint32_t type) { return type == kVnLong || type == kVnFloat || type == kVnDouble; }

double NumberOf(const VnMemberDescriptor* m, const void* value) {
    switch (m->type) {
        case kVnLong:
            return *static_cast<const int32_t*>(value);
        case kVnFloat:
            return *static_cast<const float*>(value);
        default:
            return *static_cast<const double*>(value);
    }
}

double ChoiceNumber(const VnMemberDescriptor* m, const VnChoice& c) {
    switch (m->type) {
        case kVnLong:
            return c.value.i32;
        case kVnFloat:
            return c.value.f32;
        default:
            return c.value.f64;
    }
}

// A number as a person writes it: no trailing zeros, no exponent for everyday sizes.
std::string Text(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

bool IsChoice(const VnMemberDescriptor* m, const void* value) {
    const auto* table = static_cast<const VnChoice*>(m->extra);
    if (m->editflags & kVnEditExclusive) {
        for (const VnChoice* c = table; c->name; ++c)
            if (ChoiceNumber(m, *c) == NumberOf(m, value)) return true;
        return false;
    }
    if (m->type != kVnLong) return true;  // bits are only read from whole numbers
    uint32_t known = 0;
    for (const VnChoice* c = table; c->name; ++c) known |= static_cast<uint32_t>(c->value.i32);
    return (static_cast<uint32_t>(*static_cast<const int32_t*>(value)) & ~known) == 0;
}

bool HasChoices(const VnMemberDescriptor* m) {
    return m->extra && m->type != kVnROTReference && IsNumber(m->type);
}

}  // namespace

bool CheckMemberValue(const VnMemberDescriptor* m, const void* value, std::string* why) {
    if (!m || !value || !IsNumber(m->type)) return true;
    const double v = NumberOf(m, value);
    VnMemberRange range{};
    // NaN lies in no range, so it is refused too
    if (VnGetMemberRange(m, &range) && !(v >= range.minimum && v <= range.maximum)) {
        if (why)
            *why = std::string(m->name) + " takes " + Text(range.minimum) + " to " +
                   Text(range.maximum) + ", not " + Text(v);
        return false;
    }
    if (HasChoices(m) && !IsChoice(m, value)) {
        if (why)
            *why = Text(v) + " is no choice of " + m->name +
                   ((m->editflags & kVnEditExclusive) ? "" : " (unknown bits)");
        return false;
    }
    return true;
}

}  // namespace vorn

bool VnSetMemberRanges(const VnTypeInfo* type, const VnMemberRange* table) {
    if (!type || !table) return false;
    bool all = true;
    auto& ranges = vorn::Ranges();
    std::lock_guard<std::mutex> lock(ranges.mutex);
    for (const VnMemberRange* r = table; r->name; ++r) {
        const VnMemberDescriptor* d = vorn::OwnMember(type, r->name);
        if (!d || !vorn::IsNumber(d->type) || !(r->minimum <= r->maximum)) {
            VnOS->SetError(-1, type->clsid, "No range for '%s': not a numeric member, or empty",
                           r->name);
            all = false;
            continue;
        }
        ranges.ranges[d] = VnMemberRange{d->name, r->minimum, r->maximum, r->step};
        vorn::gRangeMarks[vorn::RangeMarkOf(d)].store(true, std::memory_order_release);
    }
    return all;
}

bool VnGetMemberRange(const VnMemberDescriptor* member, VnMemberRange* out) {
    if (!vorn::MayHaveRange(member)) return false;
    auto& ranges = vorn::Ranges();
    std::lock_guard<std::mutex> lock(ranges.mutex);
    auto it = ranges.ranges.find(member);
    if (it == ranges.ranges.end()) return false;
    if (out) *out = it->second;
    return true;
}

bool VnCheckMemberValue(const VnMemberDescriptor* member, const void* value, char* why,
                        std::size_t capacity) {
    std::string reason;
    if (vorn::CheckMemberValue(member, value, &reason)) return true;
    if (why && capacity > 0) std::snprintf(why, capacity, "%s", reason.c_str());
    return false;
}
