#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vorn/object.h"
#include "vorn/rot.h"

namespace vorn {

// The running object table, the runtime object "vorn.Rot". As an IList it answers its
// registered objects in registration order; it is filled only by registration, so the list
// edits are refused with a pending error.
class RotTable final : public VnObject<IVornROT, IList> {
public:
    static const VnTypeInfo* Type();
    static const VnCLSID& ClassId();

    RotTable();
    ~RotTable() override;

    // Releases every registered object; used by the runtime's shutdown.
    void RevokeAll();
    // The table never goes away before the runtime does.
    int Release() override { return 1; }
    int AddRef() override { return 1; }
    int IsStatic() override { return 1; }

    const VnTypeInfo* GetTypeInfo() override { return Type(); }

    bool GetObject(const char* moniker, const VnCLSID* clsid, const VnIID& iid, void** out,
                   int flag) override;
    bool PathToMoniker(const char* path, char** moniker) override;
    const VnROTEntry* EntryOf(IRoot* object) override;
    bool Branch(IRoot* object, IRoot** out, const char* moniker, int flags) override;
    bool Register(const char* moniker, IRoot* object) override;
    bool Revoke(const char* moniker) override;

    int GetCount() override;
    bool GetElementType(VnElementType* out) override;
    bool AddItem(int position, IRoot* item) override;
    void RemoveItem(int position) override;
    IRoot* GetItem(int position) override;
    void MoveItem(int from, int to) override;

private:
    struct Entry;
    Entry* Find(const std::string& moniker);
    bool CheckAndAnswer(IRoot* object, const char* moniker, const VnCLSID* clsid, const VnIID& iid,
                        void** out, int flag);
    IRoot* LoadFromFile(const std::string& moniker);
    std::vector<std::unique_ptr<Entry>> mEntries;
};

}  // namespace vorn
