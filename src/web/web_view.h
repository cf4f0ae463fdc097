#pragma once

#include <QString>
#include <QtPlugin>

class QWidget;

// What a web view tells the form that made it.
class IWebViewEvents {
public:
    virtual ~IWebViewEvents() = default;
    // Asked before every navigation, of the page or of a frame in it; false cancels it.
    virtual bool AllowNavigation(const QString& url, bool mainFrame) = 0;
    // The page shows another address.
    virtual void AddressShown(const QString& url) = 0;
    // The page's document has loaded, or failed to (a cancelled navigation ends so too).
    virtual void LoadFinished(bool ok, const QString& url) = 0;
};

// One web view; its widget belongs to the parent it was made in.
class IWebView {
public:
    virtual ~IWebView() = default;
    virtual QWidget* Widget() = 0;
    // Goes to an address as a user would type it.
    virtual void Open(const QString& address) = 0;
    virtual QString Url() const = 0;
};

// The web engine lives in a plugin the program loads the first time a web view is needed, so
// a start that never shows a web page neither links nor starts it.
class IWebViewFactory {
public:
    virtual ~IWebViewFactory() = default;
    virtual IWebView* MakeView(QWidget* parent, IWebViewEvents& events) = 0;
};

#define MOSSWICK_WEB_VIEW_FACTORY "org.mosswick.WebViewFactory/1"
Q_DECLARE_INTERFACE(IWebViewFactory, MOSSWICK_WEB_VIEW_FACTORY)
