#pragma once

#include <atomic>
#include <cstring>
#include <type_traits>

#include "vorn/os.h"

// Base of runtime objects implemented in C++. The concrete class derives from VnObject first
// (so the object starts with the primary interface) and overrides GetTypeInfo; its type
// record uses Interfaces() as its interface table. QueryInterface goes through the runtime's
// QueryByTypeInfo, so base types' interface tables are honoured too.
//
// An object embedded in another (a member of type 5) is given the owner with SetOuter: its
// counting is the owner's, and it is destroyed with the owner.
template <class Primary, class... Others>
class VnObject : public Primary, public Others... {
public:
    VnObject() { FillInterfaceTable(); }
    VnObject(const VnObject&) = delete;
    VnObject& operator=(const VnObject&) = delete;
    virtual ~VnObject() {
        if (VnOS) VnOS->ObjectDestroyed(Root());
    }

    bool QueryInterface(const VnIID& iid, void** out, int flag) override {
        return VnOS->QueryByTypeInfo(this, iid, out, Root()->GetTypeInfo(), flag);
    }
    int AddRef() override { return mOuter ? mOuter->AddRef() : ++mRefs; }
    int Release() override {
        if (mOuter) return mOuter->Release();
        int left = --mRefs;
        if (left == 0) {
            if (VnOS)
                VnOS->DestroyObject(Root(), &DeleteRoot);
            else
                delete this;
        }
        return left;
    }
    int IsStatic() override { return 0; }

    void SetOuter(IRoot* outer) { mOuter = outer; }
    IRoot* Outer() const { return mOuter; }
    // The object as its primary interface.
    IRoot* Root() { return static_cast<Primary*>(this); }

    static const VnInterfaceEntry* Interfaces() { return sTable; }

private:
    static void DeleteRoot(IRoot* root) {
        delete static_cast<VnObject*>(static_cast<Primary*>(root));
    }
    void FillInterfaceTable() {
        if (sFilled.exchange(true)) return;
        int i = 0;
        sTable[i++] = {&IRoot::IID(), 0};
        if (std::strcmp(Primary::IID().name, IRoot::IID().name) != 0)
            sTable[i++] = {&Primary::IID(), 0};
        char* self = reinterpret_cast<char*>(this);
        ((sTable[i++] = {&Others::IID(),
                         reinterpret_cast<char*>(static_cast<Others*>(this)) - self}),
         ...);
        sTable[i] = {nullptr, 0};
    }

    std::atomic<int> mRefs{1};
    IRoot* mOuter = nullptr;
    static inline VnInterfaceEntry sTable[3 + sizeof...(Others)] = {};
    static inline std::atomic<bool> sFilled{false};
};

// Base of static objects: one instance for the whole process, reached by scripts through its
// method table. Counting does nothing; queries go through the type record's interface table,
// for which Interfaces() serves (IRoot and the primary interface, both at offset 0).
template <class Primary>
class VnStaticObject : public Primary {
public:
    static const VnInterfaceEntry* Interfaces() {
        static const VnInterfaceEntry table[] = {
            {&IRoot::IID(), 0},
            {std::is_same_v<Primary, IRoot> ? nullptr : &Primary::IID(), 0},
            {nullptr, 0}};
        return table;
    }
    bool QueryInterface(const VnIID& iid, void** out, int flag) override {
        return VnOS->QueryByTypeInfo(this, iid, out, this->GetTypeInfo(), flag);
    }
    int AddRef() override { return 1; }
    int Release() override { return 1; }
    int IsStatic() override { return 1; }

protected:
    ~VnStaticObject() = default;
};
