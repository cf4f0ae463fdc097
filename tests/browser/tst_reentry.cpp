// Python code that the browser runs while it works (a __len__ as a node expands, a __str__ as a
// cell paints, a __del__ as a row lets go, a __setitem__ as an editor stores) and that browses,
// expands, collapses or waits. Each case must leave the browser whole: no freed node, row or
// editor used (the sanitizer build runs this), and the hook's call either done or refused with
// a Python error.
#include <Python.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLineEdit>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

#include "browser/browser_model.h"
#include "browser/grid_rows.h"
#include "browser/tm_vorn_browser.h"
#include "browser/tm_vorn_list_sorter.h"
#include "browser/vorn_browser_py.h"
#include "editors/row_editor.h"
#include "editors/tm_edit_line.h"
#include "fake_shell.h"
#include "modal.h"
#include "python_checks.h"
#include "test_env.h"
#include "vorn/pyos.h"

namespace {

PrintCollector gSink;

// Each hook calls act(), which does what the test row asks and logs how it went.
const char* kPrelude = R"(
import gc, vorn, vorn.os as vos, vorn.synchro as synchro
log = []
other = {"other": 1, "more": [1, 2]}
ACTION = None
def act():
    if ACTION is None: return
    try:
        if ACTION == "browse": browser.Browse(other)
        elif ACTION == "expand": browser.Expand(1)
        elif ACTION == "collapse": browser.Collapse(1)
        elif ACTION == "wait": synchro.Sleep(1)
        log.append("done")
    except Exception as e:
        log.append(type(e).__name__)
class Len(list):
    def __len__(self):
        act()
        return list.__len__(self)
class Item(list):
    def __getitem__(self, i):
        act()
        return list.__getitem__(self, i)
class Keys:
    def __init__(self, keys): self.keys = keys
    def __iter__(self):
        act()
        return iter(self.keys)
class IterKeys(dict):
    def keys(self): return Keys(dict.keys(self))
class Text(int):
    def __str__(self):
        act()
        return "text"
class Repr(str):
    def __repr__(self):
        act()
        return "'key'"
class Store(dict):
    def __setitem__(self, key, value):
        act()
        dict.__setitem__(self, key, value)
class Doomed:
    def __del__(self): act()
class DoomedInt(int):
    def __del__(self): act()
)";

}  // namespace

