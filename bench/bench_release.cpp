// What an object's release costs now that releases never nest: a lone object through Release
// beside the same object deleted directly, and a list whose items wait in the destruction queue
// beside the same list emptied first (each item then destroyed at once), in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime_home.h"
#include "vorn/object.h"
#include "vorn/ref.h"

namespace {

constexpr long kRounds = 200000;
constexpr int kItems = 100;

const VnCLSID kBitClass = VnMakeCLSID("bench", "Bit", 1);
const VnMemberDescriptor kNoMembers[] = {{}};
const VnTypeInfo kBitType = {
    &kBitClass, "A small object", VnObject<IRoot>::Interfaces(), kNoMembers, nullptr, nullptr, 0};

class Bit final : public VnObject<IRoot> {
public:
    const VnTypeInfo* GetTypeInfo() override { return &kBitType; }
};

template <class Fn>
double NsPerRound(Fn&& fn) {
    for (long i = 0; i < kRounds / 10; ++i) fn();
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < kRounds; ++i) fn();
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kRounds;
}

VnRef<IList> FilledList() {
    VnRef<IList> list;
    VnOS->CreateInstance(VnMakeCLSID("vorn", "List", -1), IID_IList, list.out());
    for (int i = 0; i < kItems; ++i) {
        VnRef<IRoot> bit = VnRef<IRoot>::Adopt((new Bit)->Root());
        list->AddItem(-1, bit.get());
    }
    return list;
}

}  // namespace

int main() {
    if (!UseTemporaryHome("bench_release") || !VnOS->IsStarted()) return 1;
    double lone = NsPerRound([] { (new Bit)->Release(); });
    double direct = NsPerRound([] { delete new Bit; });
    std::printf("create and release one object: %.1f ns (deleted directly: %.1f ns)\n", lone,
                direct);
    double queued = NsPerRound([] { FilledList(); });
    double emptied = NsPerRound([] { FilledList()->RemoveItem(-1); });
    std::printf(
        "fill and release a list of %d objects: %.0f ns (emptied before it goes: %.0f ns)\n",
        kItems, queued, emptied);
    VnOS->Shutdown();
    return 0;
}
