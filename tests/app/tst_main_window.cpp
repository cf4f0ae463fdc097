// The main window as a user drives it: panels and their keys, dropped and opened files, window
// placement and exit, text windows, the time bar, the configuration dialog and pasted lines.
#include <Python.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "app/forms.h"
#include "app/idle_driver.h"
#include "app/mdi_child.h"
#include "app/tm_about_box.h"
#include "app/tm_config_dialog.h"
#include "app/tm_main.h"
#include "browser/tm_vorn_browser.h"
#include "editors/edit_history.h"
#include "editors/row_editor.h"
#include "modal.h"
#include "runtime_checks.h"
#include "script/macro.h"
#include "script/script_host.h"
#include "shell/settings.h"
#include "test_env.h"
#include "view3d/tm_3d_window.h"
#include "vorn/kalix.h"
#include "vorn/members.h"
#include "vorn/os.h"
#include "vorn/ref.h"
#include "vorn/rot.h"
#include "watch/watch_list.h"

namespace {

// Answers every message box that opens while it lives with `button`, keeping caption and text.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton button) {
        QObject::connect(&mTimer, &QTimer::timeout, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            asked << box->windowTitle() + ": " + box->text();
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->done(0);
        });
        mTimer.start(10);
    }
    QStringList asked;

private:
    QTimer mTimer;
};

