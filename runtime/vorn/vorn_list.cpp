#include "vorn_list.h"

#include <algorithm>

#include "class_registry.h"
#include "object_util.h"
#include "runtime.h"

namespace vorn {

namespace {
const VnCLSID kListClass = VnMakeCLSID("vorn", "List", 1);
const VnMemberDescriptor kListMembers[] = {
    {"name",
     kVnVornString,
     0,
     sizeof(char*),
     nullptr,
     "Name of the list",
     kVnEditable,
     nullptr,
     {}},
    {},
};

std::string Range(int count) { return "0 to " + std::to_string(count - 1); }

// Keeps the list alive while an item's release runs code that may drop the last reference.
class Guard {
public:
    explicit Guard(IRoot* self) : mSelf(self) { mSelf->AddRef(); }
    ~Guard() { mSelf->Release(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    IRoot* mSelf;
};
}  // namespace

const VnCLSID& VornList::ClassId() { return kListClass; }

const VnTypeInfo* VornList::Type() {
    // the name member lives at the list's own offset of mName
    static VnMemberDescriptor members[2] = {kListMembers[0], kListMembers[1]};
    static const VnTypeInfo type = {
        &kListClass, "An ordered list of objects", Interfaces(), members, nullptr, nullptr, 0};
    return &type;
}

void VornList::RegisterClass() {
    VornList probe;
    auto* members = const_cast<VnMemberDescriptor*>(Type()->members);
    members[0].offset = static_cast<int32_t>(reinterpret_cast<char*>(&probe.mName) -
                                             reinterpret_cast<char*>(&probe));
    TheRuntime().Classes().Register({Type(), [] { return (new VornList())->Root(); }});
}

VornList::VornList(const VnCLSID& elementClass, const VnIID* elementInterface) {
    SetElementType(elementClass, elementInterface);
}

VornList::~VornList() {
    std::vector<IRoot*> items;
    items.swap(mItems);
    for (IRoot* item : items) item->Release();
    TheRuntime().Heap().Free(mName);
}

void VornList::SetElementType(const VnCLSID& elementClass, const VnIID* elementInterface) {
    mElement.clsid = elementClass;
    mElement.iid = elementInterface ? *elementInterface : VnIID{};
}

int VornList::GetCount() { return static_cast<int>(mItems.size()); }

bool VornList::GetElementType(VnElementType* out) {
    if (!out) return false;
    *out = mElement;
    return true;
}

bool VornList::Accepts(IRoot* item) {
    Runtime& rt = TheRuntime();
    void* identity = nullptr;
    void* mine = nullptr;
    item->QueryInterface(IID_IRoot, &identity, 1);
    QueryInterface(IID_IRoot, &mine, 1);
    bool self = identity && identity == mine;
    if (identity) static_cast<IRoot*>(identity)->Release();
    if (mine) static_cast<IRoot*>(mine)->Release();
    if (self) {
        rt.Fail("A list cannot hold itself");
        return false;
    }
    const VnTypeInfo* t = item->GetTypeInfo();
    if (!VnCLSIDIsNone(mElement.clsid) &&
        !(t && t->clsid && VnCLSIDMatches(mElement.clsid, *t->clsid))) {
        rt.Fail("A list of " + ClassIdText(mElement.clsid) + " cannot hold an object of class " +
                ClassOf(item));
        return false;
    }
    if (mElement.iid.name[0]) {
        void* iface = nullptr;
        if (!item->QueryInterface(mElement.iid, &iface, 0)) return false;
        static_cast<IRoot*>(iface)->Release();
    }
    return true;
}

bool VornList::AddItem(int position, IRoot* item) {
    Runtime& rt = TheRuntime();
    int count = GetCount();
    if (position < -1 || position > count) {
        rt.Fail("Cannot add an item at position " + std::to_string(position) + ": the list has " +
                std::to_string(count) + " items");
        return false;
    }
    IRoot* added = nullptr;
    if (!item) {
        if (VnCLSIDIsNone(mElement.clsid)) {
            rt.Fail("This list has no element class, so it cannot make a new item");
            return false;
        }
        void* made = nullptr;
        if (!rt.CreateInstance(mElement.clsid, IID_IRoot, &made)) return false;
        added = static_cast<IRoot*>(made);
        if (!Accepts(added)) {
            added->Release();
            return false;
        }
    } else {
        if (!Accepts(item)) return false;
        added = item;
        added->AddRef();
    }
    mItems.insert(position == -1 ? mItems.end() : mItems.begin() + position, added);
    NotifyChange();
    return true;
}

void VornList::RemoveItem(int position) {
    int count = GetCount();
    if (position < -1 || position >= count) {
        TheRuntime().Fail("Cannot remove item " + std::to_string(position) + ": the list has " +
                          std::to_string(count) + " items");
        return;
    }
    Guard guard(Root());
    std::vector<IRoot*> gone;
    if (position == -1) {
        gone.swap(mItems);
    } else {
        gone.push_back(mItems[static_cast<size_t>(position)]);
        mItems.erase(mItems.begin() + position);
    }
    for (IRoot* item : gone) item->Release();
    NotifyChange();
}

IRoot* VornList::GetItem(int position) {
    if (position < 0 || position >= GetCount()) {
        TheRuntime().Fail("No item at position " + std::to_string(position) + " (range " +
                          Range(GetCount()) + ")");
        return nullptr;
    }
    return mItems[static_cast<size_t>(position)];
}

void VornList::MoveItem(int from, int to) {
    int count = GetCount();
    if (from < 0 || from >= count || to < 0 || to >= count) {
        TheRuntime().Fail("Cannot move item " + std::to_string(from) + " to " + std::to_string(to) +
                          ": the list has " + std::to_string(count) + " items");
        return;
    }
    auto first = mItems.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    NotifyChange();
}

bool VornList::MemberChanged(void* member) {
    if (member == &mName) return true;
    TheRuntime().Fail("MemberChanged: the address is not a member of this list");
    return false;
}

void VornList::NotifyChange() {
    if (mChanged) mChanged();
}

}  // namespace vorn
