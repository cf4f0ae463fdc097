// The object browser as a user and a script meet it: which values become tree nodes and which
// grid rows, their labels, the list actions and their enabling, New Object, Branch, in-place
// editing, Python stores, objects that scripts free while they are on screen, and the tree's
// filter line.
#include <Python.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>

#include "browser/browser_model.h"
#include "browser/grid_rows.h"
#include "browser/python_path.h"
#include "browser/tm_changes.h"
#include "browser/tm_vorn_browser.h"
#include "core/class_id.h"
#include "core/member_ref.h"
#include "core/python_value.h"
#include "core/vorn_string.h"
#include "editors/py_row_editor.h"
#include "editors/row_editor.h"
#include "editors/snapshot.h"
#include "editors/tm_edit_line.h"
#include "editors/tm_vorn_pick.h"
#include "fake_shell.h"
#include "modal.h"
#include "python_checks.h"
#include "test_env.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"
#include "vorn/weak.h"

namespace {

PrintCollector gSink;

// What a Python expression typed into the console gives, or null (the error cleared).
PyRef Evaluate(const QString& expression) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyRef result = PyRef::Steal(
        PyRun_String(expression.toUtf8().constData(), Py_eval_input, globals, globals));
    PyErr_Clear();
    return result;
}

// Whether two Python values are the same runtime object, or equal.
bool SameValue(PyObject* a, PyObject* b) {
    IRoot* objectA = a ? PyOS->Unwrap(a) : nullptr;
    IRoot* objectB = b ? PyOS->Unwrap(b) : nullptr;
    if (objectA || objectB)
        return objectA && objectB &&
               VnQuery<IRoot>(objectA, 1).get() == VnQuery<IRoot>(objectB, 1).get();
    const int equal = a && b ? PyObject_RichCompareBool(a, b, Py_EQ) : 0;
    PyErr_Clear();
    return equal == 1;
}

}  // namespace

