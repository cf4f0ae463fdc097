#pragma once

#include "vorn/object.h"
#include "vorn/pyos.h"

class IShell;

// app.driver: the pump's interval, a plain message box, and the runtime's events, which wake
// the tasklets they name.
class TPyDriver final : public VnStaticObject<IVornEvents> {
public:
    const VnTypeInfo* GetTypeInfo() override;
    void Signal(int what, void* data, VnTasklet tasklet) override;
    void SetShell(IShell* shell) { mShell = shell; }
    IShell* Shell() const { return mShell; }

private:
    IShell* mShell = nullptr;
};

TPyDriver& TheDriver();
