#pragma once

#include "vorn/typeinfo.h"

// Every runtime object answers IRoot. Every other interface derives from IRoot by single
// inheritance, so an interface pointer is also a valid IRoot pointer of the same object.
class IRoot {
public:
    static const VnIID& IID() { return IID_IRoot; }

    virtual const VnTypeInfo* GetTypeInfo() = 0;
    // flag 1: a quiet query; flag 0: a failed query also sets the pending error.
    // The pseudo interface "Used in ROT" gives the implementation base without a reference.
    virtual bool QueryInterface(const VnIID& iid, void** out, int flag) = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // 1 for static objects that live for the whole process (counting does nothing), else 0.
    virtual int IsStatic() = 0;

protected:
    ~IRoot() = default;
};

// Owners that must apply a change of one of their members implement INotify.
class INotify : public IRoot {
public:
    static const VnIID& IID() { return IID_INotify; }
    // `member` is the address of the changed member's storage.
    virtual bool MemberChanged(void* member) = 0;

protected:
    ~INotify() = default;
};

// What a list holds: the class of its items (empty: any) and the interface they must answer.
struct VnElementType {
    VnCLSID clsid;
    VnIID iid;
};

class IList : public IRoot {
public:
    static const VnIID& IID() { return IID_IList; }

    virtual int GetCount() = 0;
    virtual bool GetElementType(VnElementType* out) = 0;
    // position -1 appends; a null item asks the list to make a new item of its element class.
    virtual bool AddItem(int position, IRoot* item) = 0;
    // position -1 removes every item. Bad positions set the pending error.
    virtual void RemoveItem(int position) = 0;
    // No reference is added for the caller; null for a bad position.
    virtual IRoot* GetItem(int position) = 0;
    virtual void MoveItem(int from, int to) = 0;

protected:
    ~IList() = default;
};
