// The macro menus: folders and scripts of the macro directory as menus, hints, context entries,
// odd and hostile folders, the running script's name and the key previewer.
#include <Python.h>
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QtTest>

#include "app/tm_main.h"
#include "checks.h"
#include "python_checks.h"
#include "script/macro.h"
#include "script/script_host.h"
#include "test_env.h"

namespace {

[[nodiscard]] bool Write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    CHECK(file.open(QIODevice::WriteOnly));
    file.write(text);
    return true;
}

QStringList Captions(const QWidget* owner) {
    QStringList list;
    for (QAction* a : owner->actions()) list << a->text();
    return list;
}

QMenu* Submenu(QWidget* owner, const QString& caption) {
    for (QAction* a : owner->actions())
        if (a->text() == caption) return a->menu();
    return nullptr;
}

bool Run(const QString& code) { return RunPython(code.toUtf8().constData()); }

}  // namespace

class TestMacros : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    QPointer<TmMain> mWindow;
    QMenuBar mBar;
    QMenu* mMacroMenu = nullptr;

    // Points the macro directory at `dir` and builds the top menus and the &Macro menu.
    [[nodiscard]] bool build(const QString& dir) {
        CHECK(VnOS->SetPath(kVnPathMacro, dir.toUtf8().constData()));
        TheMacro().Clear();
        TheMacro().BuildTopMenus(&mBar, 3);
        TheMacro().BuildMenu(mMacroMenu, "");
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY(Write(mEnv.folder("res/scripts") + "autoexec.py", ""));  // no default world here
        QVERIFY(VnOS->IsStarted());
        for (const char* caption : {"&File", "&Edit", "&View", "&Macro", "&Window"})
            mBar.addMenu(caption);
        mMacroMenu = Submenu(&mBar, "&Macro");
        mWindow = new TmMain;
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(mWindow));
    }

    // Catches wrong menu order or placement, duplicated scripts, the PopupMenu folder shown as a
    // menu, upper-case extensions taken as scripts, and context entries registered twice.
    void foldersBecomeMenus() {
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        QVERIFY(Write(root + "Tools/Align.py",
                      "\"\"\"Line up\"\"\"\n#ctx Transform\n#ctx Transform\n"));
        QVERIFY(Write(root + "Tools/X.PY", "#ctx Transform\n"));
        QVERIFY(Write(root + "Tools/PopupMenu/Hidden.py", ""));
        QVERIFY(Write(root + "Debug/Dump.py", "print(1)\n"));
        QVERIFY(Write(root + "PopupMenu/Pop.py", ""));
        QVERIFY(build(root));

        QCOMPARE(Captions(&mBar),
                 QStringList({"&File", "&Edit", "&View", "&Tools", "&Debug", "&Macro", "&Window"}));
        QCOMPARE(Captions(mMacroMenu), QStringList({"&Debug", "&Tools"}));
        QMenu* top = Submenu(&mBar, "&Tools");
        QMenu* sub = Submenu(mMacroMenu, "&Tools");
        QVERIFY(top && sub);
        QCOMPARE(Captions(top), QStringList({"&Align"}));
        QCOMPARE(Captions(sub), QStringList({"&Align"}));
        QCOMPARE(top->actions()[0]->property("tag"), sub->actions()[0]->property("tag"));
        QCOMPARE(TheMacro().ScriptList.size(), 2);
        QCOMPARE(TheMacro().ScriptList[top->actions()[0]->property("tag").toInt()],
                 root + "Tools/Align.py");
        QCOMPARE(TheMacro().PopupFolder, root + "PopupMenu/");

        QMenu context;
        TheMacro().BuildContextMenu(&context, "TRANSFORM");  // keys ignore case
        QCOMPARE(Captions(&context), QStringList({" &Tools &Align"}));
        QCOMPARE(context.actions()[0]->property("tag"), top->actions()[0]->property("tag"));
        QCOMPARE(context.actions()[0]->statusTip(), QString("Line up"));

        // a second pass replaces the menus instead of adding to them
        QVERIFY(build(root + "Debug/"));
        QCOMPARE(Captions(&mBar).size(), 5);
        QCOMPARE(Captions(mMacroMenu), QStringList({"&Dump"}));
        QCOMPARE(TheMacro().PopupFolder, QString("none"));
    }

    void hints_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("hint");
        QTest::newRow("quoted") << QByteArray("\"\"\"Line up\"\"\"\n") << "Line up";
        QTest::newRow("CRLF") << QByteArray("\"\"\"Line up\"\"\"\r\nx = 1\r\n") << "Line up";
        QTest::newRow("only quotes") << QByteArray("\"\"\"\nText\n\"\"\"\n") << "";
        QTest::newRow("not closed") << QByteArray("\"\"\"Line up\n") << "";
        QTest::newRow("second line") << QByteArray("x = 1\n\"\"\"Line up\"\"\"\n") << "";
        QTest::newRow("UTF-8") << QByteArray("\"\"\"Größe\"\"\"") << "Größe";
    }
    // Catches hints read from the wrong line, with the quotes or line ends left in.
    void hints() {
        QFETCH(QByteArray, text);
        QFETCH(QString, hint);
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("Script.py"), text));
        QVERIFY(build(dir.path()));
        QCOMPARE(mMacroMenu->actions().size(), 1);
        QCOMPARE(mMacroMenu->actions()[0]->statusTip(), hint);
        QCOMPARE(mMacroMenu->actions()[0]->toolTip(), hint.isEmpty() ? "Script" : hint);
    }

    void badFolders_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("empty") << "empty";
        QTest::newRow("unreadable") << "unreadable";
    }
    // Catches a crash, or menus left over from an earlier folder, when the folder cannot be read.
    void badFolders() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString root = dir.path() + "/macros";
        if (kind != "missing") QVERIFY(QDir().mkpath(root));
        if (kind == "unreadable") {
            if (geteuid() == 0) QSKIP("root reads every folder");
            QVERIFY(Write(root + "/Tools/A.py", ""));
            QVERIFY(QFile::setPermissions(root, QFileDevice::WriteOwner));
        }
        QVERIFY(Write(dir.path() + "/old/Tools/Old.py", ""));
        QVERIFY(build(dir.path() + "/old"));
        QVERIFY(build(root));
        QFile::setPermissions(
            root, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(Captions(&mBar).size(), 5);
        QVERIFY(mMacroMenu->actions().isEmpty());
    }

    // Catches a stall or crash on odd names, symlink loops, deep nesting and huge files, and a
    // "#ctx" line read beyond the part of the file that is looked at.
    void hostileFolders() {
        QTemporaryDir dir;
        const QString root = dir.path() + "/";
        for (const char* name : {"a&b.py", " spaced .py", "ünï.py", "new\nline.py", ".hidden.py"})
            QVERIFY(Write(root + "Odd/" + QString::fromUtf8(name), ""));
        QVERIFY(QFile::link(root + "Odd", root + "Odd/loop"));
        QString deep = root + "Deep";
        for (int i = 0; i < 40; ++i) deep += "/d";
        QVERIFY(Write(deep + "/Bottom.py", ""));
        QVERIFY(Write(root + "Big.py", "\"\"\"Big\"\"\"\n#ctx Near\n"));
        {
            QFile big(root + "Big.py");
            QVERIFY(big.open(QIODevice::Append));
            big.write(QByteArray(200 * 1024, 'x') + "\n#ctx Far\n");
            QVERIFY(big.resize(50 * 1024 * 1024));
        }
        QVERIFY(build(root));  // only the head of the big file is read: "Far" is not found
        QCOMPARE(Captions(Submenu(mMacroMenu, "&Odd")),
                 QStringList({"& spaced ", "&a&b", "&loop", "&new\nline", "&ünï"}));
        QVERIFY(Submenu(Submenu(mMacroMenu, "&Odd"), "&loop")->actions().isEmpty());
        int depth = 0;
        for (QMenu* m = Submenu(mMacroMenu, "&Deep"); m; m = Submenu(m, "&d")) ++depth;
        QVERIFY2(depth > 30 && depth <= 34, qPrintable(QString::number(depth)));
        QMenu context;
        TheMacro().BuildContextMenu(&context, "Near");
        QCOMPARE(Captions(&context), QStringList({" &Macro &Big"}));
        TheMacro().BuildContextMenu(&context, "Far");
        QVERIFY(context.actions().isEmpty());
    }

    // Catches scripts left out of the menus because their names are ".py" or not UTF-8, two
    // such names that share one entry, an entry that runs another file than its own, and a
    // failure to read such a file that the console never shows.
    void oddNamesRun() {
        QTemporaryDir dir;
        const QString marker = dir.filePath("ran");
        const QByteArray folder = QFile::encodeName(dir.filePath("Odd")) + '/';
        QVERIFY(QDir().mkpath(dir.filePath("Odd")));
        QByteArray labels;
        for (const QByteArray name : {".py", "bad\xfe.py", "bad\xff.py"}) {
            QFile script;  // QFile cannot name these files: opened by their bytes
            const int fd = open((folder + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            QVERIFY(fd >= 0 && script.open(fd, QIODevice::WriteOnly, QFile::AutoCloseHandle));
            script.write("open(r'" + marker.toUtf8() + "', 'a').write('" + name.toHex() + " ')\n");
            labels += name.toHex() + ' ';
        }
        QVERIFY(build(dir.path()));
        QMenu* odd = Submenu(mMacroMenu, "&Odd");
        QCOMPARE(Captions(odd), QStringList({"&(.py)", "&bad\uFFFD", "&bad\uFFFD"}));
        for (QAction* entry : odd->actions()) entry->trigger();
        QFile ran(marker);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(ran.readAll(), labels);
        QCOMPARE(unlink((folder + "bad\xff.py").constData()), 0);
        mWindow->ScriptHost()->TakePendingOutput();
        odd->actions()[2]->trigger();
        const QString said = mWindow->ScriptHost()->TakePendingOutput();
        QVERIFY2(said.contains("ExecFile: Cannot read " + dir.filePath("Odd/bad\uFFFD.py")),
                 qPrintable(said));
    }

    // Catches a link followed out of the macro folder (one to "/" walks the whole disk) or into a
    // folder already shown, whose entries then multiply with every such link.
    void linksStayInside() {
        QTemporaryDir dir;
        const QString root = dir.path() + "/macros/";
        QVERIFY(Write(dir.path() + "/outside/Far.py", ""));
        QVERIFY(Write(root + "Tools/A/Common.py", ""));
        QVERIFY(QFile::link(dir.path() + "/outside", root + "Away"));
        QVERIFY(QFile::link(root + "Tools/A", root + "Tools/B"));
        QVERIFY(build(root));
        for (QMenu* tools : {Submenu(&mBar, "&Tools"), Submenu(mMacroMenu, "&Tools")}) {
            QCOMPARE(Captions(Submenu(tools, "&A")), QStringList({"&Common"}));
            QVERIFY(Submenu(tools, "&B")->actions().isEmpty());
        }
        QVERIFY(Submenu(&mBar, "&Away")->actions().isEmpty());
        QVERIFY(Submenu(mMacroMenu, "&Away")->actions().isEmpty());
        QCOMPARE(TheMacro().ScriptList, QStringList({root + "Tools/A/Common.py"}));
    }

    void currentScript_data() {
        QTest::addColumn<int>("nameLength");
        QTest::newRow("short") << 8;
        QTest::newRow("longer than the member") << 250;
    }
    // Catches the name not stored before the script runs, or an overrun of its 260 bytes.
    void currentScript() {
        QFETCH(int, nameLength);
        QTemporaryDir dir;
        const QString marker = dir.filePath("seen");
        const QString path =
            dir.filePath(QString(nameLength, 'n') + "/" + QString(200, 's') + ".py");
        QVERIFY(Write(path, QString("import app\nopen(r'%1', 'w').write(app.macro.currentScript)\n")
                                .arg(marker)
                                .toUtf8()));
        TheMacro().RunScriptFile(path);
        QFile seen(marker);
        QVERIFY(seen.open(QIODevice::ReadOnly));
        QCOMPARE(seen.readAll(), path.toUtf8().left(259));
        QVERIFY(!Run("import app\napp.macro.currentScript = 'x'"));  // read-only for scripts
    }

    // Catches a macro button that runs another script than its tag names, shows the whole path
    // as its hint, or stays enabled with no script behind it.
    void macroButtons() {
        QTemporaryDir dir;
        const QString marker = dir.filePath("ran");
        QVERIFY(Write(dir.filePath("Tools/First.py"), ""));
        QVERIFY(Write(dir.filePath("Tools/Second.py"),
                      QString("open(r'%1', 'a').write('second')\n").arg(marker).toUtf8()));
        QVERIFY(build(dir.path()));
        const int second = TheMacro().ScriptList.indexOf(dir.filePath("Tools/Second.py"));
        QVERIFY(second >= 0);
        auto hover = [this](int tag) {
            auto* button = mWindow->findChild<QToolButton*>(TmMain::MacroButtonName(tag));
            QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
            QCoreApplication::sendEvent(button, &enter);
            return button;
        };
        QToolButton* button = hover(second);
        QVERIFY(button->isEnabled());
        QCOMPARE(button->toolTip(), QString("Second.py"));
        hover(second);  // hovering again must not run it twice per click
        button->click();
        QFile ran(marker);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(ran.readAll(), QByteArray("second"));
        QVERIFY(!hover(15)->isEnabled());
    }

    void keyPreview_data() {
        QTest::addColumn<QString>("hook");
        QTest::addColumn<int>("opened");
        QTest::newRow("answers True")
            << "lambda vk, s, c, a: seen.append((vk, s, c, a)) or True" << 0;
        QTest::newRow("answers False")
            << "lambda vk, s, c, a: seen.append((vk, s, c, a)) and 0" << 1;
        QTest::newRow("raises") << "lambda vk, s, c, a: seen.append((vk, s, c, a)) or 1 / 0" << 1;
        QTest::newRow("not callable") << "5" << 1;
    }
    // Catches a key previewer that does not see Ctrl+N first, cannot swallow it, or whose
    // failure swallows keys or escapes.
    void keyPreview() {
        QFETCH(QString, hook);
        QFETCH(int, opened);
        QVERIFY(Run("import app\nseen = []\napp.macro.keypreview = " + hook));
        const int before = mWindow->MdiArea()->subWindowList().size();
        QTest::keyClick(mWindow, Qt::Key_N, Qt::ControlModifier);
        QVERIFY(Run("app.macro.keypreview = None"));
        QCOMPARE(mWindow->MdiArea()->subWindowList().size(), before + opened);
        if (hook != "5") QVERIFY(Run("assert seen.count((78, 0, 1, 0)) == 1, seen"));
    }
};

QTEST_MAIN(TestMacros)
#include "tst_macros.moc"
