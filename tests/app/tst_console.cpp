// The console and error log as a user meets them: statements run from the input (their values
// echoed when asked for), history keys and the history kept across runs, lines taken back from
// the output, output written before the console existed, rich and queued writes, the scrollback
// and very long lines, runtime errors moved into the log, and Tab completing names.
#include <Python.h>

#include <QAbstractItemView>
#include <QClipboard>
#include <QCompleter>
#include <QInputDialog>
#include <QMenu>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QtTest>

#include "app/tm_main.h"
#include "modal.h"
#include "python_checks.h"
#include "script/console_window.h"
#include "script/error_log.h"
#include "script/script_host.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "test_env.h"
#include "vorn/ids.h"
#include "vorn/os.h"

namespace {

// Leaves a runtime error pending without raising, as a careless extension might.
PyObject* LeaveRuntimeError(PyObject*, PyObject*) {
    VnOS->SetError(1, nullptr, "left behind by dir()");
    return PyList_New(0);
}

PyMethodDef kLeaveRuntimeError = {"leave_runtime_error", LeaveRuntimeError, METH_NOARGS, nullptr};

}  // namespace

class TestConsole : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    QPointer<TmMain> mWindow;
    QPointer<TmErrorLog> mLog;
    QPointer<TmConsoleWindow> mConsole;

    QLineEdit* input() { return mConsole->Input(); }
    TScriptHost* host() { return mWindow->ScriptHost(); }
    // What the console shows once the queued writes had their event-loop turn.
    QString shown() {
        QCoreApplication::processEvents();
        return mConsole->Console()->toPlainText();
    }
    // Lets the queued lines have as many turns as they need.
    void showAll() {
        for (int i = 0; i < 200 && mConsole->QueuedLines() > 0; ++i) QTest::qWait(5);
    }
    QString row(int number) {
        return mConsole->Console()->document()->findBlockByNumber(number).text();
    }
    void enter(const QString& text) {
        input()->setText(text);
        QTest::keyClick(input(), Qt::Key_Return);
    }
    QAbstractItemView* candidates() { return mConsole->Completer()->popup(); }
    // Types `text` with the caret `back` characters before its end, then Tab.
    void tab(const QString& text, int back = 0) {
        input()->setText(text);
        input()->setCursorPosition(int(text.size()) - back);
        QTest::keyClick(input(), Qt::Key_Tab);
    }
    // The character format at the first occurrence of `text` in the console.
    QTextCharFormat formatAt(const QString& text) {
        QTextCursor found = mConsole->Console()->document()->find(text);
        return found.charFormat();
    }

