#pragma once

#include <utility>

#include "vorn/iroot.h"

// Holds one counted reference to a runtime object: AddRef on copy, Release on destruction.
template <class T>
class VnRef {
public:
    VnRef() = default;
    // Shares `p`: takes a reference of its own.
    explicit VnRef(T* p) : mPtr(p) {
        if (mPtr) mPtr->AddRef();
    }
    // Takes over a reference that the caller already owns (a creation or query result).
    static VnRef Adopt(T* p) {
        VnRef r;
        r.mPtr = p;
        return r;
    }
    VnRef(const VnRef& o) : VnRef(o.mPtr) {}
    VnRef(VnRef&& o) noexcept : mPtr(std::exchange(o.mPtr, nullptr)) {}
    VnRef& operator=(VnRef o) noexcept {
        std::swap(mPtr, o.mPtr);
        return *this;
    }
    ~VnRef() { reset(); }

    void reset() {
        if (T* p = std::exchange(mPtr, nullptr)) p->Release();
    }
    // Gives up ownership without releasing.
    T* detach() { return std::exchange(mPtr, nullptr); }
    // Releases what is held and returns a slot for an out parameter.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&mPtr);
    }
    T* get() const { return mPtr; }
    T* operator->() const { return mPtr; }
    explicit operator bool() const { return mPtr != nullptr; }

private:
    T* mPtr = nullptr;
};

// Asks `object` for interface T; empty when it lacks it. flag 1 is quiet, 0 sets the error.
template <class T>
VnRef<T> VnQuery(IRoot* object, int flag = 1) {
    VnRef<T> r;
    if (object && !object->QueryInterface(T::IID(), r.out(), flag)) r.reset();
    return r;
}
