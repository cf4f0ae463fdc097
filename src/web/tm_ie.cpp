#include "web/tm_ie.h"

#include <QLabel>
#include <QPluginLoader>
#include <QVBoxLayout>
#include <utility>

#include "platform/program_files.h"
#include "shell/ishell.h"
#include "vorn/os.h"
#include "vorn/pyos.h"

namespace {

struct WebEngine {
    IWebViewFactory* factory = nullptr;
    QString whyNot;  // why the plugin did not load
};

// Loads the web engine's plugin the first time a web view is needed; it stays loaded.
const WebEngine& LoadWebEngine() {
    static const WebEngine engine = [] {
        WebEngine loaded;
        QPluginLoader loader(mw::ProgramPlugin("mosswick-webview.so"));
        loaded.factory = qobject_cast<IWebViewFactory*>(loader.instance());
        if (!loaded.factory) loaded.whyNot = loader.errorString();
        return loaded;
    }();
    return engine;
}

QString Unavailable() { return "The web view is not available (" + LoadWebEngine().whyNot + ")."; }

}  // namespace

TmIE::TmIE(IShell& shell, QWidget* parent) : QWidget(parent) {
    setObjectName("mIE");
    setWindowTitle("IE");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (IWebViewFactory* factory = LoadWebEngine().factory) {
        mView = factory->MakeView(this, *this);
        mWeb = mView->Widget();
    } else {
        auto* line = new QLabel(Unavailable(), this);
        line->setWordWrap(true);
        mWeb = line;
    }
    mWeb->setObjectName("mWeb");
    layout->addWidget(mWeb);
    // the form lives on the "Web Surfer" page and fills it
    if (QWidget* sheet = shell.Place(TShellPlace::WebPage)) {
        setParent(sheet);
        if (sheet->layout()) sheet->layout()->addWidget(this);
        show();
    }
}

// The view goes first: what it says while it goes must not reach a form half gone.
TmIE::~TmIE() { delete mWeb.data(); }

bool TmIE::Available() { return LoadWebEngine().factory != nullptr; }

bool TmIE::Navigate(const QString& url) {
    if (mView) {
        mView->Open(url);
        return true;
    }
    VnOS->SetError(-1, nullptr, "%s Cannot show %s", Unavailable().toUtf8().constData(),
                   url.toUtf8().constData());
    return false;
}

QString TmIE::Url() const { return mView ? mView->Url() : QString(); }

bool TmIE::AllowNavigation(const QString& url, bool mainFrame) {
    const bool accepted = !mWebBeforeNavigate2(url);
    if (mainFrame) {
        if (accepted) mAccepted = true;
        mCancelled = !accepted;
    }
    return accepted;
}

// A navigation completes when the page shows its address after the handler let it through (a
// link), or at the latest when its document has loaded (a typed address, announced before it
// was asked about); a cancelled one never completes.
void TmIE::AddressShown(const QString& url) {
    if (std::exchange(mAccepted, false)) mWebNavigateComplete2(url);
}

void TmIE::LoadFinished(bool ok, const QString& url) {
    // the end of a cancelled navigation: nothing was loaded, the page shown stays as it was
    if (!ok && std::exchange(mCancelled, false)) return;
    AddressShown(url);
    mWebDocumentComplete(url);
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
