#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "vorn/py_ref.h"
#include "web/web_view.h"

class IShell;

// The web view on the "Web Surfer" page. Scripts steer it with Navigate and hear of its
// navigations through a handler object: "BeforeNavigate" (a true answer cancels it),
// "NavigateComplete" and "DocumentComplete", each called with the URL. The web engine is loaded
// when the first form is made.
class TmIE : public QWidget, private IWebViewEvents {
    Q_OBJECT

public:
    explicit TmIE(IShell& shell, QWidget* parent = nullptr);
    ~TmIE() override;

    // Whether the web engine's plugin loads; it is loaded once, the first time this is asked.
    static bool Available();
    // False, with the runtime's pending error, when there is no web view.
    bool Navigate(const QString& url);
    void SetHandler(PyObject* handler) { mHandler = PyRef::Borrow(handler); }
    PyObject* Handler() const { return mHandler.get(); }
    QString Url() const;

    // The three calls into the handler; true when the handler asked to cancel.
    bool mWebBeforeNavigate2(const QString& url);
    void mWebNavigateComplete2(const QString& url);
    void mWebDocumentComplete(const QString& url);

private:
    bool AllowNavigation(const QString& url, bool mainFrame) override;
    void AddressShown(const QString& url) override;
    void LoadFinished(bool ok, const QString& url) override;
    // Calls the handler's method with the URL; true when it answered a true value.
    bool CallHandler(const char* method, const QString& url);

    PyRef mHandler;
    QPointer<QWidget> mWeb;
    IWebView* mView = nullptr;  // the web view in mWeb; none when the engine did not load
    // A navigation of the page itself was let through and has not yet shown its address; the
    // view announces a typed address before it asks, so completion waits for this.
    bool mAccepted = false;
    // The handler cancelled the last navigation of the page itself; its end is no completion.
    bool mCancelled = false;
};
