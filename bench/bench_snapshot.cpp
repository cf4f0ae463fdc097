// What a snapshot costs: taking one of a world of 100,000 objects with five members each (its
// time and the memory it holds a member), and comparing the world with it, each beside writing
// the same subtree as a branch file in the same run.
#include <malloc.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_env.h"
#include "editors/snapshot.h"
#include "vorn/branch.h"
#include "vorn/object.h"
#include "vorn/pyos.h"

namespace {

constexpr int kObjects = 100000;
constexpr int kMembers = 5;
constexpr int kChanged = 1000;
const VnCLSID kItemClass = VnMakeCLSID("bench", "Item", 1);

// A small runtime object with five members of the common kinds.
class Item final : public VnObject<IRoot> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    ~Item() override { VnOS->Free(label); }

    float weight = 0.5f;
    double height = 1.25;
    int32_t count = 3;
    bool visible = true;
    char* label = nullptr;
};

VnMemberDescriptor gItemMembers[] = {
    {"weight", kVnFloat, 0, sizeof(float), nullptr, "a float", kVnEditable, nullptr, {}},
    {"height", kVnDouble, 0, sizeof(double), nullptr, "a double", kVnEditable, nullptr, {}},
    {"count", kVnLong, 0, sizeof(int32_t), nullptr, "a whole number", kVnEditable, nullptr, {}},
    {"visible", kVnBool, 0, 1, nullptr, "a flag", kVnEditable, nullptr, {}},
    {"label", kVnVornString, 0, sizeof(char*), nullptr, "a text", kVnEditable, nullptr, {}},
    {},
};

const VnTypeInfo* Item::Type() {
    static const VnTypeInfo type = {
        &kItemClass, "benchmark item", Interfaces(), gItemMembers, nullptr, nullptr, 0};
    return &type;
}

void FillItemOffsets() {
    Item probe;
    const char* start = reinterpret_cast<const char*>(&probe);
    auto at = [start](const void* member) {
        return static_cast<int32_t>(static_cast<const char*>(member) - start);
    };
    gItemMembers[0].offset = at(&probe.weight);
    gItemMembers[1].offset = at(&probe.height);
    gItemMembers[2].offset = at(&probe.count);
    gItemMembers[3].offset = at(&probe.visible);
    gItemMembers[4].offset = at(&probe.label);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

VnRef<IList> MakeWorld() {
    void* made = nullptr;
    if (!VnOS->CreateInstance(VnMakeCLSID("vorn", "List", -1), IID_IRoot, &made)) return {};
    VnRef<IList> world = VnQuery<IList>(static_cast<IRoot*>(made), 1);
    static_cast<IRoot*>(made)->Release();
    for (int i = 0; i < kObjects && world; ++i) {
        auto* item = new Item();
        item->label = static_cast<char*>(VnOS->Alloc(16));
        std::snprintf(item->label, 16, "item %d", i);
        world->AddItem(-1, item->Root());
        item->Root()->Release();
    }
    return world;
}

// Writing the subtree as a branch file: its text, then the file.
double WriteBranchFile(IRoot* root, const QString& path) {
    const auto started = std::chrono::steady_clock::now();
    std::size_t size = 0;
    char* text = VnBranchText(root, &size);
    std::FILE* file = text ? std::fopen(path.toUtf8().constData(), "wb") : nullptr;
    const bool written = file && std::fwrite(text, 1, size, file) == size;
    if (file) std::fclose(file);
    VnOS->Free(text);
    return written ? Seconds(started) : -1;
}

int Measure(const QTemporaryDir& dir) {
    VnRef<IList> world = MakeWorld();
    if (!world) return 1;
    const double members = double(kObjects) * kMembers;
    const std::size_t before = HeapInUse();
    auto started = std::chrono::steady_clock::now();
    QString why;
    std::shared_ptr<TSnapshot> snapshot = TSnapshot::Take(world.get(), "world", &why);
    const double take = Seconds(started);
    const std::size_t held = HeapInUse() - before;
    const double write = WriteBranchFile(world.get(), dir.filePath("world.vorn"));
    if (!snapshot || write < 0) {
        std::fprintf(stderr, "bench_snapshot: %s\n", qPrintable(why));
        return 1;
    }
    std::printf(
        "snapshot of %d objects x %d members: %.3f s, %.0f bytes a member; "
        "writing the same branch file %.3f s\n",
        kObjects, kMembers, take, double(held) / members, write);
    for (int i = 0; i < kChanged; ++i)
        static_cast<Item*>(world->GetItem(i * (kObjects / kChanged)))->weight = 2.0f;
    started = std::chrono::steady_clock::now();
    const std::size_t rows = snapshot->Compare().size();
    const double compare = Seconds(started);
    std::printf(
        "compare of %d objects x %d members (%zu changed): %.3f s; "
        "writing the same branch file %.3f s\n",
        kObjects, kMembers, rows, compare,
        WriteBranchFile(world.get(), dir.filePath("again.vorn")));
    return rows == std::size_t(kChanged) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    UseTemporaryHome(dir);
    QCoreApplication app(argc, argv);
    int status = 1;
    if (!VnOS->IsStarted()) {
        std::fprintf(stderr, "bench_snapshot: the runtime did not start\n");
        return 1;
    }
    FillItemOffsets();
    if (VnOS->RegisterClass({Item::Type(), [] { return (new Item())->Root(); }}))
        status = Measure(dir);
    std::fflush(stdout);
    VnOS->Shutdown();
    return status;
}
