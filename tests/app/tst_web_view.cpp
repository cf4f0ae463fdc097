// The web view as scripts steer it: app.ui.Navigate to local pages, and the handler object set by
// app.ui.SetIEHandler told of each navigation, which it may cancel. Skipped in builds without
// Qt WebEngine. The web engine starts its own processes: waits are generous, never timed.
#include <Python.h>

#include <QSignalSpy>
#include <QtTest>

#include "app/py_ui.h"
#include "app/tm_main.h"
#include "checks.h"
#include "python_checks.h"
#include "script/script_host.h"
#include "test_env.h"
#include "web/tm_ie.h"

namespace {

// Whether the web engine's library is mapped into this process.
bool EngineLoaded() {
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

bool Run(const QString& code) { return RunPython(code.toUtf8().constData()); }

QString Eval(const QString& expression) { return EvalPython(expression.toUtf8().constData()); }

// The handler keeps what it hears in the list `heard` of __main__; it is made inline, so only
// the web view's reference keeps it alive.
constexpr char kHandler[] = R"(import app
heard = []
cancel = set()
class Handler:
    def BeforeNavigate(self, url):
        heard.append(('before', url))
        return url in cancel
    def NavigateComplete(self, url):
        heard.append(('navigated', url))
    def DocumentComplete(self, url):
        heard.append(('complete', url))
app.ui.SetIEHandler(Handler())
)";

}  // namespace

class TestWebView : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    QPointer<TmMain> mWindow;

    [[nodiscard]] bool page(const QString& name, QString* url) {
        QFile file(mEnv.file(name));
        CHECK(file.open(QIODevice::WriteOnly));
        file.write("<html><body><p>" + name.toUtf8() + "</p></body></html>\n");
        *url = QUrl::fromLocalFile(file.fileName()).toString();
        return true;
    }

private slots:
    // Catches the web engine loaded at start: only showing its page (or a script navigating)
    // may load it.
    void initTestCase() {
        QCoreApplication::addLibraryPath(MOSSWICK_PLUGIN_DIR);
        QVERIFY(mEnv.noDefaultWorld());
        QVERIFY(VnOS->IsStarted());
        mWindow = new TmMain;
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mWindow));
        QVERIFY(!EngineLoaded());
        QTest::keyClick(mWindow, Qt::Key_1, Qt::AltModifier);
        QVERIFY(mWindow->findChild<QWidget*>("mWeb"));
        if (!TmIE::Available()) QSKIP("this build has no web view (no Qt WebEngine)");
        QVERIFY(EngineLoaded());
        QVERIFY(Run(kHandler));
    }

    // the web view goes before the application, as in the program
    void cleanupTestCase() { delete mWindow; }

    void cleanup() {
        if (!mWindow) return;
        const QString said = mWindow->ScriptHost()->TakePendingOutput();
        if (QTest::currentTestFailed()) qInfo("Python said: %s", qPrintable(said));
    }

    // Catches a handler that is not held (it is made inline), not asked before a navigation,
    // not told when the page is there and when it is loaded, told in the wrong order, or told
    // another URL than the one navigated to.
    void handlerHearsNavigation() {
        QString first;
        QVERIFY(page("first.html", &first));
        QVERIFY(Run("app.ui.Navigate(r'" + first + "')"));
        const QString complete = "('complete', '" + first + "') in heard";
        QTRY_COMPARE_WITH_TIMEOUT(Eval(complete), QString("True"), 120000);
        QCOMPARE(Eval("[kind for kind, url in heard if url == r'" + first + "'][:3]"),
                 QString("['before', 'navigated', 'complete']"));
        QCOMPARE(TheUI().WebView()->Url(), first);
    }

    // Catches a true answer of BeforeNavigate that does not stop the navigation, and a cancelled
    // navigation that still tells the handler of a completion (of the page shown before). The
    // engine ends every navigation, cancelled or not, with loadFinished: the checks wait for
    // that. A later page shows the view still navigates after a cancellation.
    void beforeNavigateCancels() {
        QString stopped, after;
        QVERIFY(page("stopped.html", &stopped));
        QVERIFY(page("after.html", &after));
        QObject* engine = nullptr;
        for (QObject* child : mWindow->findChildren<QObject*>())
            if (child->inherits("QWebEnginePage")) engine = child;
        QVERIFY(engine);
        QSignalSpy ended(engine, SIGNAL(loadFinished(bool)));
        QVERIFY(Run("heard.clear()\ncancel.add(r'" + stopped + "')\napp.ui.Navigate(r'" + stopped +
                    "')"));
        QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 120000);
        QCOMPARE(Eval("heard"), "[('before', '" + stopped + "')]");
        QVERIFY(TheUI().WebView()->Url() != stopped);

        QVERIFY(Run("app.ui.Navigate(r'" + after + "')"));
        QTRY_COMPARE_WITH_TIMEOUT(Eval("('complete', r'" + after + "') in heard"), QString("True"),
                                  120000);
        QCOMPARE(TheUI().WebView()->Url(), after);
    }
};

// The web engine shares its GL contexts with the windows, as the program sets up before its
// application object.
int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestWebView test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_web_view.moc"
