#pragma once

#include <QPointer>
#include <functional>

#include "vorn/object.h"

class IShell;
class TmIE;
class TmUI;

// app.ui: the scripts' dialogs, programs they start, the web view, the status bar and facts
// about the machine.
class TPyUI final : public VnStaticObject<IRoot> {
public:
    const VnTypeInfo* GetTypeInfo() override;

    void SetShell(IShell* shell) { mShell = shell; }
    void SetDialog(TmUI* dialog);
    // What reloads the navigation module of every 3D window.
    void SetNavigationReload(std::function<void()> reload) { mReload = std::move(reload); }

    IShell* Shell() const { return mShell; }
    TmUI* Dialog() const;
    // The web view, made on first use on the "Web Surfer" page.
    TmIE* WebView();
    void ReloadNavigation() {
        if (mReload) mReload();
    }

private:
    IShell* mShell = nullptr;
    QPointer<TmUI> mDialog;
    QPointer<TmIE> mWebView;
    std::function<void()> mReload;
};

TPyUI& TheUI();
