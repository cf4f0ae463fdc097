// The dialogs of the module app as a script meets them: Python calls app.ui and app.driver
// through the main window's scripting host, the test answers each dialog or menu as a user
// would, and the script sees the answer. Also what scripts set on the main window, and the output
// sink's switch to the web view's page.
#include <Python.h>

#include <QAction>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include "app/py_ui.h"
#include "app/tm_main.h"
#include "modal.h"
#include "python_checks.h"
#include "script/script_host.h"
#include "script/tm_ui.h"
#include "test_env.h"

namespace {

bool Run(const QString& code) { return RunPython(code.toUtf8().constData()); }

QString Eval(const char* expression) { return EvalPython(expression); }

void Click(QWidget* dialog, const char* button) {
    dialog->findChild<QPushButton*>(button)->click();
}

QStringList Entries(const QListWidget* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
    return entries;
}

// Where the label's first line of text starts, in its parent's coordinates.
int PromptTop(const QLabel* label) {
    const QRect text = label->style()->itemTextRect(label->fontMetrics(), label->contentsRect(),
                                                    int(label->alignment()), true, label->text());
    return label->mapToParent(text.topLeft()).y();
}

// The columns of a file dialog's detail view that do not show whole: narrower than their
// captions or (past the names) the texts of the files listed need, or reaching past the view's
// right edge.
QStringList CutColumns(const QFileDialog* dialog) {
    const auto* view = dialog->findChild<QTreeView*>("treeView");
    if (!view || !view->isVisible()) return {"no detail view"};
    const QHeaderView* header = view->header();
    QStringList cut;
    for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i)) continue;
        const int right = header->sectionViewportPosition(i) + header->sectionSize(i);
        const int cells =
            i > 0 ? static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(i) : 0;
        if (header->sectionSize(i) < std::max(header->sectionSizeHint(i), cells) ||
            right > header->viewport()->width())
            cut << header->model()->headerData(i, Qt::Horizontal).toString();
    }
    return cut;
}

void ClickEntry(QWidget* dialog, int row) {
    QListWidget* list = qobject_cast<TmUI*>(dialog)->List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

}  // namespace

class TestAppModule : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    QPointer<TmMain> mWindow;
    QPointer<TmUI> mUI;

