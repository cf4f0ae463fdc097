#pragma once

#include "vorn/iroot.h"

// One registered object. The moniker reads scheme + "/" + name, then "." + ext when ext is
// not empty: "kx:" "dev" "" is "kx:/dev".
struct VnROTEntry {
    const char* scheme;  // with its colon
    const char* name;
    const char* ext;
    IRoot* object;
};

// The running object table: objects registered under monikers "scheme:/name[.ext]".
// The table itself is a runtime object ("vorn.Rot") that answers IList with its objects.
class IVornROT : public IRoot {
public:
    static const VnIID& IID() { return IID_IVornROT; }

    // Finds (or loads, for file monikers) the object, checks its class when `clsid` is given
    // and answers it as `iid`; the caller owns one reference.
    virtual bool GetObject(const char* moniker, const VnCLSID* clsid, const VnIID& iid, void** out,
                           int flag) = 0;
    // "res:/relative" below the resource directory, else "file:/absolute". Alloc'ed.
    virtual bool PathToMoniker(const char* path, char** moniker) = 0;
    // The entry under which the object is registered, or null.
    virtual const VnROTEntry* EntryOf(IRoot* object) = 0;
    // Writes the object and everything it embeds or references to the moniker's file, then
    // loads it back; `out` receives the loaded copy, registered under the moniker.
    virtual bool Branch(IRoot* object, IRoot** out, const char* moniker, int flags) = 0;

    // Registers an object under a moniker (one reference is kept); false when taken.
    virtual bool Register(const char* moniker, IRoot* object) = 0;
    virtual bool Revoke(const char* moniker) = 0;

protected:
    ~IVornROT() = default;
};

VORN_API extern IVornROT* VnROT;