class TestBrowser : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    std::unique_ptr<FakeShell> mShell;
    FakeOutput mOutput;
    std::unique_ptr<TEditorKit> mKit;
    std::unique_ptr<TmEditLine> mEditLine;
    std::unique_ptr<TmVornBrowser> mBrowser;
    std::unique_ptr<QAbstractItemModelTester> mTester;

    TBrowserModel& model() { return mBrowser->Model(); }
    QAction* action(const char* name) { return mShell->window.findChild<QAction*>(name); }
    QStringList labels(const TBrowserNode* node) {
        QStringList list;
        for (const auto& child : node->children) list << model().Label(child.get());
        return list;
    }
    TBrowserNode* child(TBrowserNode* node, const QString& label) {
        for (const auto& c : node->children)
            if (model().Label(c.get()) == label) return c.get();
        return nullptr;
    }
    // The grid's rows as "name=value".
    QStringList rows() {
        QStringList list;
        TGridRows& grid = mBrowser->Rows();
        for (int r = 0; r < grid.rowCount(); ++r)
            list << grid.index(r, 0).data().toString() + "=" + grid.index(r, 1).data().toString();
        return list;
    }
    void browsePython(const char* name) {
        mBrowser->Browse(nullptr, MainValue(name), QString(), false);
        model().ExpandNode(model().Top());
    }
    void browseObject(const char* name) {
        mBrowser->Browse(PyOS->Unwrap(MainValue(name)), nullptr, QString(), false);
        model().ExpandNode(model().Top());
    }
    void select(TBrowserNode* node) {
        mBrowser->Select(node);
        QCoreApplication::processEvents();
    }
    // The control that edits the current row's value in place, while an edit is open.
    QWidget* openControl() {
        QTableView* grid = mBrowser->Grid();
        return grid->indexWidget(grid->currentIndex().siblingAtColumn(1));
    }
    // Makes the grid row named `name` current and begins editing it with F2.
    QLineEdit* editRow(const QString& name) {
        TGridRows& grid = mBrowser->Rows();
        for (int r = 0; r < grid.rowCount(); ++r) {
            if (grid.index(r, 0).data().toString() != name) continue;
            mBrowser->Grid()->setCurrentIndex(grid.index(r, 1));
            QTest::keyClick(mBrowser->Grid(), Qt::Key_F2);
            return qobject_cast<QLineEdit*>(openControl());
        }
        return nullptr;
    }
    // Enter in an open control: the grid stores it once the event loop turns.
    static void enter(QWidget* control) {
        QTest::keyClick(control, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() {
        QFile classList(mEnv.file("classlist.txt"));
        QVERIFY(classList.open(QIODevice::WriteOnly));
        classList.write("kalix.KxMaterial\nkalix.KxShader\n");
        classList.close();
        QVERIFY(VnOS->IsStarted());
        QVERIFY(PyOS->SetEventSink(&gSink));
        mShell = std::make_unique<FakeShell>();
        mKit = std::make_unique<TEditorKit>(*mShell, mOutput);
        mBrowser =
            std::make_unique<TmVornBrowser>(*mShell, mOutput, *mKit, mEnv.file("classlist.txt"));
        mEditLine = std::make_unique<TmEditLine>();
        mKit->SetEditLine(mEditLine.get());
        mTester = std::make_unique<QAbstractItemModelTester>(
            &model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        mShell->window.show();
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        QVERIFY(RunPython(R"(
import vorn, vorn.os as vos
class Plain:
    def __init__(self):
        self.x = 1
        self.inner = {"deep": 2}
    def method(self):
        pass
def new(cls="vorn.List", name=None):
    o = vos.CreateInstance(cls)
    if name is not None:
        o.name = name
    return o
)"));
    }

    // Catches scalars shown as nodes or containers as rows, and labels that lose the key, the
    // position or the type.
    void pythonValues() {
        QVERIFY(RunPython(R"(
model = new("kalix.KxModel", "ship")
values = {"n": 1, "s": "x", "f": print, "t": Plain, "none": None, "sub": {"a": 1},
          "seq": [7, "two", {"k": 2}], "inst": Plain(), "model": model}
)"));
        browsePython("values");
        TBrowserNode* top = model().Top();
        QCOMPARE(model().Label(top), QString("dict"));
        QCOMPARE(labels(top), QStringList({"sub (dict)", "seq (list)", "inst (Plain)", "model"}));
        QCOMPARE(mShell->window.findChild<QLabel*>("mCustomEditPanel")->text(),
                 QString("Python object pointer"));
        QCOMPARE(mBrowser->Rows().HeaderText(), QString("Key"));
        QCOMPARE(rows().size(), 5);  // n, s, f, t, none

        TBrowserNode* seq = child(top, "seq (list)");
        model().ExpandNode(seq);
        QCOMPARE(labels(seq), QStringList({"[2]"}));
        select(seq);
        QCOMPARE(rows(), QStringList({"[0]=7", "[1]=two"}));

        TBrowserNode* inst = child(top, "inst (Plain)");
        model().ExpandNode(inst);
        QCOMPARE(labels(inst), QStringList({"class Plain", "members (dict)"}));
        select(inst);
        QCOMPARE(rows(), QStringList());
        QVERIFY(!mBrowser->Grid()->isEnabled());
        TBrowserNode* cls = child(inst, "class Plain");
        model().ExpandNode(cls);
        QCOMPARE(labels(cls), QStringList({"bases (tuple)", "methods (dict)"}));

        // a runtime object found in a dictionary expands like that object
        TBrowserNode* wrapped = child(top, "model");
        model().ExpandNode(wrapped);
        QCOMPARE(labels(wrapped), QStringList({"transform", "material"}));

        mBrowser->Browse(nullptr, Py_None, QString(), false);
        QCOMPARE(model().Label(model().Top()), QString("NoneType"));
        mBrowser->Browse(nullptr, PyImport_AddModule("vorn"), QString(), false);
        QCOMPARE(model().Label(model().Top()), QString("module vorn"));
    }

    // Catches base-type members before the object's own, value objects shown as nodes, and
    // Python attributes of a runtime object lost or in the wrong place.
    void runtimeObjects() {
        QVERIFY(RunPython(R"(
light = new("kalix.KxLight", "sun")
light.extra = {"a": 1}
light.count = 3
)"));
        browseObject("light");
        QCOMPARE(labels(model().Top()), QStringList({"extra"}));  // color and position are rows
        select(model().Top());
        QCOMPARE(mBrowser->Rows().HeaderText(), QString("KxLight"));
        const QStringList names = [this] {
            QStringList list;
            for (const QString& row : rows()) list << row.section('=', 0, 0);
            return list;
        }();
        QVERIFY2(names.indexOf("intensity") < names.indexOf("name"), qPrintable(names.join(",")));
        QVERIFY(names.contains("color"));
        QCOMPARE(names.last(), QString("count"));
    }

    // Catches list items labelled without their moniker, name or position, actions enabled
    // where they cannot work, and a list node left expandable after its last item went.
    void listsAndTheirActions() {
        QVERIFY(RunPython(R"(
items = new()
registered = new(name="ignored")
vos.Register("test:/registered", registered)
items.append(registered)
items.append(new(name="named"))
items.append(new())
)"));
        browseObject("items");
        TBrowserNode* top = model().Top();
        QCOMPARE(labels(top), QStringList({"test:/registered", "named", "List2"}));
        select(top);
        QVERIFY(action("mListAdd")->isEnabled());
        QVERIFY(action("mListRemoveAll")->isEnabled());
        QVERIFY(!action("mListRemove")->isEnabled());
        select(top->children[1].get());
        QVERIFY(action("mListRemove")->isEnabled());
        action("mListRemove")->trigger();
        QCOMPARE(EvalPython("[i.name for i in items]"), QString("['ignored', None]"));
        QCOMPARE(labels(top), QStringList({"test:/registered", "List1"}));

        action("mListRemoveAll")->trigger();
        QVERIFY(!top->expanded);
        QVERIFY(top->children.empty());
        QVERIFY(!action("mListRemoveAll")->isEnabled());
        model().ExpandNode(top);
        QVERIFY(!model().hasChildren(model().IndexOf(top)));
        const int errors = mOutput.errors.size();
        action("mListAdd")->trigger();  // a list without an item class cannot make an item
        QCOMPARE(mOutput.errors.size(), errors + 1);
        QVERIFY(top->children.empty());
        QVERIFY(RunPython("vos.Revoke('test:/registered')"));
    }

    // Catches New Object storing an object that lacks the member's interface, and one that
    // leaves no error behind.
    void newObjectChecksTheInterface() {
        QVERIFY(RunPython("shaped = new('kalix.KxModel')"));
        browseObject("shaped");
        TBrowserNode* material = child(model().Top(), "material");
        select(material);
        QVERIFY(action("mIRootNewObject")->isEnabled());
        QVERIFY(!action("mIRootFindInROT")->isEnabled());
        QMenu* entries = mShell->window.findChild<QMenu*>("mNewObject");
        QCOMPARE(entries->actions().size(), 2);
        const int before = mOutput.errors.size();
        entries->actions()[1]->trigger();  // a shader is no material
        QCOMPARE(mOutput.errors.size(), before + 1);
        QVERIFY2(mShell->status.startsWith("material was not changed: "),
                 qPrintable(mShell->status));
        QCOMPARE(EvalPython("shaped.material"), QString("None"));
        entries->actions()[0]->trigger();
        QCOMPARE(EvalPython("type(shaped.material).__name__"), QString("Object"));
        QVERIFY(action("mIRootClear")->isEnabled());
        action("mIRootClear")->trigger();
        QCOMPARE(EvalPython("shaped.material"), QString("None"));

        // every class the shipped menu offers can be made
        QFile shipped(qEnvironmentVariable("MOSSWICK_SOURCE_DIR") + "/resources/classlist.txt");
        QVERIFY(shipped.open(QIODevice::ReadOnly | QIODevice::Text));
        for (const QByteArray& line : shipped.readAll().trimmed().split('\n')) {
            void* made = nullptr;
            VnCLSID clsid{};
            QVERIFY2(VnParseCLSID(line.constData(), &clsid) &&
                         VnOS->CreateInstance(clsid, IID_IRoot, &made),
                     line.constData());
            static_cast<IRoot*>(made)->Release();
        }
    }

    // Catches New Object offering a class whose objects lack the member's interface, in the
    // popup's submenu and as the object picker's "New" lines.
    void newObjectOffersOnlySuitingClasses() {
        QVERIFY(RunPython("offered = new('kalix.KxModel', 'offered')"));
        browseObject("offered");
        select(child(model().Top(), "material"));
        QMenu* entries = mShell->window.findChild<QMenu*>("mNewObject");
        emit entries->aboutToShow();
        QStringList shown;
        for (QAction* entry : entries->actions())
            if (entry->isVisible()) shown << entry->text();
        QCOMPARE(shown, QStringList({"kalix.KxMaterial"}));

        TmVornPick pick;
        pick.SetClassList(mBrowser->ClassList());
        mKit->AddForm(&pick);
        QStringList lines;
        AnswerNextModal([&pick, &lines](QWidget* modal) {
            for (int i = 0; i < pick.Objects()->count(); ++i)
                if (pick.Objects()->item(i)->text().startsWith("New "))
                    lines << pick.Objects()->item(i)->text();
            modal->close();
        });
        action("mChangeObject")->trigger();
        QCOMPARE(lines, QStringList({"New kalix.KxMaterial"}));
        QCOMPARE(EvalPython("offered.material"), QString("None"));
    }

    // Catches a Branch that replaces a file the user did not mean to overwrite.
    void branchRefusesAnExistingFile() {
        QFile existing(mEnv.file("taken.vorn"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep me");
        existing.close();
        QVERIFY(RunPython("branched = new(name='taken')"));
        browseObject("branched");
        QString asked;
        AnswerNextModal([&](QWidget* dialog) {
            auto* save = qobject_cast<QFileDialog*>(dialog);
            QVERIFY(save);
            TypeFileName(*save, mEnv.file("taken.vorn"));
            AnswerNextModal([&](QWidget* box) {
                asked = box->windowTitle() + ": " + static_cast<QMessageBox*>(box)->text();
                static_cast<QMessageBox*>(box)->accept();
            });
            QMetaObject::invokeMethod(save, "accept");
        });
        action("mIRootBranch")->trigger();
        QCOMPARE(asked, QString("Cannot Branch: File already exists!"));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("keep me"));
    }

    void inPlaceEditing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");  // 0: the field loses the focus
        QTest::addColumn<QString>("stored");
        QTest::newRow("Enter commits") << "1.5" << int(Qt::Key_Return) << "1.5";
        QTest::newRow("Escape discards") << "1.5" << int(Qt::Key_Escape) << "0.25";
        QTest::newRow("leaving commits") << "3" << 0 << "3.0";
        QTest::newRow("not a number keeps the value") << "abc" << int(Qt::Key_Return) << "0.25";
    }

    // Catches edits lost, stored on Escape, or text that is no number stored as 0.
    void inPlaceEditing() {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, stored);
        mShell->window.activateWindow();  // a dialog of an earlier case may have taken it
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        QVERIFY(RunPython("lamp = new('kalix.KxLight'); lamp.intensity = 0.25"));
        browseObject("lamp");
        const QPointer<QLineEdit> edit = editRow("intensity");
        QVERIFY(edit && edit->isVisible());
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(edit->text(), QString("0.2500"));
        edit->setText(typed);
        if (key)
            QTest::keyClick(edit, Qt::Key(key));
        else
            mBrowser->Grid()->setFocus();
        QCoreApplication::processEvents();
        QVERIFY(!edit || !edit->isVisible());
        QCOMPARE(EvalPython("lamp.intensity"), stored);
        if (typed == "abc")
            QVERIFY2(mShell->status.contains("not a number"), qPrintable(mShell->status));
    }

    // Catches a second edit of the same cell that shows the field but stores nothing (no
    // editor was current once the first edit ended).
    void editingTheSameCellTwice() {
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        QVERIFY(RunPython("twice = new('kalix.KxLight'); twice.intensity = 0.25"));
        browseObject("twice");
        QLineEdit* edit = editRow("intensity");
        edit->setText("2");
        enter(edit);
        // a double click on the cell that is still selected
        QTableView* grid = mBrowser->Grid();
        const QPoint cell = grid->visualRect(grid->currentIndex()).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);  // a double click's first
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
        edit = qobject_cast<QLineEdit*>(openControl());
        QVERIFY(edit && edit->isVisible());
        edit->setText("3");
        enter(edit);
        QCOMPARE(EvalPython("twice.intensity"), QString("3.0"));
    }

    // Catches a grid that loses the keyboard after Enter stores (Down then F2 must edit the next
    // value), a field left behind where its cell was as the grid scrolls, and a store into
    // another row than the one edited.
    void editingKeepsTheKeyboardAndItsRow() {
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        QVERIFY(RunPython("keyed = new('kalix.KxLight')"));
        browseObject("keyed");
        QTableView* grid = mBrowser->Grid();
        QLineEdit* edit = editRow("range");  // spotAngle follows
        const int row = grid->currentIndex().row();
        edit->setText("0.5");
        enter(edit);
        QCOMPARE(EvalPython("keyed.range"), QString("0.5"));
        QCOMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_F2);
        QCOMPARE(grid->currentIndex().row(), row + 1);
        QWidget* next = openControl();
        QVERIFY(next && next->hasFocus());
        QTest::keyClick(next, Qt::Key_Escape);

        QVERIFY(RunPython("long = list(range(300))"));
        browsePython("long");
        select(model().Top());
        const QModelIndex at = mBrowser->Rows().index(100, 1);
        grid->scrollTo(at);
        grid->setCurrentIndex(at);
        QTest::keyClick(grid, Qt::Key_F2);
        edit = qobject_cast<QLineEdit*>(grid->indexWidget(at));
        QVERIFY(edit);
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() + 3);
        QCoreApplication::processEvents();
        QCOMPARE(edit->geometry().top(), grid->visualRect(at).top());
        edit->setText("7");
        enter(edit);
        QCOMPARE(EvalPython("long[99:102]"), QString("[99, 7, 101]"));
    }

    // Catches a number outside its member's range stored from the grid, and a refusal that does
    // not name the range.
    void rangedNumbersAreRefused() {
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        QVERIFY(RunPython("ranged = new('kalix.KxModel'); ranged.segments = 12"));
        browseObject("ranged");
        editRow("segments");
        auto* spin = qobject_cast<QSpinBox*>(openControl());
        QVERIFY(spin);
        QCOMPARE(spin->maximum(), 256);
        QTest::keyClicks(spin, "2");
        enter(spin);
        QCOMPARE(EvalPython("ranged.segments"), QString("12"));
        QVERIFY2(mShell->status.contains("3 to 256"), qPrintable(mShell->status));
    }

    // Catches an edit that leaves no step or several, an undo the grid does not show, list steps
    // that lose the order, a step applied to an object the world has let go, and a history that
    // keeps such an object alive.
    void undoAndRedo() {
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        TEditHistory& history = mKit->History();
        history.Stack().clear();  // the steps of the editing cases before
        QVERIFY(RunPython("undone = new('kalix.KxLight', 'lamp1'); undone.intensity = 0.25"));
        browseObject("undone");
        QLineEdit* edit = editRow("intensity");
        edit->setText("2");
        enter(edit);
        QCOMPARE(history.Stack().undoText(), QString("Set intensity of lamp1"));
        QCOMPARE(history.Stack().count(), 1);
        QVERIFY(history.Undo());
        QCOMPARE(EvalPython("undone.intensity"), QString("0.25"));
        QVERIFY(rows().contains("intensity=0.2500"));
        QVERIFY(history.Redo());
        QCOMPARE(EvalPython("undone.intensity"), QString("2.0"));
        QVERIFY(!history.Redo());

        QVERIFY(RunPython("trio = new(name='trio')\nfor n in 'abc': trio.append(new(name=n))"));
        browseObject("trio");
        select(model().Top()->children[1].get());
        action("mListRemove")->trigger();
        select(model().Top());
        action("mListRemoveAll")->trigger();
        QCOMPARE(history.Stack().undoText(), QString("Remove all items from trio"));
        QVERIFY(history.Undo() && history.Undo());
        QCOMPARE(EvalPython("[i.name for i in trio]"), QString("['a', 'b', 'c']"));
        QVERIFY(model().hasChildren(model().IndexOf(model().Top())));  // emptied, it collapsed
        model().ExpandNode(model().Top());
        QCOMPARE(labels(model().Top()), QStringList({"a", "b", "c"}));
        QVERIFY(history.Redo());
        QCOMPARE(EvalPython("[i.name for i in trio]"), QString("['a', 'c']"));

        // an open pointer member shows what the step put back, not what it replaced
        QVERIFY(RunPython("boxed = new('kalix.KxModel', 'boxed')"));
        browseObject("boxed");
        TBrowserNode* material = child(model().Top(), "material");
        select(material);
        mShell->window.findChild<QMenu*>("mNewObject")->actions()[0]->trigger();
        model().ExpandNode(material);
        QVERIFY(!material->children.empty() || mBrowser->Rows().rowCount() > 0);
        QCOMPARE(history.Stack().undoText(), QString("New object in material of boxed"));
        QVERIFY(history.Undo());
        QCOMPARE(EvalPython("boxed.material"), QString("None"));
        QVERIFY(material->children.empty());
        QCOMPARE(mBrowser->Rows().rowCount(), 0);  // an empty pointer has no rows

        // only the history still holds them: their steps are dropped, not applied
        QVERIFY(RunPython("elsewhere = {}"));
        browsePython("elsewhere");
        QCoreApplication::processEvents();  // the rows of the objects before go
        const VnWeak<IRoot> lamp(PyOS->Unwrap(Evaluate("undone").get()));
        QVERIFY(lamp.lock());
        QVERIFY(RunPython("del undone, trio, boxed; import gc; gc.collect()"));
        QVERIFY(!lamp.lock());  // the history's steps do not keep it alive
        QVERIFY(!history.Undo());
        history.Prune();
        QCOMPARE(history.Stack().count(), 0);
    }

    // Catches a pointer member shown as a tree node that no user can change: F2 on the node
    // opens the object picker, whose choice is stored, recorded and shown in the tree.
    void pointerNodeOpensThePicker() {
        TmVornPick pick;
        pick.SetClassList({"kalix.KxMaterial"});
        mKit->AddForm(&pick);
        QVERIFY(RunPython("picked = new('kalix.KxModel', 'picked')"));
        browseObject("picked");
        select(child(model().Top(), "material"));
        QVERIFY(action("mChangeObject")->isEnabled());
        AnswerNextModal([&pick](QWidget*) {
            QListWidget* lines = pick.Objects();
            lines->setCurrentItem(lines->findItems("New kalix.KxMaterial", Qt::MatchExactly)[0]);
            QTest::keyClick(lines, Qt::Key_Return);
        });
        mBrowser->Tree()->setFocus();
        QTest::keyClick(mBrowser->Tree(), Qt::Key_F2);
        QCOMPARE(EvalPython("type(picked.material).__name__"), QString("Object"));
        QCOMPARE(mKit->History().Stack().undoText(), QString("Set material of picked"));
        QVERIFY(mKit->History().Undo());
        QCOMPARE(EvalPython("picked.material"), QString("None"));
        select(model().Top());
        QVERIFY(!action("mChangeObject")->isEnabled());  // the root is the browser's own slot
    }

    // Catches copied paths that do not read back: every node and row below a registered root
    // is selected, its path copied as the popup entry does and evaluated; it must give the value
    // shown, reached from the node's object or container without the path.
    void copiedPathsEvaluate() {
        QVERIFY(RunPython(R"(
class Shape:
    def __init__(self):
        self.size = 2
reached = new(name="reached")
vos.Register("test:/reached", reached)
lamp = new("kalix.KxLight", "lamp")
holder = new("kalix.KxModel", "holder")
holder.info = {"k": [1.5, {"z": 2}], 3: "three", (1, 2): "pair"}
holder.figure = Shape()
holder.figureClass = Shape
for o in (lamp, holder, new("kalix.KxModel", "plain")):
    reached.append(o)
)"));
        mBrowser->Browse(PyOS->Unwrap(MainValue("reached")), nullptr, QString(), false);
        QVERIFY(mBrowser->ExpandAll(model().Top()));
        std::vector<TBrowserNode*> nodes{model().Top()};
        for (std::size_t i = 0; i < nodes.size(); ++i)
            for (const auto& c : nodes[i]->children) nodes.push_back(c.get());
        QVERIFY(nodes.size() > 15);
        QAction* copy = action("mCopyPythonPath");
        QStringList failed;
        int rowsRead = 0;
        for (TBrowserNode* node : nodes) {
            select(node);
            mBrowser->Tree()->setFocus();
            copy->trigger();
            const QString path = QGuiApplication::clipboard()->text();
            PyRef expected = PyRef::Steal(TBrowserModel::NodeObject(node)
                                              ? PyOS->Wrap(TBrowserModel::NodeObject(node), -1)
                                              : Py_NewRef(mw::MemberPython(node->value)
                                                              ? mw::MemberPython(node->value)
                                                              : Py_None));
            if (!path.startsWith("vorn.os.GetObject(\"test:/reached\")") ||
                !SameValue(Evaluate(path).get(), expected.get()))
                failed << model().Label(node) + ": " + path;
            TGridRows& grid = mBrowser->Rows();
            for (int r = 0; r < grid.rowCount(); ++r) {
                TRowEditor* row = grid.Editor(r);
                PyRef shown;
                if (auto* py = dynamic_cast<TPyRowEditor*>(row)) {
                    shown = PyRef::Borrow(py->Value());
                } else {  // a member of the node's object
                    shown = PyRef::Steal(
                        PyObject_GetAttrString(expected.get(), row->mValue.desc->name));
                    PyErr_Clear();
                }
                mBrowser->CopyPythonPath(r);
                const QString rowPath = QGuiApplication::clipboard()->text();
                if (!rowPath.startsWith(path) || !SameValue(Evaluate(rowPath).get(), shown.get()))
                    failed << grid.index(r, 0).data().toString() + ": " + rowPath;
                ++rowsRead;
            }
        }
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join('\n')));
        QVERIFY(rowsRead > 30);

        // nothing registered above: the path starts at the selection
        QVERIFY(RunPython("loose = {'inner': {'n': 1}}"));
        browsePython("loose");
        select(model().Top()->children[0].get());
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("app.browser.GetSelected()"));
        mBrowser->CopyPythonPath(0);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("app.browser.GetSelected()['n']"));
        QVERIFY(RunPython("vos.Revoke('test:/reached')"));
    }

    // Catches a change mark on a freshly filled grid, on a value that did not change, or one
    // that never goes.
    void changedValuesAreMarked() {
        QVERIFY(RunPython("marked = new('kalix.KxLight', 'marked'); marked.intensity = 0.25"));
        browseObject("marked");
        TGridRows& grid = mBrowser->Rows();
        int intensity = -1, name = -1;
        for (int r = 0; r < grid.rowCount(); ++r) {
            const QString key = grid.index(r, 0).data().toString();
            if (key == "intensity") intensity = r;
            if (key == "name") name = r;
        }
        QVERIFY(intensity >= 0 && name >= 0);
        QTableView* view = mBrowser->Grid();
        view->clearSelection();
        const auto background = [&](int row) {
            const QRect cell = view->visualRect(grid.index(row, 1));
            return view->viewport()->grab().toImage().pixelColor(cell.right() - 2,
                                                                 cell.center().y());
        };
        const QColor plain = background(intensity);
        QCOMPARE(background(name), plain);
        QVERIFY(RunPython("marked.intensity = 0.5"));
        QVERIFY(background(intensity) != plain);
        QCOMPARE(background(name), plain);
        QTest::qWait(TGridRows::kChangeShownMs + 100);
        QCOMPARE(background(intensity), plain);
    }

    // Catches Python values stored under another type, a failed store that goes unreported,
    // and a row showing a value its container never took.
    void pythonStores() {
        QVERIFY(RunPython("store = {'i': 1, 's': 'text', 'pair': (1, 2)}"));
        browsePython("store");
        select(model().Top());
        QLineEdit* edit = editRow("i");
        edit->setText("42");
        enter(edit);
        edit = editRow("s");
        edit->setText("42");
        enter(edit);
        QCOMPARE(EvalPython("store['i'], store['s']"), QString("(42, '42')"));

        TBrowserNode* pair = child(model().Top(), "pair (tuple)");
        select(pair);
        gSink.all.clear();
        edit = editRow("[0]");
        edit->setText("5");
        enter(edit);
        QVERIFY2(gSink.all.contains("TypeError"), qPrintable(gSink.all));
        QCOMPARE(rows(), QStringList({"[0]=1", "[1]=2"}));
    }

    // Catches nodes and rows that point at objects a script has freed: the paints that follow
    // read them (run under the sanitizer build).
    void freedObjectsStayValid() {
        QVERIFY(RunPython(R"(
doomed = new()
for i in range(3):
    doomed.append(new("kalix.KxModel", "m%d" % i))
)"));
        browseObject("doomed");
        select(model().Top()->children[1].get());
        QCOMPARE(mBrowser->Rows().HeaderText(), QString("KxModel"));
        QVERIFY(RunPython("doomed.clear(); del doomed; import gc; gc.collect()"));
        mBrowser->Tree()->viewport()->repaint();
        mBrowser->Grid()->viewport()->repaint();
        QTest::qWait(400);  // the grid's redraw timer
        QCOMPARE(model().Label(model().Top()->children[1].get()), QString("m1"));
        QVERIFY(rows().contains("name=m1"));
    }

    // Catches an expand-all that follows a cycle for ever, or one that never stops on a huge
    // tree.
    void expandAllIsBounded() {
        QVERIFY(RunPython("ring = new(); other = new(); ring.append(other); other.append(ring)"));
        browseObject("ring");
        QVERIFY(mBrowser->ExpandAll(model().Top()));
        TBrowserNode* again = model().Top()->children[0]->children[0].get();
        QVERIFY(!again->expanded);  // the ring itself, below itself
        const QByteArray huge = "huge = new()\nfor i in range(" +
                                QByteArray::number(TBrowserModel::kExpandBudget + 1) +
                                "):\n    huge.append(new())\n";
        QVERIFY(RunPython(huge.constData()));
        browseObject("huge");
        QVERIFY(!mBrowser->ExpandAll(model().Top()));
        QVERIFY2(mShell->status.contains("stopped"), qPrintable(mShell->status));
        QVERIFY(RunPython("huge.clear(); del huge"));
    }

    // Catches Find in ROT doing nothing, or selecting another object.
    void findInRotSelectsTheObject() {
        QVERIFY(RunPython(R"(
owner = new("kalix.KxModel")
owner.material = new("kalix.KxMaterial", "shared")
vos.Register("test:/shared", owner.material)
)"));
        browseObject("owner");
        select(child(model().Top(), "material"));
        QVERIFY(action("mIRootFindInROT")->isEnabled());
        action("mIRootFindInROT")->trigger();
        QCOMPARE(model().Label(model().Top()), QString("ROT"));
        QCOMPARE(model().Label(mBrowser->Selected()), QString("test:/shared"));
        QVERIFY(RunPython("vos.Revoke('test:/shared')"));
    }

    // Catches a way that is not the shortest, one that stops at a script attribute or a Python
    // value, a node selected that shows another object, and a miss reported as found.
    void revealOpensTheShortestWay_data() {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("path");
        const QString top = R"(vorn.os.GetObject("test:/top"))";
        QTest::newRow("member") << "shared" << top + "[0].material";
        QTest::newRow("list item") << "deep" << top + "[1][0]";
        QTest::newRow("script attribute") << "viaAttr" << top + "[0].extra";
        QTest::newRow("python value") << "far.notes['box']" << top + "[0].notes['box']";
        QTest::newRow("unreached") << "lost" << QString();
    }
    void revealOpensTheShortestWay() {
        QFETCH(QString, wanted);
        QFETCH(QString, path);
        QVERIFY(RunPython(R"(
if "revealTop" not in globals():
    revealTop = new(name="top")
    vos.Register("test:/top", revealTop)
    far, inner = new("kalix.KxModel", "far"), new(name="inner")
    deep, shared = new("kalix.KxModel", "deep"), new("kalix.KxMaterial", "shared")
    revealTop.append(far)
    revealTop.append(inner)
    inner.append(deep)
    deep.material = shared  # a longer way to it than through far
    far.material = shared
    viaAttr = far.extra = new("kalix.KxMaterial", "viaAttr")
    far.notes = {"box": [1, {"k": 2}]}
    lost = new("kalix.KxModel", "lost")
)"));
        browsePython("far");  // Reveal goes to the table itself
        PyRef value = Evaluate(wanted);
        QVERIFY(value);
        IRoot* object = PyOS->Unwrap(value.get());
        QCOMPARE(mBrowser->Reveal(object, value.get()), !path.isEmpty());
        QCOMPARE(model().Label(model().Top()), QString("ROT"));
        if (path.isEmpty()) {
            QVERIFY2(mShell->status.startsWith("No registered object leads to it"),
                     qPrintable(mShell->status));
            QVERIFY(RunPython("vos.Revoke('test:/top')"));  // the last row
            return;
        }
        const TBrowserNode* node = mBrowser->Selected();
        QVERIFY(node);
        QCOMPARE(browser::NodePath(node, node), path);
        QVERIFY(SameValue(Evaluate(path).get(), value.get()));
        QVERIFY(mBrowser->Tree()->isExpanded(model().IndexOf(node->parent)));
        QVERIFY(mBrowser->Rows().rowCount() > 0);
        if (object)  // the grid's header names the class
            QCOMPARE(mBrowser->Rows().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                     QString::fromStdString(mw::ClassName(object)));
        QVERIFY2(mShell->status.endsWith(path), qPrintable(mShell->status));
        // revealed again with the tree open: the same node, nothing rebuilt above it
        QVERIFY(mBrowser->Reveal(object, value.get()));
        QCOMPARE(mBrowser->Selected(), node);
    }

    // Catches a filter that expands nodes or matches what is not built (or the placeholder name
    // of object nodes), hides the nodes above a match or shows a non-match, loses the selection,
    // lets the browser's Delete clear a member while the user edits the text, or leaves a node
    // expanded under it unfiltered; and Escape that does not bring every node back as it was.
    void filterLine() {
        mShell->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->window));
        QVERIFY(RunPython(R"(
boat = new("kalix.KxModel", "boat")
boat.material = new("kalix.KxMaterial", "paint")
crate = new(name="Material crate")
crate.append(new(name="matte"))
crate.append(new(name="rope"))
fleet = new()
for o in (boat, new("kalix.KxModel", "car"), crate):
    fleet.append(o)
)"));
        QTreeView* tree = mBrowser->Tree();
        auto* filter = mShell->window.findChild<QLineEdit*>("mTreeFilter");
        QVERIFY(filter);
        browseObject("fleet");
        TBrowserNode* top = model().Top();
        model().ExpandInView(top);
        TBrowserNode* boat = child(top, "boat");
        TBrowserNode* car = child(top, "car");
        TBrowserNode* crate = child(top, "Material crate");
        tree->expand(model().IndexOf(boat));  // as a click on its arrow does
        TBrowserNode* material = child(boat, "material");
        TBrowserNode* transform = child(boat, "transform");
        QVERIFY(car && crate && material && transform);
        select(material);
        const QString header = mBrowser->Rows().HeaderText();
        auto shown = [&](const TBrowserNode* node) {
            return !tree->isRowHidden(node->row, model().IndexOf(node->parent));
        };
        auto bold = [&](const TBrowserNode* node) {
            return model().IndexOf(node).data(Qt::FontRole).value<QFont>().bold();
        };

        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(filter->hasFocus());
        QTest::keyClicks(filter, "MATx");
        QTest::keyClick(filter, Qt::Key_Left);
        QTest::keyClick(filter, Qt::Key_Delete);
        QCOMPARE(filter->text(), QString("MAT"));
        QCOMPARE(EvalPython("boat.material.name"), QString("paint"));
        QVERIFY(shown(top) && shown(boat) && shown(material) && shown(crate));
        QVERIFY(!shown(transform) && !shown(car));
        QVERIFY(bold(material) && bold(crate) && !bold(boat) && !bold(top));
        QVERIFY(!car->expanded && car->children.empty() && !crate->expanded);  // car's material

        filter->setText("dummyname");  // what object nodes' descriptors are called
        QVERIFY(!shown(top) && !shown(boat) && !shown(crate));
        QCOMPARE(mBrowser->Selected(), material);
        QCOMPARE(mBrowser->Rows().HeaderText(), header);

        filter->setText("mat");
        tree->expand(model().IndexOf(crate));
        QCOMPARE(labels(crate), QStringList({"matte", "rope"}));
        QVERIFY(shown(crate->children[0].get()) && !shown(crate->children[1].get()));
        QVERIFY(bold(crate->children[0].get()));

        QTest::keyClick(filter, Qt::Key_Escape);
        QVERIFY(filter->text().isEmpty());
        for (const TBrowserNode* node : {top, boat, car, crate, material, transform,
                                         crate->children[0].get(), crate->children[1].get()})
            QVERIFY2(shown(node) && !bold(node), qPrintable(model().Label(node)));
        QVERIFY(tree->isExpanded(model().IndexOf(boat)) && !car->expanded);
        QCOMPARE(mBrowser->Selected(), material);
        QTest::keyClick(filter, Qt::Key_Escape);  // on the empty line: back to the tree
        QTRY_VERIFY(tree->hasFocus());
    }

    // Catches an exception escaping a handler that leaves the tree as it was, with nodes that
    // may be what the failure was about.
    void exceptionResetsTheTree() {
        mBrowser->ResetAfterException("it broke");
        QCOMPARE(model().Label(model().Top()), QString("it broke"));
        QCOMPARE(TBrowserModel::NodePython(model().Top()), Py_None);
        QCOMPARE(mBrowser->Selected(), model().Top());
    }

    // Catches a write whose writer goes unrecorded or misnamed: a grid edit names its editor,
    // undo and redo name themselves, a script names its file and line, and the grid's tooltip
    // says who changed the value.
    void writersAreRecorded() {
        TEditHistory& history = mKit->History();
        QVERIFY(RunPython("written = new('kalix.KxLight', 'lamp2')"));
        IRoot* lamp = PyOS->Unwrap(MainValue("written"));
        intptr_t adjustment = 0;
        const VnMemberDescriptor* intensity =
            VnOS->FindMember("intensity", lamp->GetTypeInfo(), &adjustment);
        QCOMPARE(WriterName(lamp, intensity), QString());
        browseObject("written");
        QLineEdit* edit = editRow("intensity");
        edit->setText("3");
        enter(edit);
        QCOMPARE(WriterName(lamp, intensity), QString("text editor"));
        QVERIFY(history.Undo());
        QCOMPARE(WriterName(lamp, intensity), QString("undo"));
        QVERIFY(history.Redo());
        QCOMPARE(WriterName(lamp, intensity), QString("redo"));
        QVERIFY(RunPython("import sys\n\nwritten.intensity = 0.5"));
        QCOMPARE(WriterName(lamp, intensity), QString("<string>:3"));
        TGridRows& grid = mBrowser->Rows();
        for (int r = 0; r < grid.rowCount(); ++r)
            if (grid.index(r, 0).data().toString() == "intensity")
                QVERIFY(grid.index(r, 1)
                            .data(Qt::ToolTipRole)
                            .toString()
                            .contains(QRegularExpression("changed by <string>:3 at [0-9.]+ s$")));
    }

    // Catches a comparison that misses or misreports a change (a member by script or grid, an
    // engine write, list items added, removed and moved, nested lists, a cycle, a script
    // attribute), and a revert that is not one undo step or does not put every value back.
    void snapshotsCompareAndRevert() {
        TEditHistory& history = mKit->History();
        history.Stack().clear();
        QVERIFY(RunPython(R"(
shelf = new(name='shelf')
inner = new(name='inner')
shelf.append(inner)
for n in 'abc':
    inner.append(new('kalix.KxLight', n))
loop = new(name='loop')
shelf.append(loop)
loop.append(shelf)  # a cycle
inner[0].tag = {'keep': [1, 2]}
)"));
        IRoot* shelf = PyOS->Unwrap(MainValue("shelf"));
        QString why;
        std::shared_ptr<TSnapshot> snapshot = TSnapshot::Take(shelf, "shelf", &why);
        QVERIFY2(snapshot, qPrintable(why));
        QVERIFY(snapshot->Compare().empty());
        QVERIFY(RunPython(R"(
inner[1].intensity = 4.0
inner.move(2, 0)
inner.append(new('kalix.KxLight', 'd'))
inner[1].tag['keep'].append(3)
)"));
        browseObject("inner");
        select(child(model().Top(), "a"));
        QLineEdit* edit = editRow("range");
        edit->setText("7");
        enter(edit);
        mw::MemberRef name;  // the engine's own write: no writer recorded
        QVERIFY(name.Bind("spotAngle", PyOS->Unwrap(Evaluate("inner[2]").get())));
        *static_cast<float*>(name.address()) = 10.0f;
        QStringList seen;
        for (const TChangeRow& row : snapshot->Compare())
            seen << row.path + " " + row.then + " -> " + row.now + " by " + row.writer;
        QCOMPARE(seen, QStringList({
                           "shelf[0][0] [2] -> [0] by ",
                           "shelf[0][1].range 20.0000 -> 7.0000 by text editor",
                           "shelf[0][1].tag {'keep': [1, 2]} -> {'keep': [1, 2, 3]} by script",
                           "shelf[0][2].intensity 1.0000 -> 4.0000 by <string>:2",
                           "shelf[0][2].spotAngle 30.0000 -> 10.0000 by engine",
                           "shelf[0][3] (absent) -> d by ",
                       }));
        const int steps = history.Stack().count();
        std::vector<TChangeRow> rows = snapshot->Compare();
        QCOMPARE(snapshot->Revert(rows, history, "Revert changes"), 5);
        QCOMPARE(history.Stack().count(), steps + 1);
        QVERIFY(snapshot->Compare().empty());
        QCOMPARE(EvalPython("[i.name for i in inner]"), QString("['a', 'b', 'c']"));
        QCOMPARE(EvalPython("inner[0].tag"), QString("{'keep': [1, 2]}"));
        QVERIFY(history.Undo());
        QCOMPARE(snapshot->Compare().size(), std::size_t(6));
        QCOMPARE(EvalPython("inner[2].intensity"), QString("4.0"));
        QVERIFY(history.Redo());
        QVERIFY(snapshot->Compare().empty());
        QVERIFY(RunPython("loop.remove(shelf)"));
    }

    // Catches a branch file of the first format that cannot serve as a snapshot: its objects
    // are matched by path, and a snapshot saved and loaded again compares as the snapshot.
    void branchFilesAsSnapshots() {
        QFile old(mEnv.file("old.vorn"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(R"({"format": "vorn-branch", "version": 1, "root": 0, "objects": [
            {"class": "vorn.List.1", "members": {"name": {"type": 8, "value": "pair"}},
             "items": [1]},
            {"class": "kalix.KxLight.3", "members": {"intensity": {"type": 2, "value": 0.5}}}]})");
        old.close();
        QVERIFY(
            RunPython("pair = new(name='pair'); pair.append(new('kalix.KxLight', 'x'))\n"
                      "pair.append(new('kalix.KxLight', 'y'))"));
        IRoot* pair = PyOS->Unwrap(MainValue("pair"));
        QString why;
        std::shared_ptr<TSnapshot> loaded = TSnapshot::Load(old.fileName(), pair, "pair", &why);
        QVERIFY2(loaded, qPrintable(why));
        QStringList seen;
        for (const TChangeRow& row : loaded->Compare()) seen << row.path + " " + row.now;
        QVERIFY(seen.contains("pair[0].intensity 1.0000"));
        QVERIFY(seen.contains("pair[0].name x"));
        QVERIFY(seen.contains("pair[1] y"));
        std::shared_ptr<TSnapshot> taken = TSnapshot::Take(pair, "pair", &why);
        QVERIFY(taken->Save(mEnv.file("taken.vorn"), &why));
        QVERIFY(RunPython("pair[1].intensity = 2.0"));
        loaded = TSnapshot::Load(mEnv.file("taken.vorn"), pair, "pair", &why);
        QCOMPARE(loaded->Compare().size(), std::size_t(1));
        QVERIFY(!TSnapshot::Load(mEnv.file("missing.vorn"), pair, "pair", &why));
        QVERIFY(why.contains("missing.vorn"));
    }

    // Catches a Changes window that does not follow the world, a filter that does not narrow
    // it, a revert of one row that puts back more, and a double click that reveals nothing.
    void changesWindow() {
        QVERIFY(
            RunPython("watched = new(name='watched')\n"
                      "for n in 'pq': watched.append(new('kalix.KxLight', n))\n"
                      "vos.Register('test:/watched', watched)"));
        browseObject("watched");
        select(model().Top());
        action("mTakeSnapshot")->trigger();
        TmChanges* changes = mShell->documents.findChild<TmChanges*>();
        QVERIFY(changes && changes->Snapshot());
        mShell->documents.show();  // the window follows the world while it shows
        QCOMPARE(changes->View()->topLevelItemCount(), 0);
        QVERIFY(RunPython("watched[0].intensity = 2.0; watched[1].intensity = 3.0"));
        QTRY_COMPARE(changes->View()->topLevelItemCount(), 2);  // it follows by itself
        changes->Filter()->setText("[1]");
        QCOMPARE(changes->View()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = changes->View()->topLevelItem(0);
        QCOMPARE(row->text(3), QString("<string>:1"));
        row->setSelected(true);
        QCOMPARE(changes->RevertRows(false), 1);
        QCOMPARE(EvalPython("(watched[0].intensity, watched[1].intensity)"), QString("(2.0, 1.0)"));
        changes->Filter()->clear();
        QCOMPARE(changes->View()->topLevelItemCount(), 1);
        emit changes->View()->itemDoubleClicked(changes->View()->topLevelItem(0), 0);
        QTRY_COMPARE(model().NodeObject(mBrowser->Selected()),
                     PyOS->Unwrap(Evaluate("watched[0]").get()));
        QVERIFY(RunPython("vos.Revoke('test:/watched')"));
    }

    void cleanupTestCase() {
        mTester.reset();
        mBrowser.reset();
        mEditLine.reset();
        VnOS->Shutdown();
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