// Answers the next file dialog with `name`, or cancels it when `name` is empty; counts it.
void AnswerFileDialog(const QString& name, int* asked) {
    const auto current = [] { return qobject_cast<QFileDialog*>(qApp->activeModalWidget()); };
    AnswerNext(current, [name, asked](QWidget* widget) {
        auto* dialog = static_cast<QFileDialog*>(widget);
        ++*asked;
        if (name.isEmpty()) return dialog->reject();
        TypeFileName(*dialog, name);
        static_cast<QDialog*>(dialog)->accept();
        // a dialog that does not take the name fails the test instead of waiting forever
        if (dialog->isVisible()) {
            qWarning("the file dialog did not take %s", qPrintable(name));
            dialog->reject();
        }
    });
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// The recorder's "record" byte inside the device kx:/dev.
unsigned char* RecordByte() {
    VnRef<IRoot> device;
    if (!VnROT->GetObject("kx:/dev", nullptr, IID_IRoot, device.out(), 0)) return nullptr;
    intptr_t adjust = 0;
    auto* member = VnOS->FindMember("recorder", device->GetTypeInfo(), &adjust);
    auto* recorder = static_cast<IRoot*>(VnMemberStorage(device.get(), member, adjust));
    member = VnOS->FindMember("record", recorder->GetTypeInfo(), &adjust);
    return static_cast<unsigned char*>(VnMemberStorage(recorder, member, adjust));
}

// Whether `icon` shows the picture the program's resources hold as `name` (an image index or
// "program"), as a 16 pixel square.
bool ShowsPicture(const QIcon& icon, const QString& name) {
    const QImage picture = QIcon(":/images/" + name + ".svg").pixmap(16).toImage();
    return !picture.isNull() && icon.pixmap(16).toImage() == picture;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    QPointer<TmMain> mWindow;
    QPointer<TmAboutBox> mAboutBox;
    QPointer<TmConfigDialog> mConfigDialog;
    VnClock* mClock = nullptr;

    QWidget* panel(const char* name) { return mWindow->findChild<QWidget*>(name); }
    QAction* action(const char* name) { return mWindow->findChild<QAction*>(name); }
    QLineEdit* field(const char* name) { return mWindow->findChild<QLineEdit*>(name); }
    QToolButton* button(const char* name) { return mWindow->findChild<QToolButton*>(name); }
    QStringList captions() {
        QStringList list;
        for (QMdiSubWindow* w : mWindow->MdiArea()->subWindowList()) list << w->windowTitle();
        return list;
    }

    // A new window as after a restart: the old one stores its settings as it goes, then
    // `settings` are written over them before the new one reads them.
    bool restart(const QList<QPair<const char*, QString>>& settings = {}) {
        delete mWindow;
        for (const auto& [key, value] : settings) mw::WriteSetting(key, value);
        mWindow = new TmMain;
        mWindow->SetDialogs(mAboutBox, mConfigDialog);
        mWindow->show();
        if (!QTest::qWaitForWindowActive(mWindow)) return false;
        QCoreApplication::processEvents();  // FormActivate runs once the window shows
        return true;
    }

    // Sets the time bar and the clock so that pumping does not move it.
    void stillClock(const QString& start, const QString& length, int64_t now) {
        field("mTimeStart")->setText(start);
        field("mTimeSpeed")->setText("0");
        field("mTimeLength")->setText(length);
        mClock->speed = 0;
        mClock->currentTime = now;
    }

private slots:
    void initTestCase() {
        QVERIFY(mEnv.noDefaultWorld());
        QVERIFY(VnOS->IsStarted());
        QApplication::setQuitOnLastWindowClosed(false);
        mAboutBox = new TmAboutBox;
        mConfigDialog = new TmConfigDialog;
        mWindow = new TmMain;
        mWindow->SetDialogs(mAboutBox, mConfigDialog);
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(mWindow));
        mClock = VnOS->GetClock();
    }

    void panelKeys_data() {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("Ctrl+1") << QKeySequence("Ctrl+1")
                                << QStringList{"mPanelLeft", "mPanelRight", "Splitter1",
                                               "Splitter3"};
        QTest::newRow("Ctrl+2") << QKeySequence("Ctrl+2")
                                << QStringList{"mPanelBottom", "Splitter2"};
    }
    // Catches a panel key whose checkable action toggles twice (once by Qt, once by the handler).
    void panelKeys() {
        QFETCH(QKeySequence, key);
        QFETCH(QStringList, names);
        QVERIFY(restart({{"view_browsers", "1"}, {"view_console", "1"}}));
        for (bool shown : {false, true}) {
            QTest::keySequence(QApplication::activeWindow(), key);
            for (const QString& name : names)
                QVERIFY2(panel(name.toUtf8()) && panel(name.toUtf8())->isVisible() == shown,
                         qPrintable(name));
        }
    }

    // Catches an index of the image list without a picture of its own in the resources, or
    // pictures the SVG support cannot draw.
    void imagesComeFromResources() {
        TgData images;
        for (int i = 0; i < TgData::kImageCount; ++i)
            QVERIFY2(ShowsPicture(images.Image(i), QString::number(i)),
                     qPrintable(QString::number(i)));
    }

    void toolButtons_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("image");
        QTest::newRow("New") << "ToolButton9" << 0;
        QTest::newRow("Save") << "ToolButton2" << 2;
        QTest::newRow("Configure") << "ToolButton34" << 18;
        QTest::newRow("Cascade") << "ToolButton8" << 8;
        QTest::newRow("Tile Horizontally") << "ToolButton10" << 10;
        QTest::newRow("Browsers") << "ToolButton12" << 13;
        QTest::newRow("Outputters") << "ToolButton13" << 14;
        QTest::newRow("Play") << "mTimePlay" << 19;
        QTest::newRow("Stop") << "mTimeStop" << 21;
        QTest::newRow("Begin") << "mTimeBegin" << 23;
        QTest::newRow("End") << "mTimeEnd" << 26;
        QTest::newRow("Backward") << "mTimeBackward" << 24;
        QTest::newRow("Forward") << "mTimeForward" << 25;
        QTest::newRow("Record") << "mRecordMovie" << 27;
    }
    // Catches a tool button without its picture once the image list is made, or one whose
    // picture or plain tooltip is lost when a panel key changes its action.
    void toolButtons() {
        QFETCH(QString, name);
        QFETCH(int, image);
        QVERIFY(restart({{"view_browsers", "1"}, {"view_console", "1"}}));
        TgData images;  // made after the window, as at start-up
        mWindow->SetImageList(&images);
        for (const char* key : {"Ctrl+1", "Ctrl+1", "Ctrl+2", "Ctrl+2"})
            QTest::keySequence(QApplication::activeWindow(), QKeySequence(key));
        QToolButton* b = button(name.toUtf8());
        QVERIFY(ShowsPicture(b->icon(), QString::number(image)));
        QVERIFY(!b->toolTip().isEmpty() && !b->toolTip().contains('&'));
    }

    // Catches a tool button of the main bar or the time bar without a hint, or one showing a
    // caption's "&".
    void toolButtonHints() {
        QStringList faults;
        for (QToolBar* bar : mWindow->findChildren<QToolBar*>())
            for (QToolButton* b :
                 bar->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly))
                if (!b->objectName().startsWith("qt_") &&
                    (b->toolTip().isEmpty() || b->toolTip().contains('&')))
                    faults << b->objectName() + ": " + b->toolTip();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(", ")));
        QCOMPARE(button("ToolButton11")->toolTip(), QString("Tile Vertically"));
    }

    // Catches an about box without the program's picture, or one too small for its text.
    void aboutBoxFits() {
        mAboutBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(mAboutBox));
        QVERIFY(ShowsPicture(mAboutBox->windowIcon(), "program"));
        QVERIFY(ShowsPicture(mWindow->windowIcon(), "program"));
        auto* picture = mAboutBox->findChild<QLabel*>("ProgramIcon");
        QVERIFY(picture && !picture->pixmap().isNull());
        for (QLabel* label : mAboutBox->findChildren<QLabel*>())
            QVERIFY2(label->width() >= label->sizeHint().width() &&
                         label->height() >= label->sizeHint().height(),
                     qPrintable(label->objectName()));
        mAboutBox->hide();
    }

    // Catches Alt+1 that leaves hidden browsers hidden or selects the wrong page.
    void rotBrowserKeyShowsBrowsers() {
        QVERIFY(restart({{"view_browsers", "0"}}));
        QVERIFY(panel("mPanelLeft")->isHidden());
        QTest::keyClick(QApplication::activeWindow(), Qt::Key_1, Qt::AltModifier);
        auto* pages = mWindow->findChild<QTabWidget*>("mPageLeft");
        QVERIFY(panel("mPanelLeft")->isVisible() && panel("mPanelRight")->isVisible());
        QCOMPARE(pages->tabText(pages->currentIndex()), QString("Web Surfer"));
    }

    // Catches a menu whose Alt+letter some other control has taken, so the keyboard cannot
    // open it.
    void menuMnemonics() {
        QVERIFY(restart({}));
        for (QAction* entry : mWindow->menuBar()->actions()) {
            const QKeySequence key = QKeySequence::mnemonic(entry->text());
            QVERIFY2(!key.isEmpty(), qPrintable(entry->text()));
            QTest::keySequence(mWindow, key);
            QTRY_VERIFY2(entry->menu()->isVisible(), qPrintable(entry->text()));
            entry->menu()->hide();
        }
    }

    // Catches Edit > Undo and Redo whose keys or texts do not reach the history.
    void editMenuUndoes() {
        QVERIFY(restart({}));
        VnRef<IRoot> light;
        QVERIFY(VnOS->CreateInstance(VnMakeCLSID("kalix", "KxLight", -1), IID_IRoot, light.out()));
        mw::MemberValue intensity;
        mw::ForEachMember(light.get(), [&](const mw::MemberValue& value, const VnTypeInfo*) {
            if (std::strcmp(value.desc->name, "intensity") == 0) intensity = value;
            return true;
        });
        QVERIFY(intensity.value);
        float& stored = *static_cast<float*>(intensity.value);
        stored = 1;
        TEditHistory history(*mWindow->ScriptHost());
        mWindow->SetEditHistory(&history);
        const TMemberState before = TMemberState::Take(intensity);
        stored = 3;
        history.RecordMember(light.get(), intensity, before);
        auto* undo = mWindow->findChild<QAction*>("mEditUndo");
        auto* redo = mWindow->findChild<QAction*>("mEditRedo");
        QCOMPARE(undo->text(), QString("&Undo Set intensity of KxLight"));
        QVERIFY(!redo->isEnabled());
        QTest::keySequence(mWindow, QKeySequence("Ctrl+Z"));
        QCOMPARE(stored, 1.0f);
        QVERIFY(!undo->isEnabled());
        QCOMPARE(redo->text(), QString("&Redo Set intensity of KxLight"));
        QTest::keySequence(mWindow, QKeySequence("Ctrl+Shift+Z"));
        QCOMPARE(stored, 3.0f);
        QTest::keySequence(mWindow, QKeySequence("Ctrl+Z"));
        QTest::keySequence(mWindow, QKeySequence("Ctrl+Y"));
        QCOMPARE(stored, 3.0f);
        QVERIFY(restart({}));  // the window must not outlive the history it was given
    }

    // Catches the panel state lost at exit, or stored but not applied by the next window.
    void hiddenBrowsersSurviveRestart() {
        QVERIFY(restart({{"view_browsers", "1"}}));
        mWindow->mViewBrowsePanelExecute();
        QVERIFY(restart());
        QCOMPARE(mw::ReadSetting("view_browsers", "?"), QString("0"));
        QVERIFY(panel("mPanelLeft")->isHidden() && panel("mPanelRight")->isHidden());
        QVERIFY(!action("mViewBrowsePanel")->isChecked());
    }

    // Catches the time bar entry missing from the View menu, or its state lost over restarts.
    void timeBarEntryIsRemembered() {
        QVERIFY(restart({{"view_timebar", "0"}}));
        QAction* entry = action("mViewTimeBar");
        QVERIFY(mWindow->findChild<QMenu*>("View1")->actions().contains(entry));
        auto* bar = mWindow->findChild<QToolBar*>("mTimeWarp");
        QVERIFY(!bar->isVisible());
        entry->trigger();
        QVERIFY(bar->isVisible());
        for (int run = 0; run < 2; ++run) {  // shown and checked after each of two restarts
            QVERIFY(restart());
            QVERIFY(mWindow->findChild<QToolBar*>("mTimeWarp")->isVisible());
            QVERIFY(action("mViewTimeBar")->isChecked());
        }
        action("mViewTimeBar")->trigger();
        QVERIFY(!mWindow->findChild<QToolBar*>("mTimeWarp")->isVisible());
        QVERIFY(restart());
        QCOMPARE(mw::ReadSetting("view_timebar", "?"), QString("0"));
        QVERIFY(!mWindow->findChild<QToolBar*>("mTimeWarp")->isVisible());
    }

    // Catches a script that does not run when dropped, or an extension test that ignores case.
    void dropFiles() {
        QTemporaryDir dir;
        const QString marker = dir.filePath("ran");
        for (const char* name : {"x.py", "y.PY"}) {
            QFile script(dir.filePath(name));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(QString("open(r'%1', 'a').write('%2 ')\n").arg(marker, name).toUtf8());
        }
        QVERIFY(restart());
        mWindow->DropFiles({dir.filePath("x.py"), dir.filePath("y.PY")});
        QFile ran(marker);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(ran.readAll(), QByteArray("x.py "));
        QVERIFY(captions().contains(dir.filePath("y.PY")));
        QVERIFY(!captions().contains(dir.filePath("x.py")));
        QCOMPARE(QString::fromUtf8(TheMacro().currentScript), dir.filePath("x.py"));
    }

    void resourceFolder_data() {
        QTest::addColumn<QString>("useAppPath");
        QTest::addColumn<QString>("given");
        QTest::addColumn<bool>("applied");
        QTest::newRow("own folder applied") << "0"
                                            << "own" << true;
        QTest::newRow("none given") << "0"
                                    << "" << false;
        QTest::newRow("application path wins") << "1"
                                               << "own" << false;
        QTest::newRow("stale folder falls back") << "0"
                                                 << "gone" << false;
    }
    // Catches the configured resource folder ignored, applied where the runtime's own stays, or
    // a stored folder that no longer exists taken without a word.
    void resourceFolder() {
        QFETCH(QString, useAppPath);
        QFETCH(QString, given);
        QFETCH(bool, applied);
        QTemporaryDir own;
        const QString folder = given == "own"    ? own.path()
                               : given == "gone" ? own.path() + "/x"
                                                 : "";
        const QString before = QString::fromUtf8(VnOS->GetPath(kVnPathResource));
        VnOS->SetError(0, nullptr, nullptr);
        QVERIFY(restart({{"use_app_path", useAppPath}, {"resdir", folder}}));
        QCOMPARE(PendingError().contains("does not exist"), given == "gone");
        VnOS->SetError(0, nullptr, nullptr);
        const QString now = QString::fromUtf8(VnOS->GetPath(kVnPathResource));
        VnOS->SetPath(kVnPathResource, before.toUtf8().constData());
        mw::WriteSetting("use_app_path", "0");
        mw::WriteSetting("resdir", "");
        QCOMPARE(now, applied ? own.path() + "/" : before);
    }

    void placement_data() {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("maximized");
        QTest::addColumn<int>("expectedLeft");  // -1: the screen width - 20
        QTest::addColumn<bool>("expectMaximized");
        QTest::newRow("off the right edge") << 5000 << 400 << "0" << -1 << false;
        QTest::newRow("on screen") << 30 << 400 << "0" << 30 << false;
        QTest::newRow("no stored width") << 30 << 0 << "1" << 92 << false;
        QTest::newRow("maximized") << 30 << 400 << "1" << 0 << true;
    }
    // Catches a window placed off screen, or placed and maximised from an incomplete record.
    void placement() {
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(QString, maximized);
        QFETCH(int, expectedLeft);
        QFETCH(bool, expectMaximized);
        const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
        QVERIFY(restart({{"main_left", QString::number(left)},
                         {"main_top", "10"},
                         {"main_width", QString::number(width)},
                         {"main_height", "300"},
                         {"main_maximized", maximized}}));
        QCOMPARE(mWindow->isMaximized(), expectMaximized);
        if (!expectMaximized)
            QCOMPARE(mWindow->geometry().left(),
                     expectedLeft < 0 ? screenWidth - 20 : expectedLeft);
        mWindow->showNormal();
        QVERIFY(restart({{"main_width", "0"}, {"main_maximized", "0"}}));
    }

    void confirmExit_data() {
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("confirm") << "1"
                                 << QStringList{"Close Mosswick: Do you want to close Mosswick?"};
        QTest::newRow("no confirm") << "0" << QStringList{};
    }
    // Catches a window that closes although the user answered No, or asks when told not to.
    void confirmExit() {
        QFETCH(QString, confirm);
        QFETCH(QStringList, asked);
        mw::WriteSetting("confirm_exit", confirm);
        BoxAnswerer no(QMessageBox::No);
        QCOMPARE(mWindow->close(), asked.isEmpty());
        QCOMPARE(no.asked, asked);
        QCOMPARE(mWindow->isVisible(), !asked.isEmpty());
        mw::WriteSetting("confirm_exit", "0");
        mWindow->show();
        mWindow->activateWindow();  // the box had it
        QVERIFY(QTest::qWaitForWindowActive(mWindow));
    }

    // Catches new text windows numbered from anything but the open windows.
    void newWindowsAreNumbered() {
        mWindow->MdiArea()->closeAllSubWindows();
        QTRY_VERIFY(mWindow->MdiArea()->subWindowList().isEmpty());
        action("FileNew1")->trigger();
        action("FileNew1")->trigger();
        QCOMPARE(captions(), (QStringList{"NONAME1", "NONAME2"}));
    }

    // Catches a Window menu that does not list the open windows, lists them again on every
    // opening, numbers past nine, checks the wrong one, or whose entries activate no window.
    void windowMenuListsWindows() {
        QMdiArea* area = mWindow->MdiArea();
        area->closeAllSubWindows();
        QTRY_VERIFY(area->subWindowList().isEmpty());
        auto* menu = mWindow->findChild<QMenu*>("Window1");
        auto listed = [menu] {  // what follows the five commands; "*" marks the checked entry
            menu->popup(QPoint());
            menu->hide();
            QStringList list;
            for (QAction* a : menu->actions().mid(5))
                list << (a->isSeparator() ? "-" : a->text() + (a->isChecked() ? " *" : ""));
            return list;
        };
        QCOMPARE(listed(), QStringList());
        for (int i = 0; i < 10; ++i) action("FileNew1")->trigger();
        area->setActiveSubWindow(area->subWindowList()[1]);
        QStringList expected{"-"};
        for (int i = 1; i <= 10; ++i)
            expected << (i <= 9 ? QString("&%1 NONAME%1").arg(i) : "NONAME10") +
                            (i == 2 ? " *" : "");
        QCOMPARE(listed(), expected);
        QCOMPARE(listed(), expected);
        menu->actions()[5 + 3]->trigger();
        QCOMPARE(area->currentSubWindow(), area->subWindowList()[2]);
        area->closeAllSubWindows();
        QTRY_VERIFY(area->subWindowList().isEmpty());
        QCOMPARE(listed(), QStringList());
    }

    void windowCommands_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("tile horizontally") << "WindowTileHorizontal1";
        QTest::newRow("tile vertically") << "WindowTileVertical1";
        QTest::newRow("arrange all") << "WindowArrangeAll1";
    }
    // Catches the commands all doing one grid tile, tiled parts that overlap, leave area empty
    // or take in minimized windows, and icons not lined up along the bottom.
    void windowCommands() {
        QFETCH(QString, command);
        QMdiArea* area = mWindow->MdiArea();
        area->closeAllSubWindows();
        QTRY_VERIFY(area->subWindowList().isEmpty());
        for (int i = 0; i < 4; ++i) action("FileNew1")->trigger();
        const QList<QMdiSubWindow*> windows = area->subWindowList();
        windows[3]->showMinimized();
        windows[3]->move(30, 30);
        QList<QRect> before;
        for (QMdiSubWindow* w : windows) before << w->geometry();
        action(command.toUtf8())->trigger();
        const QRect room = area->viewport()->rect();
        QVERIFY(windows[3]->isMinimized());
        if (command == "WindowArrangeAll1") {
            QCOMPARE(windows[3]->geometry().bottomLeft(), room.bottomLeft());
            for (int i = 0; i < 3; ++i) QCOMPARE(windows[i]->geometry(), before[i]);
            return;
        }
        const bool column = command == "WindowTileHorizontal1";
        const int length = column ? room.height() : room.width();
        int edge = 0;
        for (int i = 0; i < 3; ++i) {
            const QRect g = windows[i]->geometry();
            const QRect expected = column ? QRect(0, edge, room.width(), g.height())
                                          : QRect(edge, 0, g.width(), room.height());
            QCOMPARE(g, expected);
            QVERIFY(qAbs((column ? g.height() : g.width()) - length / 3) <= 1);
            edge += column ? g.height() : g.width();
        }
        QCOMPARE(edge, length);
    }

    void textWindowSizeAndWrap_data() {
        QTest::addColumn<QByteArray>("text");
        QStringList words(2000, "word");
        QTest::newRow("plain") << words.join(' ').toUtf8();
        QTest::newRow("rich") << "{\\rtf1 " + words.join(' ').toUtf8() + "}";
    }
    // Catches text windows opened at the text's size hint, or long lines that do not wrap.
    void textWindowSizeAndWrap() {
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        QFile file(dir.filePath("long.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        TMDIChild* child = mWindow->OpenTextWindow("long", file.fileName());
        auto* frame = qobject_cast<QMdiSubWindow*>(child->parentWidget());
        QVERIFY(frame && !frame->isMaximized());
        QCOMPARE(frame->size(),
                 TMDIChild::kOpenSize.boundedTo(mWindow->MdiArea()->viewport()->size()));
        QVERIFY(child->Editor()->toPlainText().startsWith("word word"));
        QTRY_VERIFY(child->Editor()->verticalScrollBar()->maximum() > 0);  // laid out, wrapped
        QCOMPARE(child->Editor()->horizontalScrollBar()->maximum(), 0);
        frame->close();
    }

    void saveKeepsFilesWhole_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("plain UTF-8") << QByteArray("gr\xc3\xbcn\n") << true;
        QTest::newRow("rich text") << QByteArray("{\\rtf1 bold}") << false;
        QTest::newRow("not UTF-8") << QByteArray("gr\xfcn\n") << false;
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo") << false;
        QTest::newRow("notice") << QByteArray() << false;  // a folder: the window says why
    }
    // Catches Save doing nothing, or writing over a file the window does not hold exactly (a
    // notice, formatted rich text, text decoded with replacements): those ask for a name.
    void saveKeepsFilesWhole() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, inPlace);
        QTemporaryDir dir;
        const QString path = dir.filePath(bytes.isEmpty() ? "folder" : "file.txt");
        if (bytes.isEmpty()) {
            QVERIFY(QDir(dir.path()).mkdir("folder"));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        QPointer<TMDIChild> child = mWindow->OpenTextWindow(path, path);
        child->Editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(child->Editor(), "typed");
        int asked = 0;
        // the question is cancelled first, then answered with another name
        const QString saved = inPlace ? path : dir.filePath("copy.txt");
        if (!inPlace) AnswerFileDialog(QString(), &asked);
        action("FileSave1")->trigger();
        QCOMPARE(child->IsModified(), !inPlace);
        if (!bytes.isEmpty())
            QCOMPARE(FileBytes(path), inPlace ? QByteArray("gr\xc3\xbcn\ntyped") : bytes);
        if (!inPlace) AnswerFileDialog(saved, &asked);
        action("FileSave1")->trigger();
        QCOMPARE(asked, inPlace ? 0 : 2);
        QCOMPARE(FileBytes(saved), child->Editor()->toPlainText().toUtf8());
        QCOMPARE(child->windowTitle(), saved);
        QVERIFY(!child->IsModified());
        child->parentWidget()->close();
        QTRY_VERIFY(!child);
    }

    // Catches changed text thrown away without a word when its window or the tool closes, and
    // Cancel that closes them anyway.
    void closingChangedTextAsks() {
        mWindow->MdiArea()->closeAllSubWindows();
        action("FileNew1")->trigger();
        QPointer<TMDIChild> child = mWindow->CurrentTextWindow();
        QVERIFY(child);
        QTest::keyClicks(child->Editor(), "keep me");
        {
            BoxAnswerer cancel(QMessageBox::Cancel);
            QVERIFY(!mWindow->close());
            QVERIFY(!child->parentWidget()->close());
            QCOMPARE(cancel.asked, QStringList(2, "Mosswick: Save the changes to NONAME1?"));
        }
        QVERIFY(mWindow->isVisible() && child && child->Editor()->toPlainText() == "keep me");
        BoxAnswerer discard(QMessageBox::Discard);
        QVERIFY(child->parentWidget()->close());
        QTRY_VERIFY(!child);
    }

    // Catches a fill-screen 3D window missing from the Window menu, one that stays open when
    // the FillScreen button goes up, and a frame rate that stays up after the window closed.
    void fillScreenWindowFromTheMainWindow() {
        mWindow->MdiArea()->closeAllSubWindows();
        QTRY_VERIFY(mWindow->MdiArea()->subWindowList().isEmpty());
        button("mFillScreen")->click();
        action("mView3D")->trigger();
        QPointer<Tm3DWindow> window = Tm3DWindow::Current();
        QVERIFY(window && window->IsFillScreen());
        auto* menu = mWindow->findChild<QMenu*>("Window1");
        menu->popup(QPoint());
        menu->hide();
        auto* entry = menu->findChild<QAction*>("mFillScreenEntry");
        QVERIFY(entry);
        QCOMPARE(entry->text(), "&1 " + window->windowTitle());
        mClock->framesPerSecond = 30;
        button("mFillScreen")->click();
        QTRY_VERIFY(!window);
        QVERIFY(mWindow->findChild<QLabel*>("mStatusPanel1")->text().startsWith("FPS 0.00"));
        menu->popup(QPoint());
        menu->hide();
        QVERIFY(!menu->findChild<QAction*>("mFillScreenEntry"));
    }

    void leftTabsReadable_data() {
        QTest::addColumn<QString>("width");
        QTest::newRow("default width") << "0";
        QTest::newRow("stored narrower") << "40";
    }
    // Catches tab captions of the left panel cut short, scrolled or clipped by a narrow panel.
    void leftTabsReadable() {
        QFETCH(QString, width);
        QVERIFY(restart({{"leftpanel_width", width}, {"view_browsers", "1"}}));
        QTabBar* bar = mWindow->findChild<QTabWidget*>("mPageLeft")->tabBar();
        QWidget* left = panel("mPanelLeft");
        for (int i = 0; i < bar->count(); ++i) {
            const QRect tab = bar->tabRect(i);
            QVERIFY2(tab.width() > bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                     qPrintable(bar->tabText(i)));
            QVERIFY2(left->rect().contains(QRect(bar->mapTo(left, tab.topLeft()), tab.size())),
                     qPrintable(bar->tabText(i)));
        }
        for (QToolButton* scroll : bar->findChildren<QToolButton*>()) QVERIFY(!scroll->isVisible());
    }

    void rightGridReadable_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("width");
        QTest::newRow("default width") << "0" << 0;
        QTest::newRow("stored width kept") << "230" << 230;
    }
    // Catches a default right panel too narrow for a colour or a vector beside the member names
    // (with room for the grid's scroll bar), and a stored width not kept.
    void rightGridReadable() {
        QFETCH(QString, stored);
        QFETCH(int, width);
        QVERIFY(restart({{"rightpanel_width", stored}, {"view_browsers", "1"}}));
        TEditorKit kit(*mWindow, *mWindow->ScriptHost());
        TmVornBrowser browser(*mWindow, *mWindow->ScriptHost(), kit, QString());
        auto* grid = panel("mPanelRight")->findChild<QTableView*>("mGrid");
        QVERIFY(grid);
        const int shown = panel("mPanelRight")->width();
        if (width) {
            QCOMPARE(shown, width);
            return;
        }
        // the values column takes what the names, the frame, the scroll bar and the indent leave
        const int scrollBar = grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int room = shown - grid->columnWidth(0) - 2 * grid->frameWidth() - scrollBar - 2;
        for (const char* value : {"255 255 255 255", "-1.600, 0.500, 0.000"})
            QVERIFY2(grid->fontMetrics().horizontalAdvance(value) <= room, value);
    }

    void unreadableFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder") << "folder"
                                << "Cannot open";
        QTest::newRow("no permission") << "mode 000"
                                       << "Cannot open";
        QTest::newRow("fifo") << "fifo"
                              << "not a regular file";
        QTest::newRow("larger than the limit") << "sparse"
                                               << "too large";
    }
    // Catches a text window that hangs, reads without bound or shows nothing for a bad file.
    void unreadableFiles() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        if (kind == "mode 000" && geteuid() == 0) QSKIP("root reads any file");
        QTemporaryDir dir;
        const QString path = dir.filePath("file.txt");
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "fifo") {
            QCOMPARE(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == "sparse") QVERIFY(file.resize(TMDIChild::kLargestFile + 1));
            file.close();
            if (kind == "mode 000") QVERIFY(file.setPermissions({}));
        }
        mWindow->OpenFile(path);
        QMdiSubWindow* sub = mWindow->MdiArea()->subWindowList().last();
        QCOMPARE(sub->windowTitle(), path);
        auto* child = qobject_cast<TMDIChild*>(sub->widget());
        QVERIFY2(child->Editor()->toPlainText().contains(message),
                 qPrintable(child->Editor()->toPlainText()));
    }

    void pastedLines_data() {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("lines");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("mixed line ends") << "hits += 1\r\nhits += 1\rhits += 1\nhits += 1" << 4;
        QStringList many(5000, "hits += 1");
        QTest::newRow("thousands") << many.join('\n') << 5000;
    }
    // Catches pasted lines that are dropped, merged, not run, or that crash on an empty clipboard.
    void pastedLines() {
        QFETCH(QString, clipboard);
        QFETCH(int, lines);
        TScriptHost* host = mWindow->ScriptHost();
        host->RunLine("hits = 0");
        host->TakePendingOutput();
        if (clipboard.isEmpty())
            QApplication::clipboard()->clear();
        else
            QApplication::clipboard()->setText(clipboard);
        mWindow->PasteItemClick();
        QCOMPARE(int(host->PendingOutput().count("> hits += 1\r\n")), lines);
        PyObject* hits = PyObject_GetAttrString(PyImport_AddModule("__main__"), "hits");
        QVERIFY(hits);
        QCOMPARE(PyLong_AsLong(hits), long(lines));
        Py_DECREF(hits);
    }

    void timeButtons_data() {
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("texts");  // the speed field after each button
        QTest::newRow("stop, play")
            << "2.5" << QStringList{"mTimeStop", "mTimePlay"} << QStringList{"0.0", "2.5"};
        QTest::newRow("play without stop") << "3" << QStringList{"mTimePlay"} << QStringList{"1.0"};
        QTest::newRow("backward, forward")
            << "2" << QStringList{"mTimeBackward", "mTimeBackward", "mTimeForward", "mTimeForward"}
            << QStringList{"-2.00", "-2.00", "2.00", "2.00"};
    }
    // Catches Play that loses the speed Stop kept, and direction buttons that flip twice.
    void timeButtons() {
        QFETCH(QString, speed);
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, texts);
        QVERIFY(restart());
        field("mTimeSpeed")->setText(speed);
        for (int i = 0; i < buttons.size(); ++i) {
            button(buttons[i].toUtf8())->click();
            QCOMPARE(field("mTimeSpeed")->text(), texts[i]);
        }
    }

    void loopRange_data() {
        QTest::addColumn<QString>("length");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("after");
        QTest::newRow("past the end") << "50" << qint64(151) << qint64(100);
        QTest::newRow("at the end") << "50" << qint64(150) << qint64(150);
        QTest::newRow("before the start") << "50" << qint64(99) << qint64(150);
        QTest::newRow("no length, past") << "0.0" << qint64(151) << qint64(151);
        QTest::newRow("no length, before") << "0.0" << qint64(99) << qint64(99);
    }
    // Catches an idle pass that loops the clock at the wrong edge, or loops with no length.
    void loopRange() {
        QFETCH(QString, length);
        QFETCH(qint64, now);
        QFETCH(qint64, after);
        stillClock("100", length, now);
        mWindow->RunIdlePass();
        QCOMPARE(mClock->currentTime, after);
    }

    // Catches a speed field the idle pass ignores, or one that overrides a recording.
    void idleSetsSpeedUnlessRecording() {
        stillClock("0", "1000", 0);
        field("mTimeSpeed")->setText("0.5");
        mClock->speed = 3;  // as other code may set it
        mWindow->RunIdlePass();
        QCOMPARE(mClock->speed, 0.5);
        button("mRecordMovie")->click();  // down: records, the clock stands still
        QCOMPARE(mClock->speed, 0.0);
        mClock->speed = 3;
        mWindow->RunIdlePass();
        QCOMPARE(mClock->speed, 3.0);
        button("mRecordMovie")->click();
        QVERIFY(RecordByte() && *RecordByte() == 0);
    }

    // Catches a record button that stays down after the recorder stops, or that pops up by
    // running its click handler (which would reset the clock to the start).
    void recorderStopPopsButton() {
        stillClock("0", "0.1", 0);  // a tenth of a second: three frames at 30 per second
        button("mRecordMovie")->click();
        QVERIFY(RecordByte() && *RecordByte() == 1);
        for (int i = 0; i < 500 && button("mRecordMovie")->isChecked(); ++i) {
            mWindow->RunIdlePass();
            QTest::qWait(5);
        }
        QVERIFY(!button("mRecordMovie")->isChecked());
        QCOMPARE(int(*RecordByte()), 0);
        QCOMPARE(mClock->currentTime, kVnTicksPerSecond / 10);
    }

    // Catches an idle driver that leaves the clock past the loop's end, or frozen after a
    // recording, until the user happens to press a key.
    void clockRunsWithoutInput() {
        TIdleDriver idle(*mWindow);
        stillClock("0", "2000000", 0);  // a loop of 0.2 s of clock time
        field("mTimeSpeed")->setText("2");
        QTest::qWait(1500);  // no input: the driver's own passes and the status timer's pump
        QVERIFY(mClock->currentTime >= 0 && mClock->currentTime <= 4000000);  // a pass late at most
        stillClock("0", "0.05", 0);
        button("mRecordMovie")->click();
        field("mTimeSpeed")->setText("1");
        QTRY_VERIFY(!button("mRecordMovie")->isChecked());
        QTRY_COMPARE(mClock->speed, 1.0);
        mClock->speed = 0;
        VnOS->SetPostToApp(nullptr, nullptr);
    }

    void statusText_data() {
        QTest::addColumn<double>("fps");
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<QString>("text");
        QTest::newRow("running") << 59.94 << qint64(125000000) << "FPS 59.94 - Time 12.5";
        QTest::newRow("before zero") << 0.0 << qint64(-125000000) << "FPS 0.00 - Time -12.5";
    }
    // Catches a status panel showing ticks instead of seconds, or a misformatted frame rate.
    void statusText() {
        QFETCH(double, fps);
        QFETCH(qint64, ticks);
        QFETCH(QString, text);
        // a frame has just run with frames a second apart, so RefreshClockStatus's pump runs none
        // and keeps the frame rate set below
        VnOS->SetFrameInterval(1.0);
        const int64_t frames = mClock->frameCount;
        QTRY_VERIFY((VnOS->Pump(), mClock->frameCount != frames));
        mClock->speed = 0;
        mClock->framesPerSecond = fps;
        mClock->currentTime = ticks;
        mWindow->RefreshClockStatus();
        VnOS->SetFrameInterval(1.0 / 60);
        QCOMPARE(mWindow->findChild<QLabel*>("mStatusPanel1")->text(), text);
    }

    // Catches Alt+5 not showing the Watches window among the documents, and a condition that
    // becomes true without stopping the clock as Stop does or saying so in the status bar.
    void watchStopsTheClock() {
        QVERIFY(restart());
        QTest::keySequence(mWindow, QKeySequence("Alt+5"));
        auto* frame = mWindow->findChild<QMdiSubWindow*>("mWatchFrame");
        QVERIFY(frame && frame->isVisible());
        QVERIFY(captions().contains("Watches"));
        PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
        PyRef ran = PyRef::Steal(PyRun_String("class Ball: pass\nball = Ball()\nball.speed = 1.0",
                                              Py_file_input, globals, globals));
        QVERIFY(ran);
        TWatchList& watches = TWatchList::Shared();
        const int index = watches.AddBound(
            "ball.speed", TWatchTarget::Attribute(PyDict_GetItemString(globals, "ball"), "speed"),
            false);
        QString why;
        QVERIFY(watches.SetCondition(index, "value > 2", &why));
        field("mTimeSpeed")->setText("1.0");
        const auto sampled = [&](std::size_t count) {
            mWindow->RunIdlePass();
            const TSampleRing* ring = watches.At(index)->Ring();
            return ring && ring->Size() >= count;
        };
        QVERIFY(QTest::qWaitFor([&] { return sampled(3); }));
        QCOMPARE(field("mTimeSpeed")->text(), QString("1.0"));
        QCOMPARE(PyObject_SetAttrString(PyDict_GetItemString(globals, "ball"), "speed",
                                        PyRef::Steal(PyFloat_FromDouble(3)).get()),
                 0);
        QVERIFY(QTest::qWaitFor([&] { return sampled(1) && watches.At(index)->Fired(); }));
        QCOMPARE(field("mTimeSpeed")->text(), QString("0.0"));
        QCOMPARE(mClock->speed, 0.0);
        const QString said = mWindow->findChild<QLabel*>("mStatusPanel0")->text();
        QVERIFY2(said.startsWith("Watch 1 (ball.speed) stopped the clock at "), qPrintable(said));
        watches.Forget();
    }

    // Catches a dialog showing the stored folder instead of the one the runtime uses.
    void configShowsRuntimeFolder() {
        const QString runtimeDir = QString::fromUtf8(VnOS->GetPath(kVnPathResource));
        mw::WriteSetting("resdir", mEnv.folder("elsewhere"));
        mConfigDialog->show();
        QCOMPARE(mConfigDialog->findChild<QLineEdit*>("mResdir")->text(), runtimeDir);
        mConfigDialog->reject();
        mw::WriteSetting("resdir", runtimeDir);
    }

    void configRefusedFolderKeepsDialog_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << mEnv.file("missing/");
        QTest::newRow("empty") << QString();  // no name is no folder, not the current one
    }
    // Catches OK that closes on a refused folder or changes the runtime's folder anyway.
    void configRefusedFolderKeepsDialog() {
        QFETCH(QString, folder);
        const QByteArray runtimeDir = VnOS->GetPath(kVnPathResource);
        mw::WriteSetting("confirm_exit", "1");
        mConfigDialog->show();
        mConfigDialog->findChild<QCheckBox*>("mConfirmOnExit")->setChecked(false);
        mConfigDialog->findChild<QCheckBox*>("mUseAppPath")->setChecked(false);
        mConfigDialog->findChild<QLineEdit*>("mResdir")->setText(folder);
        BoxAnswerer no(QMessageBox::No);
        mConfigDialog->findChild<QAbstractButton*>("mOK")->click();
        QCOMPARE(no.asked.size(), 1);
        QVERIFY(no.asked[0].startsWith("Hmmm!?!: "));
        QVERIFY(mConfigDialog->isVisible());
        QCOMPARE(mw::ReadSetting("confirm_exit", "?"), QString("0"));
        QCOMPARE(QByteArray(VnOS->GetPath(kVnPathResource)), runtimeDir);
        mConfigDialog->findChild<QAbstractButton*>("mCancel")->click();
        QVERIFY(!mConfigDialog->isVisible());
    }

    // Catches Cancel that stores any of the dialog's changes.
    void configCancelStoresNothing() {
        mw::WriteSetting("confirm_exit", "0");  // the settings file exists whatever ran before
        QFile settings(mEnv.file("settings.json"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray before = settings.readAll();
        settings.close();
        const QByteArray runtimeDir = VnOS->GetPath(kVnPathResource);
        AnswerNextModal([this](QWidget* dialog) {
            for (QCheckBox* box : dialog->findChildren<QCheckBox*>()) box->toggle();
            dialog->findChild<QLineEdit*>("mResdir")->setText(mEnv.folder("other"));
            dialog->findChild<QAbstractButton*>("mCancel")->click();
        });
        action("mViewConfig")->trigger();
        QCOMPARE(mConfigDialog->result(), 2);
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), before);
        QCOMPARE(QByteArray(VnOS->GetPath(kVnPathResource)), runtimeDir);
    }

    // Catches settings that cannot be stored at exit without a word to the user.
    void settingsFailingAtExit() {
        QFile settings(mEnv.file("settings.json"));
        const auto permissions = settings.permissions();
        QVERIFY(settings.setPermissions(QFileDevice::ReadOwner));
        mWindow->resize(mWindow->size() + QSize(17, 11));  // something to store
        TakeShutdownOutput();
        delete mWindow;
        settings.setPermissions(permissions);
        const QString said = TakeShutdownOutput();
        QVERIFY2(said.contains("The settings could not be stored"), qPrintable(said));
        QVERIFY(restart());
    }

    void cleanupTestCase() {
        delete mWindow;
        delete mConfigDialog;
        delete mAboutBox;
        VnOS->Shutdown();
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
