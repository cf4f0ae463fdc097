#include "rot_table.h"

#include <sys/stat.h>

#include "atomic_file.h"
#include "branch_file.h"
#include "class_registry.h"
#include "moniker.h"
#include "object_util.h"
#include "runtime.h"
#include "vorn/ref.h"

namespace vorn {

struct RotTable::Entry {
    Moniker moniker;
    std::string text;
    VnROTEntry entry;
    IRoot* object;  // the object's identity, holding one reference
};

namespace {
const VnCLSID kRotClass = VnMakeCLSID("vorn", "Rot", 1);
const VnMemberDescriptor kNoMembers[] = {{}};

}  // namespace

const VnCLSID& RotTable::ClassId() { return kRotClass; }

const VnTypeInfo* RotTable::Type() {
    static const VnTypeInfo type = {&kRotClass,
                                    "The running object table: objects by moniker",
                                    Interfaces(),
                                    kNoMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

RotTable::RotTable() = default;

RotTable::~RotTable() { RevokeAll(); }

void RotTable::RevokeAll() {
    // Release in reverse order of registration; an object's release may revoke others.
    while (!mEntries.empty()) {
        std::unique_ptr<Entry> last = std::move(mEntries.back());
        mEntries.pop_back();
        last->object->Release();
    }
}

RotTable::Entry* RotTable::Find(const std::string& moniker) {
    for (auto& e : mEntries)
        if (e->text == moniker) return e.get();
    return nullptr;
}

bool RotTable::Register(const char* moniker, IRoot* object) {
    Runtime& rt = TheRuntime();
    Moniker m;
    std::string why;
    if (!moniker || !ParseMoniker(moniker, &m, &why)) {
        rt.Fail(moniker ? why : "Register: no moniker given");
        return false;
    }
    if (!object) {
        rt.Fail("Register: no object given for " + m.Text());
        return false;
    }
    if (Find(m.Text())) {
        rt.Fail("The moniker " + m.Text() + " is already registered");
        return false;
    }
    auto e = std::make_unique<Entry>();
    e->moniker = m;
    e->text = m.Text();
    e->object = Identity(object);
    e->object->AddRef();
    e->entry = {e->moniker.scheme.c_str(), e->moniker.name.c_str(), e->moniker.ext.c_str(),
                e->object};
    mEntries.push_back(std::move(e));
    return true;
}

bool RotTable::Revoke(const char* moniker) {
    Moniker m;
    std::string why;
    if (!moniker || !ParseMoniker(moniker, &m, &why)) {
        TheRuntime().Fail(moniker ? why : "Revoke: no moniker given");
        return false;
    }
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it) {
        if ((*it)->text != m.Text()) continue;
        std::unique_ptr<Entry> gone = std::move(*it);
        mEntries.erase(it);
        gone->object->Release();
        return true;
    }
    TheRuntime().Fail("No object is registered as " + m.Text());
    return false;
}

const VnROTEntry* RotTable::EntryOf(IRoot* object) {
    if (!object) return nullptr;
    IRoot* identity = Identity(object);
    for (auto& e : mEntries)
        if (e->object == identity) return &e->entry;
    return nullptr;
}

bool RotTable::CheckAndAnswer(IRoot* object, const char* moniker, const VnCLSID* clsid,
                              const VnIID& iid, void** out, int flag) {
    const VnTypeInfo* t = object->GetTypeInfo();
    if (clsid && !VnCLSIDIsNone(*clsid) && !(t && t->clsid && VnCLSIDMatches(*clsid, *t->clsid))) {
        TheRuntime().Fail(std::string(moniker) + " is an object of class " + ClassOf(object) +
                          ", not " + ClassIdText(*clsid));
        return false;
    }
    return object->QueryInterface(iid, out, flag == 1 ? 1 : 0);
}

IRoot* RotTable::LoadFromFile(const std::string& moniker) {
    Runtime& rt = TheRuntime();
    Moniker m;
    std::string why, path, text;
    if (!ParseMoniker(moniker, &m, &why) ||
        !MonikerToPath(m, rt.Paths().Get(kVnPathResource), &path, &why) ||
        !ReadRegularFile(path, kBranchFileLimit, &text, &why)) {
        rt.Fail(why);
        return nullptr;
    }
    IRoot* loaded = LoadBranch(text, &why);
    if (!loaded) {
        rt.Fail("Cannot load " + moniker + ": " + why);
        return nullptr;
    }
    bool registered = Register(moniker.c_str(), loaded);
    IRoot* identity = Identity(loaded);
    loaded->Release();  // the table keeps it, when it could be registered
    return registered ? identity : nullptr;
}

bool RotTable::GetObject(const char* moniker, const VnCLSID* clsid, const VnIID& iid, void** out,
                         int flag) {
    if (!out) return false;
    *out = nullptr;
    Moniker m;
    std::string why;
    if (!moniker || !ParseMoniker(moniker, &m, &why)) {
        TheRuntime().Fail(moniker ? why : "GetObject: no moniker given");
        return false;
    }
    std::string text = m.Text();
    Entry* e = Find(text);
    IRoot* object = e ? e->object : nullptr;
    if (!object && (m.scheme == "res:" || m.scheme == "file:")) object = LoadFromFile(text);
    if (!object) {
        if (!e && m.scheme != "res:" && m.scheme != "file:")
            TheRuntime().Fail("No object is registered as " + text);
        return false;
    }
    return CheckAndAnswer(object, text.c_str(), clsid, iid, out, flag);
}

bool RotTable::PathToMoniker(const char* path, char** moniker) {
    if (!moniker) return false;
    *moniker = nullptr;
    Runtime& rt = TheRuntime();
    std::string text, why;
    if (!path || !PathToMonikerText(path, rt.Paths().Get(kVnPathResource), &text, &why)) {
        rt.Fail(path ? why : "PathToMoniker: no path given");
        return false;
    }
    *moniker = rt.Heap().Dup(text.c_str());
    return *moniker != nullptr;
}

bool RotTable::Branch(IRoot* object, IRoot** out, const char* moniker, int /*flags*/) {
    if (out) *out = nullptr;
    Runtime& rt = TheRuntime();
    Moniker m;
    std::string why, path, json, leftOut;
    if (!object) {
        rt.Fail("Branch: no object given");
        return false;
    }
    if (!moniker || !ParseMoniker(moniker, &m, &why) ||
        !MonikerToPath(m, rt.Paths().Get(kVnPathResource), &path, &why)) {
        rt.Fail(moniker ? why : "Branch: no moniker given");
        return false;
    }
    if (!WriteBranch(object, &json, &why, &leftOut)) {
        rt.Fail("Cannot branch to " + m.Text() + ": " + why);
        return false;
    }
    if (json.size() > kBranchFileLimit) {
        rt.Fail("Cannot branch to " + m.Text() + ": it takes " + std::to_string(json.size()) +
                " bytes, more than the " + std::to_string(kBranchFileLimit >> 20) +
                " MB a branch file may hold");
        return false;
    }
    // the old file is replaced only by one that has been read back from disk and loaded
    VnRef<IRoot> copy;
    std::string loadWhy;
    auto loadsBack = [&](const std::string& temporary, std::string* reason) {
        std::string text;
        if (!ReadRegularFile(temporary, kBranchFileLimit, &text, reason)) return false;
        copy = VnRef<IRoot>::Adopt(LoadBranch(text, &loadWhy));
        if (!copy) *reason = loadWhy;
        return static_cast<bool>(copy);
    };
    struct stat old {};
    const bool existed = stat(path.c_str(), &old) == 0;
    if (!WriteFileAtomically(path, json, &why, loadsBack)) {
        if (!copy && !loadWhy.empty())
            rt.Fail("Cannot branch to " + m.Text() + ": the written copy does not load back (" +
                    loadWhy + "); " + (existed ? path + " is left as it was" : "no file is made"));
        else
            rt.Fail("Cannot branch to " + m.Text() + ": " + why);
        return false;
    }
    // the name now stands for what was just written
    if (Find(m.Text())) Revoke(m.Text().c_str());
    if (!Register(m.Text().c_str(), copy.get())) return false;
    if (out) *out = copy.detach();
    // the branch is written; what it left out is the pending error, for the error log
    if (!leftOut.empty()) {
        leftOut.pop_back();  // the last line's end
        rt.Fail("Branched to " + m.Text() + " without these Python values:\n" + leftOut);
    }
    return true;
}

int RotTable::GetCount() { return static_cast<int>(mEntries.size()); }

bool RotTable::GetElementType(VnElementType* out) {
    if (!out) return false;
    *out = VnElementType{VORNCLSID_NONE, VnIID{}};
    return true;
}

bool RotTable::AddItem(int, IRoot*) {
    TheRuntime().Fail("The running object table is filled by registration; items cannot be added");
    return false;
}

void RotTable::RemoveItem(int) {
    TheRuntime().Fail("Objects leave the running object table only when they are revoked");
}

IRoot* RotTable::GetItem(int position) {
    if (position < 0 || position >= GetCount()) {
        TheRuntime().Fail("Position " + std::to_string(position) + " is out of range");
        return nullptr;
    }
    return mEntries[static_cast<size_t>(position)]->object;
}

void RotTable::MoveItem(int from, int to) {
    int n = GetCount();
    if (from < 0 || from >= n || to < 0 || to >= n) {
        TheRuntime().Fail("Cannot move item " + std::to_string(from) + " to " + std::to_string(to) +
                          ": the table has " + std::to_string(n) + " entries");
        return;
    }
    auto moved = std::move(mEntries[static_cast<size_t>(from)]);
    mEntries.erase(mEntries.begin() + from);
    mEntries.insert(mEntries.begin() + to, std::move(moved));
}

}  // namespace vorn
