// Member look-up by name and value text, each beside a plain baseline measured in the same run.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/value_text.h"
#include "vorn/os.h"

namespace {

constexpr long kCalls = 1000000;
volatile uintptr_t gSink;

template <class Fn>
double NsPerCall(Fn&& fn) {
    for (long i = 0; i < kCalls / 10; ++i) fn(i);  // warm caches and the runtime's name index
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < kCalls; ++i) fn(i);
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kCalls;
}

// A type with two bases, 14 + 13 + 13 members; names live in `names`.
struct Chain {
    std::vector<std::string> names;
    std::vector<VnMemberDescriptor> tables[3];
    VnTypeInfo types[3];
    VnCLSID ids[3];
};

void BuildChain(Chain& c) {
    const char* prefixes[] = {"own", "mid", "basic"};
    const int counts[] = {14, 13, 13};
    c.names.reserve(40);
    for (int level = 0; level < 3; ++level) {
        for (int i = 0; i < counts[level]; ++i)
            c.names.push_back(std::string(prefixes[level]) + "_member_" + std::to_string(i));
    }
    std::size_t next = 0;
    for (int level = 0; level < 3; ++level) {
        for (int i = 0; i < counts[level]; ++i) {
            c.tables[level].push_back({c.names[next++].c_str(),
                                       kVnLong,
                                       4 * i,
                                       4,
                                       nullptr,
                                       "",
                                       kVnEditable,
                                       nullptr,
                                       {}});
        }
        c.tables[level].push_back({});
        c.ids[level] = VnMakeCLSID("bench", prefixes[level], 1);
    }
    for (int level = 2; level >= 0; --level) {
        c.types[level] = {&c.ids[level],     prefixes[level],
                          nullptr,           c.tables[level].data(),
                          nullptr,           level < 2 ? &c.types[level + 1] : nullptr,
                          level < 2 ? 64 : 0};
    }
}

const VnMemberDescriptor* LinearFind(const char* name, const VnTypeInfo* type,
                                     intptr_t* adjustment) {
    intptr_t part = 0;
    for (const VnTypeInfo* t = type; t; t = t->base) {
        for (const VnMemberDescriptor* d = t->members; !VnIsEndOfMembers(d); ++d) {
            if (std::strcmp(d->name, name) == 0) {
                *adjustment = part;
                return d;
            }
        }
        part += t->baseOffset;
    }
    return nullptr;
}

struct Record {
    int32_t count = -123456;
    float ratio = 3.14159f;
    double scale = 271828.18284;
    unsigned char enabled = 1;
    char tag[16] = "inline text";
    const char* note = "runtime text";
    int64_t when = 133536879070890000;
    const char* source = "res:/scenes/bench.scene";
};

}  // namespace

int main() {
    Chain chain;
    BuildChain(chain);
    const char* lookups[] = {"own_member_0",  "own_member_9",   "mid_member_4",
                             "mid_member_12", "basic_member_6", "basic_member_12"};
    const int lookupCount = sizeof lookups / sizeof lookups[0];
    const VnTypeInfo* type = &chain.types[0];

    const double found = NsPerCall([&](long i) {
        intptr_t adjustment = 0;
        gSink = gSink + reinterpret_cast<uintptr_t>(
                            VnOS->FindMember(lookups[i % lookupCount], type, &adjustment));
    });
    const double scanned = NsPerCall([&](long i) {
        intptr_t adjustment = 0;
        gSink = gSink + reinterpret_cast<uintptr_t>(
                            LinearFind(lookups[i % lookupCount], type, &adjustment));
    });
    std::printf(
        "FindMember (3 levels, 40 members): %.1f ns/call; linear scan baseline: %.1f ns/call\n",
        found, scanned);

    char buffer[512];
    const double printed = NsPerCall([&](long i) {
        gSink = gSink + static_cast<uintptr_t>(
                            std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(i)));
    });

    Record r;
    struct Case {
        uint32_t type;
        void* storage;
        int32_t size;
    } cases[] = {{kVnLong, &r.count, 4},   {kVnFloat, &r.ratio, 4},
                 {kVnDouble, &r.scale, 8}, {kVnBool, &r.enabled, 1},
                 {kVnObject, &r, 8},       {kVnObjectRef, &r.note, 8},
                 {kVnString, r.tag, 16},   {kVnVornString, &r.note, 8},
                 {kVnTime, &r.when, 8},    {kVnROTReference, &r.source, 8}};
    for (const Case& c : cases) {
        const VnMemberDescriptor d{"m", c.type, 0, c.size, nullptr, "", 0, nullptr, {}};
        const mw::MemberValue v{&d, c.storage};
        const double shown = NsPerCall([&](long) {
            gSink = gSink + reinterpret_cast<uintptr_t>(mw::ValueToText(v, buffer, sizeof buffer));
        });
        std::printf(
            "ValueToText %s (type %u): %.1f ns/call; snprintf(\"%%d\") baseline: %.1f ns/call\n",
            mw::TypeName(c.type), c.type, shown, printed);
    }
    return 0;
}