class TestReentry : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    std::unique_ptr<FakeShell> mShell;
    FakeOutput mOutput;
    std::unique_ptr<TEditorKit> mKit;
    std::unique_ptr<TmEditLine> mEditLine;
    std::unique_ptr<TmVornBrowser> mBrowser;
    std::unique_ptr<QAbstractItemModelTester> mTester;
    std::unique_ptr<QAbstractItemModelTester> mGridTester;

    TBrowserModel& model() { return mBrowser->Model(); }
    void settle() {
        for (int i = 0; i < 5; ++i) {
            VnOS->Pump();
            QCoreApplication::processEvents();
        }
    }
    void paint() {
        mBrowser->Tree()->viewport()->repaint();
        mBrowser->Grid()->viewport()->repaint();
    }
    // Edits the grid row `name` as a user does: F2, a new text, Enter.
    void edit(const QString& name, const QString& text) {
        TGridRows& grid = mBrowser->Rows();
        for (int r = 0; r < grid.rowCount(); ++r) {
            if (grid.index(r, 0).data().toString() != name) continue;
            QTableView* view = mBrowser->Grid();
            view->setCurrentIndex(grid.index(r, 1));
            QTest::keyClick(view, Qt::Key_F2);
            auto* field = qobject_cast<QLineEdit*>(view->indexWidget(grid.index(r, 1)));
            QVERIFY2(field, qPrintable("no field for " + name));
            field->setText(text);
            QTest::keyClick(field, Qt::Key_Return);
            QCoreApplication::processEvents();  // the grid stores on its next turn
            return;
        }
        QFAIL(qPrintable("no row " + name));
    }

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        QVERIFY(PyOS->SetEventSink(&gSink));
        mShell = std::make_unique<FakeShell>();
        mKit = std::make_unique<TEditorKit>(*mShell, mOutput);
        mBrowser = std::make_unique<TmVornBrowser>(*mShell, mOutput, *mKit, QString());
        mEditLine = std::make_unique<TmEditLine>();
        mKit->SetEditLine(mEditLine.get());
        TheBrowserPy().SetBrowser(mBrowser.get());
        mTester = std::make_unique<QAbstractItemModelTester>(
            &model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        mGridTester = std::make_unique<QAbstractItemModelTester>(
            &mBrowser->Rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        mShell->window.show();
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        PyObject* main = PyModule_GetDict(PyImport_AddModule("__main__"));
        PyRef browser = PyRef::Steal(PyOS->Wrap(&TheBrowserPy(), -1));
        QVERIFY(browser && PyDict_SetItemString(main, "browser", browser.get()) == 0);
        QVERIFY(RunPython(kPrelude));
    }

    void hooks_data() {
        QTest::addColumn<QByteArray>("setup");    // makes `subject` and what the hook needs
        QTest::addColumn<QByteArray>("trigger");  // how the browser comes to call the hook
        auto row = [](const char* name, const char* setup, const char* trigger) {
            for (const char* action : {"browse", "expand", "collapse", "wait"})
                QTest::addRow("%s, %s", name, action)
                    << QByteArray("ACTION = '") + action + "'\n" + setup << QByteArray(trigger);
        };
        row("__len__ as the selection shows", "subject = Len([1, [2]])", "browse");
        row("__getitem__ as a node expands", "subject = Item([[1], 2])", "expand");
        row("__iter__ of a dictionary's keys", "subject = IterKeys(a=1, b=[2])", "browse");
        row("__str__ as a cell paints", "subject = {'v': Text(3)}", "paint");
        row("__repr__ of a key as its path is copied", "subject = {Repr('k'): 1}", "copy");
        row("__del__ of a value only a node holds", "subject = [Doomed()]", "release node");
        row("__del__ of a value only a row holds", "subject = {'v': DoomedInt(7)}", "release row");
        row("__del__ of the root", "subject = Doomed()", "release root");
        row("__del__ as the tree collapses", "subject = [[Doomed()]]", "collapse");
        row("__setitem__ as a row stores", "subject = Store(v=1)", "store");
        row("__del__ of the old userData as a row stores",
            "subject = vos.CreateInstance('kalix.KxModel'); subject.userData = DoomedInt(1)",
            "store userData");
    }
    // Catches nodes, rows and editors used after a hook freed them, a browser rebuilt under its
    // own update, and a hook's call that neither ran nor raised.
    void hooks() {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, trigger);
        QVERIFY(RunPython("log.clear(); ACTION = None; browser.Browse(other)"));
        settle();
        QVERIFY(RunPython(setup.constData()));
        QVERIFY(RunPython("ACTION, action = None, ACTION"));  // set up without the hook acting
        if (trigger == "release node" || trigger == "collapse")
            QVERIFY(RunPython("browser.Browse(subject); browser.Expand(1)"));
        else
            QVERIFY(RunPython("browser.Browse(subject)"));
        paint();
        settle();
        QVERIFY(RunPython("ACTION = action"));

        if (trigger == "browse") {
            QVERIFY(RunPython("browser.Browse(subject)"));
        } else if (trigger == "expand") {
            QVERIFY(RunPython("browser.Expand(1)"));
        } else if (trigger == "paint") {
            paint();
        } else if (trigger == "copy") {
            mBrowser->Grid()->setFocus();
            mBrowser->Grid()->setCurrentIndex(mBrowser->Rows().index(0, 1));
            mShell->window.findChild<QAction*>("mCopyPythonPath")->trigger();
        } else if (trigger == "release node") {
            QVERIFY(RunPython("kept = subject[0]; subject.clear(); del kept"));
            QVERIFY(RunPython("browser.Browse(other)"));
        } else if (trigger == "release row") {
            QVERIFY(RunPython("subject.clear()"));
            QVERIFY(RunPython("browser.Browse(other)"));
        } else if (trigger == "release root") {
            QVERIFY(RunPython("del subject"));
            QVERIFY(RunPython("browser.Browse(other)"));
        } else if (trigger == "collapse") {
            QVERIFY(RunPython("subject[0].clear()"));
            QVERIFY(RunPython("browser.Collapse(1)"));
        } else if (trigger == "store") {
            edit("v", "5");
        } else if (trigger == "store userData") {
            edit("userData", "5");
        }
        paint();
        settle();
        const QString log = EvalPython("log");
        QVERIFY2(log != "[]", "the hook never ran");
        if (trigger.startsWith("release"))  // once, not again as the slot is updated
            QVERIFY2(log.count('\'') == 2, qPrintable(log));
        // the browser still works
        QVERIFY(RunPython("ACTION = None; browser.Browse({'fresh': 1})"));
        QCOMPARE(mBrowser->Rows().index(0, 0).data().toString(), QString("fresh"));
        QVERIFY(RunPython("del subject; gc.collect()") || true);
        settle();
    }

    // Catches a tasklet that waits inside the browser's work while another browses: the other
    // is refused, the waiting one ends its work on nodes that still exist, and what the user
    // asked meanwhile is done after.
    void waitInsideTheWork() {
        QVERIFY(RunPython(R"(
log.clear()
ACTION = "wait"
slow = Len([1, [2], 3])
def browse_slowly(): browser.Browse(slow)
def browse_meanwhile():
    try:
        browser.Browse(other)
        log.append("done")
    except RuntimeError:
        log.append("refused")
synchro.Start(browse_slowly)
synchro.Start(browse_meanwhile)
)"));
        for (int i = 0; i < 50 && EvalPython("len(log)").toInt() < 3; ++i) {
            settle();
            paint();
            QTest::qWait(5);
        }
        QVERIFY2(EvalPython("log").contains("refused"), qPrintable(EvalPython("log")));
        QVERIFY(RunPython("ACTION = None"));
        settle();
        QCOMPARE(model().Label(model().Top()), QString("Len"));
    }

    // Catches the list actions and Branch using a node freed while their dialog showed: a
    // script browses elsewhere meanwhile and the old tree is let go before the dialog ends.
    void dialogsOutliveTheirNode() {
        TmVornListSorter sorter;
        mBrowser->SetDialogs(&sorter, nullptr);
        QVERIFY(
            RunPython("ACTION = None; kept = vos.CreateInstance('vorn.List')\n"
                      "for n in range(3): kept.append(vos.CreateInstance('vorn.List'))"));
        for (const char* name : {"mListManage", "mSortList", "mIRootBranch"}) {
            QVERIFY(RunPython("browser.Browse(kept); browser.Expand(0)"));
            settle();
            AnswerNextModal([this](QWidget* dialog) {
                QVERIFY(RunPython("browser.Browse(other)"));
                settle();  // the old tree goes now
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            });
            QAction* action = mShell->window.findChild<QAction*>(name);
            QVERIFY2(action, name);
            action->setEnabled(true);
            action->trigger();
            settle();
            QCOMPARE(model().Label(model().Top()), QString("dict"));
        }
        mBrowser->SetDialogs(nullptr, nullptr);
    }

    void cleanupTestCase() {
        TheBrowserPy().SetBrowser(nullptr);
        mGridTester.reset();
        mTester.reset();
        mBrowser.reset();
        mEditLine.reset();
        mKit.reset();
        PyOS->SetEventSink(nullptr);
    }
};

QTEST_MAIN(TestReentry)
#include "tst_reentry.moc"
