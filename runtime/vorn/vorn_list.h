#pragma once

#include <functional>
#include <vector>

#include "vorn/object.h"

namespace vorn {

// The general list "vorn.List": an ordered list of counted object references, optionally
// restricted to one element class and interface. Items added without an object are made by
// the list from its element class. Also answers INotify for its own members.
class VornList final : public VnObject<IList, INotify> {
public:
    static const VnTypeInfo* Type();
    static const VnCLSID& ClassId();
    static void RegisterClass();

    VornList() = default;
    VornList(const VnCLSID& elementClass, const VnIID* elementInterface);
    ~VornList() override;

    void SetElementType(const VnCLSID& elementClass, const VnIID* elementInterface);
    // Called after every change of the items (the owner may re-sort or redraw).
    void SetChangeHandler(std::function<void()> handler) { mChanged = std::move(handler); }

    const VnTypeInfo* GetTypeInfo() override { return Type(); }

    int GetCount() override;
    bool GetElementType(VnElementType* out) override;
    bool AddItem(int position, IRoot* item) override;
    void RemoveItem(int position) override;
    IRoot* GetItem(int position) override;
    void MoveItem(int from, int to) override;

    bool MemberChanged(void* member) override;

private:
    bool Accepts(IRoot* item);
    void NotifyChange();

    VnElementType mElement{};
    std::vector<IRoot*> mItems;  // each holds one reference
    std::function<void()> mChanged;
    char* mName = nullptr;  // member "name" (vornstring)
};

}  // namespace vorn
