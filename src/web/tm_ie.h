#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "vorn/py_ref.h"

class IShell;

// The web view on the "Web Surfer" page. Scripts steer it with Navigate and hear of its
// navigations through a handler object: "BeforeNavigate" (a true answer cancels it),
// "NavigateComplete" and "DocumentComplete", each called with the URL.
class TmIE : public QWidget {
    Q_OBJECT
    friend class ScriptedPage;

public:
    explicit TmIE(IShell& shell, QWidget* parent = nullptr);
    ~TmIE() override;

    // Whether this build has a web view at all.
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
    // Calls the handler's method with the URL; true when it answered a true value.
    bool CallHandler(const char* method, const QString& url);

    PyRef mHandler;
    QPointer<QWidget> mWeb;
    // A navigation of the page itself was let through and has not yet shown its address; the
    // view announces a typed address before it asks, so completion waits for this.
    bool mAccepted = false;
    // The handler cancelled the last navigation of the page itself; its end is no completion.
    bool mCancelled = false;
};
