#pragma once

#include <utility>

#include "vorn/os.h"
#include "vorn/ref.h"

// What the weak references to one object share: the object's identity until it is destroyed.
// The runtime holds one count while the object lives and clears `identity` when its last
// reference goes, before it is destroyed; each VnWeak holds one more.
struct VnWeakBlock {
    IRoot* identity;
    int holders;
};

// Refers to a runtime object without keeping it alive: lock() answers it, held, while it lives
// and an empty holder once it has been destroyed. Static objects never die.
template <class T>
class VnWeak {
public:
    VnWeak() = default;
    explicit VnWeak(T* p) : mPtr(p) {
        if (!p || p->IsStatic()) return;
        VnRef<IRoot> identity = Identity(p);
        mBlock = identity && VnOS ? VnOS->WeakBlock(identity.get()) : nullptr;
        if (!mBlock) mPtr = nullptr;
    }
    VnWeak(const VnWeak& o) : mPtr(o.mPtr), mBlock(o.mBlock) {
        if (mBlock) ++mBlock->holders;
    }
    VnWeak(VnWeak&& o) noexcept
        : mPtr(std::exchange(o.mPtr, nullptr)), mBlock(std::exchange(o.mBlock, nullptr)) {}
    VnWeak& operator=(VnWeak o) noexcept {
        std::swap(mPtr, o.mPtr);
        std::swap(mBlock, o.mBlock);
        return *this;
    }
    ~VnWeak() { reset(); }

    void reset() {
        mPtr = nullptr;
        VnWeakBlock* block = std::exchange(mBlock, nullptr);
        if (block && --block->holders == 0) delete block;
    }
    // The object, held, while it lives; empty once it has been destroyed.
    VnRef<T> lock() const { return Alive() ? VnRef<T>(mPtr) : VnRef<T>(); }
    // Whether the object has been destroyed (or none was given).
    bool expired() const { return !Alive(); }
    // The object's address, for comparing only: it may be gone and the address reused.
    T* peek() const { return mPtr; }

private:
    // Asked of `p` itself: a class with several interfaces has no single way to IRoot.
    static VnRef<IRoot> Identity(T* p) {
        VnRef<IRoot> identity;
        if (!p->QueryInterface(IRoot::IID(), identity.out(), 1)) identity.reset();
        return identity;
    }
    bool Alive() const { return mPtr && (!mBlock || mBlock->identity); }

    T* mPtr = nullptr;
    VnWeakBlock* mBlock = nullptr;  // null for a static object
};
