#include "web/tm_ie.h"

#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "shell/ishell.h"
#include "vorn/os.h"
#include "vorn/pyos.h"

#ifdef MOSSWICK_WEB_ENGINE
#include <QWebEnginePage>
#include <QWebEngineView>

// Hands every navigation to the form first: its handler may cancel it.
class ScriptedPage : public QWebEnginePage {
public:
    ScriptedPage(TmIE* form, QObject* parent) : QWebEnginePage(parent), mForm(form) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        const bool accepted = !mForm->mWebBeforeNavigate2(url.toString());
        if (isMainFrame) {
            if (accepted) mForm->mAccepted = true;
            mForm->mCancelled = !accepted;
        }
        return accepted;
    }

private:
    TmIE* mForm;
};
#endif

TmIE::TmIE(IShell& shell, QWidget* parent) : QWidget(parent) {
    setObjectName("mIE");
    setWindowTitle("IE");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
#ifdef MOSSWICK_WEB_ENGINE
    auto* view = new QWebEngineView(this);
    auto* page = new ScriptedPage(this, view);
    view->setPage(page);
    // A navigation completes when the page shows its address after the handler let it through
    // (a link), or at the latest when its document has loaded (a typed address, announced
    // before it was asked about); a cancelled one never completes.
    auto complete = [this](const QUrl& url) {
        if (!std::exchange(mAccepted, false)) return false;
        mWebNavigateComplete2(url.toString());
        return true;
    };
    connect(page, &QWebEnginePage::urlChanged, this, complete);
    connect(page, &QWebEnginePage::loadFinished, this, [this, page, complete](bool ok) {
        // the end of a cancelled navigation: nothing was loaded, the page shown stays as it was
        if (!ok && std::exchange(mCancelled, false)) return;
        complete(page->url());
        mWebDocumentComplete(page->url().toString());
    });
    mWeb = view;
#else
    mWeb = new QLabel("The web view is not available in this build of Mosswick.", this);
#endif
    mWeb->setObjectName("mWeb");
    layout->addWidget(mWeb);
    // the form lives on the "Web Surfer" page and fills it
    if (QWidget* sheet = shell.Place(TShellPlace::WebPage)) {
        setParent(sheet);
        if (sheet->layout()) sheet->layout()->addWidget(this);
        show();
    }
}

TmIE::~TmIE() = default;

bool TmIE::Available() {
#ifdef MOSSWICK_WEB_ENGINE
    return true;
#else
    return false;
#endif
}

bool TmIE::Navigate(const QString& url) {
#ifdef MOSSWICK_WEB_ENGINE
    static_cast<QWebEngineView*>(mWeb.data())->setUrl(QUrl::fromUserInput(url));
    return true;
#else
    VnOS->SetError(-1, nullptr, "The web view is not available in this build; cannot show %s",
                   url.toUtf8().constData());
    return false;
#endif
}

QString TmIE::Url() const {
#ifdef MOSSWICK_WEB_ENGINE
    return static_cast<QWebEngineView*>(mWeb.data())->url().toString();
#else
    return {};
#endif
}

bool TmIE::mWebBeforeNavigate2(const QString& url) { return CallHandler("BeforeNavigate", url); }

void TmIE::mWebNavigateComplete2(const QString& url) { CallHandler("NavigateComplete", url); }

void TmIE::mWebDocumentComplete(const QString& url) { CallHandler("DocumentComplete", url); }

bool TmIE::CallHandler(const char* method, const QString& url) {
    if (!mHandler) return false;
    PyRef keep = mHandler;  // the call may replace the handler
    PyRef result =
        PyRef::Steal(PyObject_CallMethod(keep.get(), method, "s", url.toUtf8().constData()));
    if (!result) {
        PyOS->ReportError(0);  // printed into the console; the navigation goes on
        return false;
    }
    const int truth = PyObject_IsTrue(result.get());
    if (truth < 0) PyOS->ReportError(0);
    return truth == 1;
}
