#pragma once

#include <QPointer>

#include "vorn/object.h"

class TmVornBrowser;

// app.browser: what scripts read of the object browser and how they drive it.
class TVornBrowserPy final : public VnStaticObject<IRoot> {
public:
    const VnTypeInfo* GetTypeInfo() override;
    // The browser it drives; made after the object exists.
    void SetBrowser(TmVornBrowser* browser);
    TmVornBrowser* Browser() const;

private:
    QPointer<TmVornBrowser> mBrowser;
};

TVornBrowserPy& TheBrowserPy();
