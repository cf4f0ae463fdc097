// The branch file loader on arbitrary bytes: it must refuse or load, never crash or leak.
// FUZZ_BRANCH_VERBOSE=1 prints why each input was refused (to check the seed files).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "branch_file.h"
#include "vorn/members.h"
#include "vorn/object.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace {

const VnCLSID kPieceClass = VnMakeCLSID("fuzz", "Piece", 1);
const VnCLSID kHolderClass = VnMakeCLSID("fuzz", "Holder", 1);

VnMemberDescriptor gPieceMembers[11];
VnMemberDescriptor gHolderMembers[4];
const VnTypeInfo gPieceType = {&kPieceClass,
                               "A member of every stored type",
                               VnObject<IRoot>::Interfaces(),
                               gPieceMembers,
                               nullptr,
                               nullptr,
                               0};
const VnTypeInfo gHolderType = {&kHolderClass,
                                "Embeds a piece and refers to a list",
                                VnObject<INotify>::Interfaces(),
                                gHolderMembers,
                                nullptr,
                                nullptr,
                                0};

class Piece final : public VnObject<IRoot> {
public:
    ~Piece() override {
        if (other) other->Release();
        VnOS->Free(note);
        VnOS->Free(source);
        Py_XDECREF(script);
    }
    const VnTypeInfo* GetTypeInfo() override { return &gPieceType; }

    int32_t count = 0;
    float ratio = 0;
    double weight = 0;
    uint8_t flag = 0;
    IRoot* other = nullptr;
    char label[8] = {};
    char* note = nullptr;
    int64_t stamp = 0;
    char* source = nullptr;
    PyObject* script = nullptr;
};

class Holder final : public VnObject<INotify> {
public:
    Holder() { part.SetOuter(Root()); }
    ~Holder() override {
        if (list) list->Release();
        VnOS->Free(name);
    }
    const VnTypeInfo* GetTypeInfo() override { return &gHolderType; }
    bool MemberChanged(void*) override { return true; }

    Piece part;
    IRoot* list = nullptr;
    char* name = nullptr;
};

VnMemberDescriptor Member(const char* name, uint32_t type, const void* object, const void* field,
                          size_t size, const VnIID* iid = nullptr, uint32_t flags = kVnEditable) {
    VnMemberDescriptor d{};
    d.name = name;
    d.type = type;
    d.offset =
        static_cast<int32_t>(static_cast<const char*>(field) - static_cast<const char*>(object));
    d.size = static_cast<int32_t>(size);
    d.iid = iid;
    d.description = name;
    d.editflags = flags;
    return d;
}

void DescribeClasses() {
    Piece p;
    int i = 0;
    gPieceMembers[i++] = Member("count", kVnLong, &p, &p.count, sizeof p.count);
    gPieceMembers[i++] = Member("ratio", kVnFloat, &p, &p.ratio, sizeof p.ratio);
    gPieceMembers[i++] = Member("weight", kVnDouble, &p, &p.weight, sizeof p.weight);
    gPieceMembers[i++] = Member("flag", kVnBool, &p, &p.flag, sizeof p.flag);
    gPieceMembers[i++] = Member("other", kVnObjectRef, &p, &p.other, sizeof p.other);
    gPieceMembers[i++] = Member("label", kVnString, &p, p.label, sizeof p.label);
    gPieceMembers[i++] = Member("note", kVnVornString, &p, &p.note, sizeof p.note);
    gPieceMembers[i++] = Member("stamp", kVnTime, &p, &p.stamp, sizeof p.stamp);
    gPieceMembers[i++] = Member("source", kVnROTReference, &p, &p.source, sizeof p.source);
    gPieceMembers[i++] = Member("script", kVnPythonRef, &p, &p.script, sizeof p.script);

    Holder h;
    i = 0;
    gHolderMembers[i++] = Member("part", kVnObject, &h, &h.part, sizeof h.part);
    gHolderMembers[i++] = Member("list", kVnObjectRef, &h, &h.list, sizeof h.list, &IID_IList);
    gHolderMembers[i++] = Member("name", kVnVornString, &h, &h.name, sizeof h.name, nullptr,
                                 kVnEditable | kVnEditNotify);
}

