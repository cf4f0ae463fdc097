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
    // Whether a browser was set once: calls that change it then raise once it has gone.
    bool HadBrowser() const { return mHadBrowser; }

private:
    QPointer<TmVornBrowser> mBrowser;
    bool mHadBrowser = false;
};

TVornBrowserPy& TheBrowserPy();