private slots:
    void initTestCase() {
        QFile autoexec(mEnv.folder("res/scripts") + "autoexec.py");
        QVERIFY(autoexec.open(QIODevice::WriteOnly));
        autoexec.close();
        QVERIFY(VnOS->IsStarted());
        mWindow = new TmMain;
        mLog = new TmErrorLog(*mWindow, *host());
        host()->Write("early one\r\n");
        host()->Write("early two\r\n");
        mConsole = new TmConsoleWindow(*mWindow, *host());
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mWindow));
        PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
        PyObject* leave = PyCFunction_New(&kLeaveRuntimeError, nullptr);
        QCOMPARE(PyDict_SetItemString(globals, "leave_runtime_error", leave), 0);
        Py_DECREF(leave);
        QCOMPARE(PyRun_SimpleString("light = vorn.os.CreateInstance('kalix.KxLight')\n"
                                    "class Raises:\n"
                                    "    def __dir__(self):\n"
                                    "        return vorn.os.CreateInstance('nosuch.Thing')\n"
                                    "class Leaves:\n"
                                    "    def __dir__(self):\n"
                                    "        return leave_runtime_error()\n"
                                    "raises, leaves = Raises(), Leaves()\n"
                                    "class Costly:\n"
                                    "    runs = 0\n"
                                    "    @property\n"
                                    "    def text(self):\n"
                                    "        Costly.runs += 1\n"
                                    "        return 'x'\n"
                                    "    def __getitem__(self, i):\n"
                                    "        Costly.runs += 1\n"
                                    "        return 'x'\n"
                                    "costly = Costly()\n"
                                    "w = Costly(); w.models = [0, 'text']\n"),
                 0);
    }

    // Catches output written before the console existed being lost, reordered or kept pending.
    void earlyOutputComesFirst() {
        const QString text = shown();
        QVERIFY2(text.startsWith("> import autoexec\n> import vorn\n"), qPrintable(text));
        QVERIFY(text.indexOf("> rot = ") < text.indexOf("early one\nearly two\n"));
        QVERIFY(host()->PendingOutput().isEmpty());
        QCOMPARE(mConsole->ConsolePanel()->parentWidget(),
                 mWindow->findChild<QWidget*>("mPanelBottom"));
        QCOMPARE(mLog->ErrorPanel()->parentWidget()->objectName(), QString("mErrorsSheet"));
    }

    void init() {
        if (QByteArray(QTest::currentTestFunction()) == "earlyOutputComesFirst") return;
        shown();
        mConsole->Console()->clear();
        mConsole->History.clear();
        mConsole->HistoryIndex = 0;
        candidates()->hide();
        input()->clear();
        mConsole->Console()->SetScrollback(TConsoleView::kDefaultScrollback);
        mw::WriteFlag(mw::keys::kConsoleEcho, false);
        mw::WriteFlag(mw::keys::kConsoleHistory, false);
        mWindow->activateWindow();  // a dialog of an earlier test may have had it
        QVERIFY(QTest::qWaitForWindowActive(mWindow));
        input()->setFocus();  // a list of candidates stays open only while the input has it
    }

    void runLine_data() {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("output");
        QTest::newRow("print") << false << "print(1)"
                               << "> print(1)\n1\n";
        QTest::newRow("expression") << false << "1+1"
                                    << "> 1+1\n";
        QTest::newRow("echo expression") << true << "'a' * 2"
                                         << "> 'a' * 2\n'aa'\n";
        QTest::newRow("echo statement") << true << "x = 1+1"
                                        << "> x = 1+1\n";
        QTest::newRow("echo None") << true << "print(1)"
                                   << "> print(1)\n1\n";
        QTest::newRow("echo several lines") << true << "y = 3\ny"
                                            << "> y = 3\ny\n";
    }
    // Catches a lost echo or output, an input left filled, a statement missing from history, and
    // with "Echo Values" checked in the popup menu, a value not shown as the prompt shows it.
    void runLine() {
        QFETCH(bool, echo);
        QFETCH(QString, statement);
        QFETCH(QString, output);
        std::unique_ptr<QMenu> menu(mConsole->MakePopupMenu());
        auto* echoItem = menu->findChild<QAction*>("mEchoValuesItem");
        QVERIFY(echoItem && echoItem->isCheckable() && !echoItem->isChecked());
        if (echo) echoItem->trigger();
        QCOMPARE(mw::SettingFlag(mw::keys::kConsoleEcho, "0"), echo);
        enter(statement);
        QCOMPARE(shown(), output);
        QVERIFY(input()->text().isEmpty());
        QTest::keyClick(input(), Qt::Key_Up);
        QCOMPARE(input()->text(), statement);
        QCOMPARE(input()->cursorPosition(), statement.size());
    }

    void history_data() {
        QTest::addColumn<QStringList>("entered");
        QTest::addColumn<QStringList>("history");
        QTest::newRow("repeat") << QStringList{"a=1", "b=2", "a=1"} << QStringList{"b=2", "a=1"};
        QTest::newRow("case") << QStringList{"x=1", "y=1", "X=1"} << QStringList{"y=1", "X=1"};
    }
    // Catches duplicates kept, a repeat left at its old place and the index not at the end.
    void history() {
        QFETCH(QStringList, entered);
        QFETCH(QStringList, history);
        for (const QString& text : entered) enter(text);
        QCOMPARE(mConsole->History, history);
        QCOMPARE(mConsole->HistoryIndex, history.size());
    }

    // Catches walking past either end of the history, keys reaching the input, Enter on an empty
    // input running something, and F11 replacing the input or leaving the caret behind.
    void inputKeys() {
        enter("a=1");
        enter("b=2");
        QTest::keyClick(input(), Qt::Key_Up);
        QTest::keyClick(input(), Qt::Key_Up);
        QTest::keyClick(input(), Qt::Key_Up);
        QCOMPARE(input()->text(), QString("a=1"));
        QCOMPARE(mConsole->HistoryIndex, 0);
        QTest::keyClick(input(), Qt::Key_Down);
        QTest::keyClick(input(), Qt::Key_Down);
        QCOMPARE(input()->text(), QString("b=2"));
        QCOMPARE(mConsole->HistoryIndex, 1);
        const QString before = shown();
        input()->clear();
        QTest::keyClick(input(), Qt::Key_Return);
        QCOMPARE(shown(), before);
        QCOMPARE(mConsole->History.size(), 2);
        input()->setText("x = ");
        input()->setCursorPosition(0);
        QTest::keyClick(input(), Qt::Key_F11);
        QCOMPARE(input()->text(), QString("x = app.browser.GetSelected()"));
        QCOMPARE(input()->cursorPosition(), input()->text().size());
    }

    void consoleEnter_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("taken");
        QTest::newRow("echo") << "> print(2)\r\n"
                              << "print(2)";
        QTest::newRow("output") << " \t42\x01  \r\n"
                                << "42";
    }
    // Catches the wrong line taken, the prompt or blanks kept, and the console page not selected.
    void consoleEnter() {
        QFETCH(QString, written);
        QFETCH(QString, taken);
        host()->Write("first\r\n" + written + "last\r\n");
        shown();
        auto* pages = mWindow->findChild<QTabWidget*>("mPageBottom");
        pages->setCurrentIndex(1);
        QTextCursor caret(mConsole->Console()->document()->findBlockByNumber(1));
        caret.movePosition(QTextCursor::EndOfBlock);
        mConsole->Console()->setTextCursor(caret);
        const QString log = mConsole->Console()->toPlainText();
        QTest::keyClick(mConsole->Console(), Qt::Key_Return);
        QCOMPARE(input()->text(), taken);
        QCOMPARE(input()->cursorPosition(), taken.size());
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(mConsole->Console()->toPlainText(), log);  // the log is not split at the caret
    }

    // Catches a rich write shown as source, its format leaking into the next plain write, queued
    // writes reordered, dropped or read by the kind of the write before them, and the rest of a
    // long plain write taken for rich text.
    void richAndQueued() {
        host()->Write("@{\\b bold}");
        host()->Write("plain after\r\n");
        QCOMPARE(shown(), QString("@bold\nplain after\n"));
        QTextCharFormat bold = formatAt("bold");
        QCOMPARE(bold.fontWeight(), int(QFont::Bold));
        QCOMPARE(bold.fontFamilies().toStringList(), QStringList{"Arial"});
        QCOMPARE(bold.fontPointSize(), 10.0);
        QVERIFY(formatAt("plain after").fontWeight() != QFont::Bold);
        // rich output in its own sans-serif, plain output monospaced, neither leaking
        const QFont base = mConsole->Console()->document()->defaultFont();
        QVERIFY(!QFontInfo(bold.font().resolve(base)).fixedPitch());
        QVERIFY(QFontInfo(formatAt("plain after").font().resolve(base)).fixedPitch());

        mConsole->Console()->clear();
        for (const char* write : {"one ", "@{\\i two}", "@three", "four\r\n", "five"})
            mConsole->Queue(write);
        QVERIFY(mConsole->Console()->toPlainText().isEmpty());  // nothing before the flush
        QCOMPARE(shown(), QString("one @two\n@three\nfour\nfive"));
        QVERIFY(formatAt("two").fontItalic());
        QVERIFY(!formatAt("three").fontItalic());
        QVERIFY(!formatAt("four").fontFamilies().toStringList().contains("Arial"));

        // a plain write longer than one turn's share is cut at line ends; its rest stays plain
        // even where it begins with "@", and "\r\n" is never split into two breaks
        mConsole->Console()->clear();
        QString longWrite = "first\r\n";
        for (int i = 0; i < 2000; ++i) longWrite += "@{\\b " + QString::number(i) + "}\r\n";
        mConsole->Queue(longWrite);
        enter("");  // Enter on an empty input shows what it can now, not all in one freeze
        QVERIFY(mConsole->Console()->document()->blockCount() > 1);
        QVERIFY(mConsole->Console()->document()->blockCount() < 2001);  // shown over many turns
        QTRY_COMPARE(mConsole->Console()->document()->blockCount(), 2002);
        QCOMPARE(mConsole->Console()->toPlainText(), QString(longWrite).replace("\r\n", "\n"));
        QVERIFY(formatAt("1999").fontWeight() != QFont::Bold);
    }

    // Catches a scrollback that keeps every line (a flood then takes minutes to show), queued
    // lines kept past twice the limit, a missing or miscounted note, and a folded line counted
    // as several or cut when dropping.
    void scrollbackDropsOldest() {
        TConsoleView* view = mConsole->Console();
        view->SetScrollback(3);
        for (int i = 0; i < 9; ++i) host()->Write(QString("line %1\r\n").arg(i));
        QVERIFY(mConsole->QueuedLines() <= 6);
        showAll();
        QCOMPARE(view->toPlainText(), QString("[6 older lines dropped]\nline 6\nline 7\nline 8\n"));
        const QString longLine(2500, 'x');
        host()->Write(longLine + "\r\n");
        host()->Write("last\r\n");
        showAll();
        QCOMPARE(view->Dropped(), 8);
        QCOMPARE(view->Lines(), 3);
        QCOMPARE(row(0), QString("[8 older lines dropped]"));
        QCOMPARE(row(1), QString("line 8"));
        QCOMPARE(TConsoleView::LineOf(view->document()->findBlockByNumber(3)), longLine);
        QCOMPARE(row(5), QString("last"));
    }

    void scrollbackSetting_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("refused");
        QTest::newRow("word") << "ten" << TConsoleView::kDefaultScrollback << true;
        QTest::newRow("zero") << "0" << TConsoleView::kDefaultScrollback << true;
        QTest::newRow("negative") << "-5" << TConsoleView::kDefaultScrollback << true;
        QTest::newRow("too big") << "99999999999" << TConsoleView::kDefaultScrollback << true;
        QTest::newRow("number") << " 2 " << 2 << false;
    }
    // Catches a bad setting taken as a number (0 drops every line) or refused without a word, and
    // a good one not applied, also to the lines already shown.
    void scrollbackSetting() {
        QFETCH(QString, value);
        QFETCH(int, lines);
        QFETCH(bool, refused);
        host()->Write("a\r\nb\r\nc\r\n");
        showAll();
        mw::WriteSetting("console_scrollback", value);
        mConsole->ReadSettings();
        mw::WriteSetting("console_scrollback", "100000");
        QCOMPARE(mConsole->Console()->Scrollback(), lines);
        const QString error = QString(
                                  "console_scrollback: \"%1\" is not a positive whole number "
                                  "of lines; keeping the last 100000 lines\n")
                                  .arg(value);
        QCOMPARE(shown(), refused ? "a\nb\nc\n" + error : "[1 older line dropped]\nb\nc\n");
    }

    // Catches a long line laid out as one block (a freeze of seconds per megabyte), a row that
    // ends inside a character, and the line cut when copied or taken back with Enter.
    void longLineShownWhole() {
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");  // two halves in UTF-16
        const QString line = QString(999, 'a') + smile + QString(1500, 'b') + " ";
        host()->Write(line);  // as print writes it: the text, then the line end
        host()->Write("\r\nnext\r\n");
        showAll();
        QTextDocument* document = mConsole->Console()->document();
        QCOMPARE(document->blockCount(), 5);  // rows of 999, 1000 and 502, "next", the end
        QCOMPARE(row(0).size(), 999);
        QVERIFY(row(1).startsWith(smile));
        QTextCursor all(document);
        all.select(QTextCursor::Document);
        mConsole->Console()->setTextCursor(all);
        mConsole->Console()->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), line + "\nnext\n");
        mConsole->Console()->setTextCursor(QTextCursor(document->findBlockByNumber(1)));
        QTest::keyClick(mConsole->Console(), Qt::Key_Return);
        QCOMPARE(input()->text(), line.trimmed());
    }

    // Catches a runtime error lost, logged twice or left pending by the idle passes after it,
    // and one logged with no console.
    void runtimeError() {
        const int rows = mLog->ErrGrid()->rowCount();
        void* object = nullptr;
        QVERIFY(!VnOS->CreateInstance(VnMakeCLSID("nosuch", "Thing", 1), IID_IRoot, &object));
        QVERIFY(VnOS->HasError(0));
        mWindow->RunIdlePass();
        mWindow->RunIdlePass();
        QVERIFY(!VnOS->HasError(0));
        QCOMPARE(mLog->Errors.size(), 1);
        const QString error = mLog->Errors.last();
        QVERIFY(!error.isEmpty());
        QCOMPARE(shown(), error + "\n");
        QCOMPARE(mLog->ErrGrid()->rowCount(), rows + 1);
        QCOMPARE(mLog->ErrGrid()->item(rows, 2)->text(), error);
        QVERIFY(QTime::fromString(mLog->ErrGrid()->item(rows, 1)->text(), "hh:mm:ss").isValid());
        QVERIFY(!mLog->ErrGrid()->item(rows, 0)->icon().isNull());
    }

    // Catches a view that stops following output typed line by line, and one that pulls the
    // reader back down while they have scrolled up.
    void viewFollowsOutput() {
        mConsole->Console()->clear();
        QScrollBar* bar = mConsole->Console()->verticalScrollBar();
        for (int i = 0; i < 30; ++i) {
            enter(QString("print(%1)").arg(i));
            shown();
        }
        QTRY_VERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());
        bar->setValue(0);  // the user scrolls up to read
        enter("print('more')");
        QTRY_VERIFY(shown().endsWith("more\n"));
        QCOMPARE(bar->value(), 0);
        bar->setValue(bar->maximum());
    }

    // Catches input() and stdin waiting on the process's own stdin, which blocks the window.
    void inputAsksTheUser() {
        AnswerNextModal([](QWidget* dialog) {
            auto* ask = qobject_cast<QInputDialog*>(dialog);
            QVERIFY(ask);
            QCOMPARE(ask->labelText(), QString("name? "));
            ask->setTextValue("bob");
            ask->accept();
        });
        enter("answer = input('name? ')");
        QTRY_COMPARE(EvalPython("answer"), QString("bob"));
        AnswerNextModal([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
        enter(
            "import sys\ntry:\n input()\nexcept EOFError as e:\n declined = (str(e), "
            "sys.stdin.read())");
        QTRY_COMPARE(EvalPython("repr(declined)"), QString("('input cancelled', '')"));
    }

    // Catches the history not kept across runs, kept past its last 1000 entries, a line of
    // several rows split into entries, or written while the setting is off.
    void historyKept() {
        QFile::remove(TmConsoleWindow::HistoryPath());
        enter("unkept = 1");
        QVERIFY(!QFile::exists(TmConsoleWindow::HistoryPath()));
        mw::WriteFlag(mw::keys::kConsoleHistory, true);
        for (int i = 0; i < TmConsoleWindow::kKeptHistory + 5; ++i)
            mConsole->History << QString("n = %1").arg(i);
        enter("s = 'a\\\\b'\nt = 2");
        mConsole->History.clear();
        mConsole->LoadHistory();
        QCOMPARE(mConsole->History.size(), TmConsoleWindow::kKeptHistory);
        QCOMPARE(mConsole->History.first(), QString("n = 6"));
        QCOMPARE(mConsole->History.last(), QString("s = 'a\\\\b'\nt = 2"));
        QCOMPARE(mConsole->HistoryIndex, TmConsoleWindow::kKeptHistory);
    }

    void completionCandidates_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("wanted");
        QTest::newRow("runtime object") << "light.color." << QStringList{"r", "Set(", "SetHSV("};
        QTest::newRow("subscript") << "w.models[1].up" << QStringList{"upper("};
        QTest::newRow("call") << "x = str(1).isdig" << QStringList{"isdigit("};
        QTest::newRow("property") << "costly.text.up" << QStringList{};
        QTest::newRow("item") << "costly[0].up" << QStringList{};
    }
    // Catches members or methods of a runtime object missing from the candidates (its dir()),
    // methods not marked as calls, nothing found after a subscript or a call, candidates given
    // as whole paths rather than names, and completion running a property or __getitem__.
    void completionCandidates() {
        QFETCH(QString, typed);
        QFETCH(QStringList, wanted);
        const QStringList found = host()->Complete(typed);
        for (const QString& name : wanted)
            QVERIFY2(found.contains(name), qPrintable(found.join(' ')));
        QCOMPARE(EvalPython("Costly.runs"), QString("0"));
    }

    // Catches the only candidate not put in place of the name before the caret, text after the
    // caret lost, a list shown for one candidate or none, and Tab after blanks no longer moving
    // the focus on.
    void tabInsertsTheOnlyCandidate() {
        tab("x = light.inten");
        QCOMPARE(input()->text(), QString("x = light.intensity"));
        tab("light.col.r", 2);
        QCOMPARE(input()->text(), QString("light.color.r"));
        QCOMPARE(input()->cursorPosition(), 11);
        tab("nosuchname");
        QCOMPARE(input()->text(), QString("nosuchname"));
        QVERIFY(!candidates()->isVisible());
        tab("  ");
        QCOMPARE(input()->text(), QString("  "));
        QVERIFY(!input()->hasFocus());  // Tab moved the focus on, as it does elsewhere
    }

    // Catches several candidates not completed to their common part or not listed, typing that
    // does not filter the list, and keys on the list that do not pick (or run the line).
    void tabListsSeveral() {
        tab("c = light.color.S");
        QCOMPARE(input()->text(), QString("c = light.color.Set"));
        QVERIFY(candidates()->isVisible());
        QCOMPARE(candidates()->model()->rowCount(), 2);
        QTest::keyClick(candidates(), Qt::Key_Down);
        QTest::keyClick(candidates(), Qt::Key_Return);
        QCOMPARE(input()->text(), QString("c = light.color.SetHSV("));
        QVERIFY(!candidates()->isVisible());
        QVERIFY(mConsole->History.isEmpty());

        tab("light.color.S");
        QTest::keyClick(candidates(), 'H');
        QCOMPARE(input()->text(), QString("light.color.SetH"));
        QCOMPARE(candidates()->model()->rowCount(), 1);
        QTest::keyClick(candidates(), Qt::Key_Tab);
        QCOMPARE(input()->text(), QString("light.color.SetHSV("));
    }

    void failingCompletion_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("python error") << "raises.x";
        QTest::newRow("runtime error") << "leaves.x";
    }
    // Catches an error raised while completing printed as the user's, left pending in Python, or
    // a runtime error left for the error log.
    void failingCompletion() {
        QFETCH(QString, typed);
        const qsizetype logged = mLog->Errors.size();
        tab(typed);
        QCOMPARE(input()->text(), typed);
        QVERIFY(!PyErr_Occurred());
        mWindow->RunIdlePass();
        QCOMPARE(mLog->Errors.size(), logged);
        QCOMPARE(shown(), QString());
    }

    // Catches the shut-down's own ending of a statement that still sleeps shown to the user as
    // the statement's error (a GreenletExit traceback in the exit's box).
    void cleanupTestCase() {
        enter("import vorn.synchro; vorn.synchro.Sleep(100000)");
        delete mConsole;
        delete mLog;
        delete mWindow;
        TakeShutdownOutput();
        VnOS->Shutdown();
        const QString said = TakeShutdownOutput();
        QVERIFY2(!said.contains("GreenletExit"), qPrintable(said));
    }
};

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