std::string Folder(const std::string& base, const char* name) {
    std::string path = base + "/" + name + "/";
    mkdir(path.c_str(), 0700);
    return path;
}

bool Start() {
    char base[] = "/tmp/fuzz_branch.XXXXXX";
    if (!mkdtemp(base)) return false;
    setenv("VORN_SETTINGS", (std::string(base) + "/settings.json").c_str(), 1);
    setenv("VORN_RESDIR", Folder(base, "res").c_str(), 1);
    setenv("VORN_MACRODIR", Folder(base, "macros").c_str(), 1);
    setenv("VORN_BASEDIR", Folder(base, "base").c_str(), 1);
    setenv("XDG_CONFIG_HOME", Folder(base, "config").c_str(), 1);
    setenv("XDG_DATA_HOME", Folder(base, "data").c_str(), 1);
    if (!VnOS->IsStarted()) return false;
    DescribeClasses();
    VnOS->RegisterClass({&gPieceType, [] { return (new Piece)->Root(); }});
    VnOS->RegisterClass({&gHolderType, [] { return (new Holder)->Root(); }});
    VnOS->SetError(0, nullptr, nullptr);
    return true;
}

IRoot* Identity(IRoot* object) {
    VnRef<IRoot> root = VnQuery<IRoot>(object);
    return root.get();
}

// Drops the references and list items of every loaded object, so that cycles the input made
// do not outlive it. Objects of the table (and static ones) are left as they are.
void Dismantle(IRoot* root) {
    std::vector<VnRef<IRoot>> found;
    std::vector<IRoot*> pending{root};
    while (!pending.empty()) {
        IRoot* object = Identity(pending.back());
        pending.pop_back();
        if (!object || object->IsStatic() == 1 || VnROT->EntryOf(object)) continue;
        bool known = false;
        for (auto& f : found) known = known || f.get() == object;
        if (known) continue;
        found.emplace_back(object);
        // a loaded root may be an embedded piece: its owner belongs to the graph too
        if (object->GetTypeInfo() == &gPieceType)
            pending.push_back(static_cast<Piece*>(object)->Outer());
        VnForEachMember(object, [&](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
            if (d->type == kVnObject) pending.push_back(static_cast<IRoot*>(storage));
            if (d->type == kVnObjectRef) pending.push_back(*static_cast<IRoot**>(storage));
            return true;
        });
        if (VnRef<IList> list = VnQuery<IList>(object))
            for (int i = 0; i < list->GetCount(); ++i) pending.push_back(list->GetItem(i));
    }
    for (auto& object : found) {
        VnForEachMember(object.get(),
                        [](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
                            if (d->type != kVnObjectRef) return true;
                            auto** slot = static_cast<IRoot**>(storage);
                            if (IRoot* held = *slot) {
                                *slot = nullptr;
                                held->Release();
                            }
                            return true;
                        });
        if (VnRef<IList> list = VnQuery<IList>(object.get()))
            if (list->GetCount() > 0) list->RemoveItem(-1);
    }
}

}  // namespace

// The runtime starts an embedded interpreter that is never torn down; only its blocks are
// excused from the leak check at exit, so leaks of loaded objects are still reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpython3\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    static const bool verbose = std::getenv("FUZZ_BRANCH_VERBOSE") != nullptr;
    if (!started) std::abort();
    std::string why;
    IRoot* loaded =
        vorn::LoadBranch(std::string_view(reinterpret_cast<const char*>(data), size), &why);
    if (loaded) {
        Dismantle(loaded);
        loaded->Release();
    } else if (verbose) {
        std::fprintf(stderr, "refused: %s\n", why.c_str());
    }
    VnOS->SetError(0, nullptr, nullptr);
    return 0;
}