private slots:
    void initTestCase() {
        QVERIFY(mEnv.noDefaultWorld());
        QVERIFY(VnOS->IsStarted());
        mWindow = new TmMain;
        mUI = new TmUI(*mWindow);  // as the start-up makes it after the main window
        TheUI().SetDialog(mUI);
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(mWindow));
        QVERIFY(Run("import app"));
    }

    void cleanup() {
        const QString said = mWindow->ScriptHost()->TakePendingOutput();
        if (QTest::currentTestFailed()) qInfo("Python said: %s", qPrintable(said));
    }

    // Catches the question or the proposed answer not shown, an empty band above the prompt
    // (the prompt centred in the room the hidden list leaves), the typed text lost or mangled
    // on its way back (non-ASCII included), and Cancel not answering None.
    void ask() {
        QString question, proposed;
        int band = -1;
        AnswerNextModal([&](QWidget* dialog) {
            auto* ui = qobject_cast<TmUI*>(dialog);
            question = ui->Question()->text();
            proposed = ui->Answer()->text();
            band = PromptTop(ui->Question()) - ui->Question()->geometry().top();
            ui->Answer()->clear();
            QTest::keyClicks(ui->Answer(), "Gr");
            ui->Answer()->insert(QString::fromUtf8("öße ✓"));  // QTest types ASCII only
            QTest::keyClick(ui->Answer(), Qt::Key_Return);     // the default button: OK
        });
        QVERIFY(Run("answer = app.ui.Ask('Your name?', 'Moss')"));
        QCOMPARE(question, QString("Your name?"));
        QCOMPARE(proposed, QString("Moss"));
        QVERIFY2(band >= 0 && band <= 2, qPrintable(QString::number(band)));
        QCOMPARE(Eval("answer == 'Größe ✓'"), QString("True"));

        AnswerNextModal([](QWidget* dialog) { Click(dialog, "mCancel"); });
        QVERIFY(Run("answer = app.ui.Ask('Again?')"));
        QCOMPARE(Eval("answer"), QString("None"));
    }

    // Catches flags that do not reach the box (buttons, icon), the caption or text swapped,
    // the button pressed not answered by its number, and ShowMessage without the tool's name.
    void messageBoxes() {
        QString shown;
        bool question = false;
        AnswerNextModal([&](QWidget* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            shown = box->windowTitle() + "|" + box->text();
            question = box->icon() == QMessageBox::Question && box->button(QMessageBox::Yes);
            box->button(QMessageBox::No)->click();
        });
        QVERIFY(Run("answer = app.ui.AskMsgBox('Save <now>?', 'Saving', 4 + 0x20)"));
        QCOMPARE(shown, QString("Saving|Save <now>?"));
        QVERIFY(question);
        QCOMPARE(Eval("answer"), QString("7"));

        AnswerNextModal([&](QWidget* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            shown = box->windowTitle() + "|" + box->text();
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY(Run("answer = app.driver.ShowMessage('Done.')"));
        QCOMPARE(shown, QGuiApplication::applicationDisplayName() + "|Done.");
        QCOMPARE(Eval("answer"), QString("None"));
    }

    // Catches entries not shown as their text, the given entry not preselected, the callback
    // not told of the preselected and the newly chosen entry, the chosen index lost, a list
    // without a preselected entry answering one anyway (or telling the callback of one), Cancel
    // not answering None, and a double click that does not choose.
    void askList() {
        QStringList entries;
        int preselected = -2;
        bool listShown = false;
        AnswerNextModal([&](QWidget* dialog) {
            auto* ui = qobject_cast<TmUI*>(dialog);
            entries = Entries(ui->List());
            preselected = ui->List()->currentRow();
            listShown = ui->List()->isVisible() && !ui->Answer()->isVisible();
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Down);  // the list opens with the focus
            Click(dialog, "mOK");
        });
        QVERIFY(
            Run("seen = []\n"
                "chosen = app.ui.AskList('Where to?', ['north', 2, 'south'], 1,"
                " lambda i: seen.append(i))"));
        QCOMPARE(entries, QStringList({"north", "2", "south"}));
        QCOMPARE(preselected, 1);
        QVERIFY(listShown);
        QCOMPARE(Eval("(chosen, seen)"), QString("(2, [1, 2])"));

        AnswerNextModal([](QWidget* dialog) { Click(dialog, "mOK"); });
        QVERIFY(
            Run("seen = []\n"
                "chosen = app.ui.AskList('Which?', ['a', 'b'], -1, lambda i: seen.append(i))"));
        QCOMPARE(Eval("(chosen, seen)"), QString("(-1, [])"));

        AnswerNextModal([](QWidget* dialog) { Click(dialog, "mCancel"); });
        QVERIFY(Run("chosen = app.ui.AskList('Which?', ['a', 'b'], 0)"));
        QCOMPARE(Eval("chosen"), QString("None"));

        AnswerNextModal([](QWidget* dialog) {
            QListWidget* list = qobject_cast<TmUI*>(dialog)->List();
            const QPoint at = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        });
        QVERIFY(
            Run("seen = []\n"
                "chosen = app.ui.AskList('Which?', ['a', 'b'], 0, lambda i: seen.append(i))"));
        QCOMPARE(Eval("(chosen, seen)"), QString("(1, [0, 1])"));
    }

    // Catches a callback the dialog does not hold a reference to (freed as soon as the script
    // lets go of it, while the dialog still points at it), and one kept past the next list.
    void askListHoldsItsCallback() {
        AnswerNextModal([](QWidget* dialog) { Click(dialog, "mCancel"); });
        QVERIFY(
            Run("import weakref\n"
                "def callback(i): pass\n"
                "held = weakref.ref(callback)\n"
                "app.ui.AskList('Which?', ['a'], -1, callback)\n"
                "del callback\n"));
        QCOMPARE(Eval("held() is not None"), QString("True"));
        AnswerNextModal([](QWidget* dialog) { Click(dialog, "mCancel"); });
        QVERIFY(Run("app.ui.AskList('Which?', ['a'])"));
        QCOMPARE(Eval("held() is None"), QString("True"));
    }

    // Catches a list opened again from its own callback: it answered None at once and left its
    // entries in the outer list, whose answer then counted in the wrong list.
    void askListRefusesNestedList() {
        QStringList entries;
        AnswerNextModal([&](QWidget* dialog) {
            ClickEntry(dialog, 1);
            entries = Entries(qobject_cast<TmUI*>(dialog)->List());
            Click(dialog, "mOK");
        });
        QVERIFY(
            Run("import vorn\n"
                "refused = []\n"
                "def callback(i):\n"
                "    try:\n"
                "        app.ui.AskList('Inner', ['x', 'y', 'z'])\n"
                "    except vorn.error as e:\n"
                "        refused.append(str(e))\n"
                "chosen = app.ui.AskList('Outer', ['a', 'b'], -1, callback)\n"));
        QCOMPARE(entries, QStringList({"a", "b"}));
        QCOMPARE(Eval("(chosen, refused)"), QString("(1, ['Another question is open'])"));
    }

    void waitInsideDialog_data() {
        QTest::addColumn<QString>("wait");
        QTest::newRow("sleep") << "synchro.Sleep(10)";
        QTest::newRow("program") << "app.ui.ShellExecute(1, '/bin/true')";
    }
    // Catches a wait in a list's callback that switches away from the tasklet whose dialog is
    // dispatching events (the process aborted in the toolkit's main loop) instead of raising a
    // Python error there while the list goes on and answers.
    void waitInsideDialog() {
        QFETCH(QString, wait);
        AnswerNextModal([](QWidget* dialog) {
            ClickEntry(dialog, 1);
            Click(dialog, "mOK");
        });
        const QString script = QString(
                                   "import vorn.synchro as synchro\n"
                                   "said = []\n"
                                   "def callback(i):\n"
                                   "    try:\n"
                                   "        %1\n"
                                   "    except RuntimeError as e:\n"
                                   "        said.append(str(e).split(';')[0])\n"
                                   "synchro.Start(lambda: said.append(\n"
                                   "    app.ui.AskList('Pick', ['a', 'b'], -1, callback)))\n")
                                   .arg(wait);
        QVERIFY(Run("said = None"));
        // started from inside an event, as the console starts its lines
        QTimer::singleShot(0, mWindow, [script] { Run(script); });
        QTRY_COMPARE(Eval("said"),
                     QString("['a tasklet cannot wait while a dialog or menu it opened is open', "
                             "1]"));
        QTRY_VERIFY(!mUI->IsWaiting());
    }

    // Catches a program's end delivered into the form that is going (the waiting tasklet ran
    // while the form was half destroyed), and a wait that reads the form after it has gone.
    void programWaitOutlivesForm() {
        QVERIFY(
            Run("import vorn.synchro as synchro\n"
                "ended = []\n"
                "def wait():\n"
                "    try:\n"
                "        ended.append(app.ui.ShellExecute(1, '/bin/sleep', '5'))\n"
                "    finally:\n"
                "        ended.append('done')\n"
                "waiting = synchro.Start(wait)\n"));
        QVERIFY(mUI->IsWaiting());
        delete mUI;
        QCOMPARE(Eval("ended"), QString("[]"));
        QVERIFY(Run("waiting.throw()"));
        QCOMPARE(Eval("ended"), QString("['done']"));
        mUI = new TmUI(*mWindow);
        TheUI().SetDialog(mUI);
    }

    void askFile_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("name");
        QTest::newRow("open") << false << "old.map";
        QTest::newRow("save") << true << "new.map";
    }
    // Catches the title, the filter or the folder not reaching the dialog, a filter given to Qt
    // in its stored form, columns or their headers cut off, the chosen path lost, and Cancel
    // not answering None.
    void askFile() {
        QFETCH(bool, save);
        QFETCH(QString, name);
        QTemporaryDir folder;
        QFile old(folder.filePath("old.map"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        QString title, directory;
        QStringList filters, cut;
        AnswerNextModal([&](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            // the folder's files are listed by a thread of the dialog's own
            const auto* view = dialog->findChild<QTreeView*>("treeView");
            const bool listed =
                QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) > 0; });
            QTest::qWait(50);  // the sizes and types of the files listed come after them
            cut = listed ? CutColumns(dialog) : QStringList{"no files listed"};
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            // typed into the name field and confirmed with Enter, as a user would
            auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
            QTest::keyClicks(field, name);
            QTest::keyClick(field, Qt::Key_Return);
        });
        const QString call = QString(
                                 "chosen = app.ui.%1('Pick a map', '', "
                                 "'Maps|*.map;*.mapx|All files (*.*)|*.*', r'%2')")
                                 .arg(save ? "AskFileSave" : "AskFileOpen", folder.path());
        QVERIFY(Run(call));
        QVERIFY2(cut.isEmpty(), qPrintable("cut off: " + cut.join(", ")));
        QCOMPARE(title, QString("Pick a map"));
        QCOMPARE(filters, QStringList({"Maps (*.map *.mapx)", "All files (*.*) (*)"}));
        QCOMPARE(directory, QDir(folder.path()).absolutePath());
        QCOMPARE(Eval("chosen"), folder.filePath(name));

        AnswerNextModal([](QWidget* dialog) { qobject_cast<QFileDialog*>(dialog)->reject(); });
        QVERIFY(Run(call));
        QCOMPARE(Eval("chosen"), QString("None"));
    }

    // Catches entries not shown as their text, the menu not at the given point (or x and y
    // swapped), the wrong index answered, and a dismissed menu not answering None.
    void popupMenu() {
        QStringList captions;
        QPoint at;
        AnswerNextPopup([&](QWidget* popup) {
            auto* menu = qobject_cast<QMenu*>(popup);
            for (QAction* entry : menu->actions()) captions << entry->text();
            at = menu->pos();
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QVERIFY(Run("chosen = app.ui.PopupMenu(30, 20, ['Cut', 'Copy', 3])"));
        QCOMPARE(captions, QStringList({"Cut", "Copy", "3"}));
        QCOMPARE(at, QPoint(30, 20));
        QCOMPARE(Eval("chosen"), QString("1"));

        AnswerNextPopup([](QWidget* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
        QVERIFY(Run("chosen = app.ui.PopupMenu(30, 20, ['Cut'])"));
        QCOMPARE(Eval("chosen"), QString("None"));
    }

    // Catches the output sink's ViewROTBrowser not showing hidden browsing panels, bringing
    // another page than the web view's to the front, or answering something other than None.
    void outputSinkShowsWebPage() {
        auto* panels = mWindow->findChild<QAction*>("mViewBrowsePanel");
        auto* pages = mWindow->findChild<QTabWidget*>("mPageLeft");
        panels->trigger();  // hides them
        QVERIFY(!pages->isVisible());
        pages->setCurrentIndex(0);
        PyRef sink = PyRef::Steal(PyOS->Wrap(TheOutputSink(), -1));
        QVERIFY(sink);
        QCOMPARE(PyDict_SetItemString(PyModule_GetDict(PyImport_AddModule("__main__")), "sink",
                                      sink.get()),
                 0);
        QVERIFY(Run("answer = sink.ViewROTBrowser()"));
        QCOMPARE(Eval("answer"), QString("None"));
        QVERIFY(panels->isChecked());
        QVERIFY(pages->isVisible());
        QCOMPARE(pages->currentWidget()->objectName(), QString("mROTSheet"));
    }

    // Catches the title or caption not set (or the caption not defaulting to the title), the
    // status text going elsewhere, another window's handle, and a wait for a program accepted
    // where nothing could be woken when it ends (outside a tasklet).
    void windowFacts() {
        QVERIFY(Run("app.ui.SetAppTitle('Moss Tool', 'Moss Tool - map.vorn')"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString("Moss Tool"));
        QCOMPARE(mWindow->windowTitle(), QString("Moss Tool - map.vorn"));
        QVERIFY(Run("app.ui.SetAppTitle('Moss')"));
        QCOMPARE(mWindow->windowTitle(), QString("Moss"));
        QVERIFY(Run("app.ui.SetStatusText('Working')"));
        QCOMPARE(mWindow->findChild<QLabel*>("mStatusPanel0")->text(), QString("Working"));
        QCOMPARE(Eval("app.ui.GetMainWindowHandle()"), QString::number(mWindow->winId()));
        QVERIFY(
            Run("import vorn\n"
                "try:\n"
                "    app.ui.ShellExecute(1, '/bin/true')\n"
                "except vorn.error as e:\n"
                "    refused = str(e)\n"));
        QCOMPARE(Eval("refused"), QString("Only a tasklet can wait for a program"));
        QVERIFY(!mUI->IsWaiting());
    }
};

QTEST_MAIN(TestAppModule)
#include "tst_app_module.moc"
