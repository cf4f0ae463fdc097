#include "app/tm_main.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/batch_run.h"
#include "app/forms.h"
#include "app/idle_driver.h"
#include "app/mdi_child.h"
#include "app/settings.h"
#include "app/tm_about_box.h"
#include "app/tm_config_dialog.h"
#include "app/version.h"
#include "platform/message_box.h"
#include "platform/virtual_keys.h"
#include "script/macro.h"
#include "script/script_host.h"

namespace {

QWidget* NamedPanel(const char* name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setMinimumWidth(50);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    return panel;
}

// Hands hovered macro buttons, or every key before any shortcut sees it, to the macro handlers.
class MacroEvents : public QObject {
public:
    MacroEvents(TmMain* main, bool keys) : QObject(main), mWindow(main), mKeys(keys) {}

    bool eventFilter(QObject* watched, QEvent* e) override {
        const QEvent::Type type = e->type();
        if (!mKeys) {
            if (type == QEvent::Enter || type == QEvent::MouseMove)
                if (auto* button = qobject_cast<QToolButton*>(watched))
                    mWindow->ToolButton17MouseMove(button);
            return false;
        }
        if (type == QEvent::KeyRelease) mAnswered = false;
        if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(e);
        // one answer per press: its override, the press itself and their propagation share it
        if (!mAnswered || key->key() != mKey || key->modifiers() != mMods) {
            if (!TheMacro().HasKeyPreview()) return false;
            const Qt::KeyboardModifiers mods = key->modifiers();
            const int vk = mw::VirtualKeyFromQt(key->key(), mods, key->nativeVirtualKey());
            mAnswer = vk && mWindow->ApplicationEvents1ShortCut(vk, mods & Qt::ShiftModifier,
                                                                mods & Qt::ControlModifier,
                                                                mods & Qt::AltModifier);
            mAnswered = true;
            mKey = key->key();
            mMods = mods;
        }
        if (mAnswer) e->accept();  // an accepted override keeps the shortcut from firing
        return mAnswer;
    }

private:
    TmMain* mWindow;
    bool mKeys;
    bool mAnswered = false;
    bool mAnswer = false;
    int mKey = 0;
    Qt::KeyboardModifiers mMods;
};

}  // namespace

TmMain::TmMain() {
    setObjectName("mMain");
    setWindowTitle("Mosswick");
    mMain = this;
    setGeometry(92, 124, 836, 742);
    setAcceptDrops(false);
    BuildPanels();
    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildTimeBar();
    BuildStatusBar();
    FormCreate();
}

TmMain::~TmMain() {
    FormDestroy();
    mAlive = false;
    if (mWatcher.joinable()) mWatcher.join();
}

QWidget* TmMain::Panel(const char* name) const { return findChild<QWidget*>(name); }

QAction* TmMain::Action(const char* name) const { return findChild<QAction*>(name); }

void TmMain::SetStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < 3) mStatusPanels[panel]->setText(text);
}

void TmMain::BuildPanels() {
    mVertical = new QSplitter(Qt::Vertical, this);
    mVertical->setObjectName("mClientSplitter");
    mHorizontal = new QSplitter(Qt::Horizontal, mVertical);
    mHorizontal->setObjectName("mSideSplitter");

    mPanelLeft = NamedPanel("mPanelLeft", mHorizontal);
    mPanelLeft->setMinimumHeight(50);
    mPageLeft = new QTabWidget(mPanelLeft);
    mPageLeft->setObjectName("mPageLeft");
    mPanelLeft->layout()->addWidget(mPageLeft);
    auto* browserSheet = new QWidget;
    browserSheet->setObjectName("mObjectBrowserSheet");
    new QVBoxLayout(browserSheet);
    auto* rotSheet = new QWidget;
    rotSheet->setObjectName("mROTSheet");
    new QVBoxLayout(rotSheet);
    mPageLeft->addTab(browserSheet, "Vorn Surfer");
    mPageLeft->addTab(rotSheet, "Web Surfer");

    mMdi = new QMdiArea(mHorizontal);
    mMdi->setObjectName("mMdiArea");
    mPanelRight = NamedPanel("mPanelRight", mHorizontal);

    mPanelBottom = NamedPanel("mPanelBottom", mVertical);
    mPageBottom = new QTabWidget(mPanelBottom);
    mPageBottom->setObjectName("mPageBottom");
    auto* consoleSheet = new QWidget;
    consoleSheet->setObjectName("mConsoleSheet");
    new QVBoxLayout(consoleSheet);
    auto* errorsSheet = new QWidget;
    errorsSheet->setObjectName("mErrorsSheet");
    new QVBoxLayout(errorsSheet);
    mPageBottom->addTab(consoleSheet, "Console");
    mPageBottom->addTab(errorsSheet, "Errors");
    mPageBottom->hide();  // nothing shows it; its pages are switched while hidden
    mPanelBottom->layout()->addWidget(mPageBottom);

    mHorizontal->setSizes({200, 436, 200});
    mVertical->setSizes({520, 150});
    mHorizontal->handle(1)->setObjectName("Splitter1");
    mHorizontal->handle(2)->setObjectName("Splitter3");
    mVertical->handle(1)->setObjectName("Splitter2");
    setCentralWidget(mVertical);
}

QAction* TmMain::AddAction(const char* name, const QString& caption, const QKeySequence& key,
                           void (TmMain::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    addAction(action);
    return action;
}

void TmMain::BuildActions() {
    AddAction("FileNew1", "&New", QKeySequence("Ctrl+N"), &TmMain::FileNew1Execute);
    AddAction("FileOpen1", "&Open", QKeySequence("Ctrl+O"), &TmMain::FileOpen1Execute);
    // the usual key for closing the active document window; Qt's subwindows do not bind it
    AddAction("FileClose1", "&Close", QKeySequence("Ctrl+F4"), nullptr);
    AddAction("FileSave1", "&Save", QKeySequence("Ctrl+S"), nullptr);
    AddAction("FileSaveAs1", "Save &As...", {}, nullptr);
    AddAction("FileExit1", "E&xit", {}, &TmMain::FileExit1Execute);
    for (const char* name : {"EditCut1", "EditCopy1", "EditPaste1"}) {
        QAction* a = AddAction(name, name, {}, nullptr);
        a->setEnabled(false);
        a->setVisible(false);
    }
    connect(Action("FileClose1"), &QAction::triggered, this,
            [this] { mMdi->closeActiveSubWindow(); });
    AddAction("WindowCascade1", "&Cascade", {}, nullptr);
    AddAction("WindowTileHorizontal1", "Tile &Horizontally", {}, nullptr);
    AddAction("WindowTileVertical1", "Tile &Vertically", {}, nullptr);
    AddAction("WindowMinimizeAll1", "&Minimize All", {}, nullptr);
    AddAction("WindowArrangeAll1", "&Arrange All", {}, nullptr);
    connect(Action("WindowCascade1"), &QAction::triggered, mMdi, &QMdiArea::cascadeSubWindows);
    connect(Action("WindowTileHorizontal1"), &QAction::triggered, mMdi, &QMdiArea::tileSubWindows);
    connect(Action("WindowTileVertical1"), &QAction::triggered, mMdi, &QMdiArea::tileSubWindows);
    connect(Action("WindowArrangeAll1"), &QAction::triggered, mMdi, &QMdiArea::tileSubWindows);
    connect(Action("WindowMinimizeAll1"), &QAction::triggered, this, [this] {
        for (QMdiSubWindow* w : mMdi->subWindowList()) w->showMinimized();
    });
    AddAction("HelpAbout1", "&About...", {}, &TmMain::HelpAbout1Execute);
    AddAction("mViewBrowsePanel", "Browsers", QKeySequence("Ctrl+1"),
              &TmMain::mViewBrowsePanelExecute);
    AddAction("mViewOutputPanel", "Outputters", QKeySequence("Ctrl+2"),
              &TmMain::mViewOutputPanelExecute);
    for (const char* name : {"mViewBrowsePanel", "mViewOutputPanel"}) {
        Action(name)->setCheckable(true);
        Action(name)->setChecked(true);
    }
    AddAction("mViewROTBrowser", "Web Surfer", QKeySequence("Alt+1"),
              &TmMain::mViewROTBrowserExecute);
    AddAction("mViewObjectBrowser", QString::fromUtf8("Vorn Surfer\u2122"), QKeySequence("Alt+2"),
              &TmMain::mViewObjectBrowserExecute);
    AddAction("mViewConsole", "Console", QKeySequence("Alt+3"), &TmMain::mViewConsoleExecute);
    AddAction("mViewErrors", "Errors", QKeySequence("Alt+4"), &TmMain::mViewErrorsExecute)
        ->setVisible(false);
    AddAction("mViewFillscreen", "FillScreen", {}, &TmMain::mViewFillscreenExecute)
        ->setCheckable(true);
    AddAction("mView3D", "Create 3D Window", {}, &TmMain::mView3DExecute);
    AddAction("mViewConfig", "Configure stuff", {}, &TmMain::mViewConfigExecute);
    QAction* timeBar = AddAction("mViewTimeBar", "Time Bar", {}, &TmMain::mViewTimeBarExecute);
    timeBar->setCheckable(true);
}

void TmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("mMainMenu");
    QMenu* file = bar->addMenu("&File");
    file->setObjectName("File1");
    file->setToolTip("File related commands");
    file->addActions({Action("FileNew1"), Action("FileOpen1"), Action("FileClose1"),
                      Action("FileSave1"), Action("FileSaveAs1")});
    file->addSeparator();
    QAction* run = file->addAction("&Run");
    run->setObjectName("mMacroRun");
    run->setVisible(false);
    file->addSeparator()->setVisible(false);
    file->addAction(Action("FileExit1"));

    QMenu* edit = bar->addMenu("&Edit");
    edit->setObjectName("Edit1");
    edit->setToolTip("Edit commands");
    edit->addAction("Cu&t")->setObjectName("Cut1");
    edit->addAction("&Copy")->setObjectName("Copy1");
    QAction* paste = edit->addAction("&Paste many lines to execute");
    paste->setObjectName("PasteItem");
    connect(paste, &QAction::triggered, this, [this] { PasteItemClick(); });

    QMenu* view = bar->addMenu("&View");
    view->setObjectName("View1");
    view->addActions({Action("mViewBrowsePanel"), Action("mViewOutputPanel")});
    view->addSeparator();
    view->addActions({Action("mViewROTBrowser"), Action("mViewObjectBrowser"),
                      Action("mViewConsole"), Action("mViewErrors")});
    view->addSeparator();
    view->addAction(Action("mViewTimeBar"));
    view->addAction(Action("mViewConfig"));
    Action("mViewROTBrowser")->setText("Rats!");

    mMacroMain = bar->addMenu("&Macro");
    mMacroMain->setObjectName("mMacroMain");

    QMenu* window = bar->addMenu("&Window");
    window->setObjectName("Window1");
    window->setToolTip("Window related commands");
    window->addActions({Action("WindowCascade1"), Action("WindowTileHorizontal1"),
                        Action("WindowTileVertical1"), Action("WindowMinimizeAll1"),
                        Action("WindowArrangeAll1")});

    QMenu* help = bar->addMenu("&Help");
    help->setObjectName("Help1");
    help->setToolTip("Help topics");
    help->addAction(Action("HelpAbout1"));
}

void TmMain::BuildToolBar() {
    mMainToolbar = addToolBar("Main");
    mMainToolbar->setObjectName("mMainToolbar");
    mMainToolbar->setMinimumHeight(27);
    auto button = [this](const char* name, const QString& caption, const QString& hint,
                         QAction* action, int image) {
        auto* b = new QToolButton(mMainToolbar);
        b->setObjectName(name);
        if (action) b->setDefaultAction(action);
        b->setText(caption);
        // the bar shows pictures only: a caption's "&" must not take Alt+V or Alt+H from a menu
        b->setShortcut(QKeySequence());
        b->setToolTip(hint.section('|', 0, 0));
        b->setStatusTip(hint.section('|', -1));
        b->setProperty("image", image);  // the picture comes from the shared image list
        mToolActions[name] = mMainToolbar->addWidget(b);  // shows and hides the button
        return b;
    };
    button("ToolButton9", "&New", "New|Create a new file", Action("FileNew1"), 0);
    button("ToolButton1", "&Open", "Open|Open a file", Action("FileOpen1"), 1);
    button("ToolButton2", "&Save", "Save|Save current file", nullptr, 2);
    mMainToolbar->addSeparator();
    button("ToolButton34", "Configure stuff", "Configurations|Show configuration dialog",
           Action("mViewConfig"), 18);
    mMainToolbar->addSeparator();
    button("ToolButton4", "Cu&t", "Cut|Cuts the selection and puts it on the Clipboard", nullptr,
           5);
    button("ToolButton5", "&Copy", "Copy|Copies the selection and puts it on the Clipboard",
           nullptr, 6);
    button("ToolButton6", "&Paste", "Paste|Inserts Clipboard contents", nullptr, 7);
    mMainToolbar->addSeparator();
    button("ToolButton8", "&Cascade", "&Cascade", Action("WindowCascade1"), 8);
    button("ToolButton10", "Tile &Horizontally", "Tile &Horizontally",
           Action("WindowTileHorizontal1"), 10);
    button("ToolButton11", "Tile &Vertically", "Tile &Vertically", Action("WindowTileVertical1"),
           11);
    mMainToolbar->addSeparator();
    button("ToolButton12", "Browsers", "View browsers|Toggle display of browsing panels",
           Action("mViewBrowsePanel"), 13);
    button("ToolButton13", "Outputters", "View console|Toggle display of console",
           Action("mViewOutputPanel"), 14);
    mMainToolbar->addSeparator();
    mFillScreen = button("mFillScreen", "FillScreen",
                         "FillScreen|Make the 3D window cover the whole screen", nullptr, 15);
    mFillScreen->setCheckable(true);
    connect(mFillScreen, &QToolButton::clicked, this, [this] { mViewFillscreenExecute(); });
    button("ToolButton15", "Create 3D Window", "Create 3D|Create 3D Window", Action("mView3D"), 16);
    mMainToolbar->addSeparator();
    for (int tag = 0; tag < 16; ++tag) {
        QString name = tag == 0 ? "ToolButton17" : QString("ToolButton%1").arg(18 + tag);
        QToolButton* macro =
            button(name.toUtf8().constData(), QString(), QString(), nullptr, 60 + tag);
        macro->setProperty("tag", tag);
        mToolActions[name.toUtf8()]->setVisible(false);
    }
    mMainToolbar->addSeparator();
    QToolButton* run = button("ToolButton40", "&Run", QString(), nullptr, 17);
    mToolActions["ToolButton40"]->setVisible(false);
    run->setFixedWidth(50);
}

void TmMain::BuildStatusBar() {
    mStatusBar = statusBar();
    mStatusBar->setObjectName("mStatusBar");
    const int widths[3] = {440, 150, 50};
    for (int i = 0; i < 3; ++i) {
        mStatusPanels[i] = new QLabel(i == 0 ? "Ready" : "", mStatusBar);
        mStatusPanels[i]->setObjectName(QString("mStatusPanel%1").arg(i));
        mStatusPanels[i]->setMinimumWidth(widths[i]);
        mStatusBar->addWidget(mStatusPanels[i], i == 0 ? 1 : 0);
    }
}

void TmMain::FormCreate() {
    StartWatcher();
    mRecordFlag = nullptr;
    mRecordGuard = false;
    mHost = std::make_unique<TScriptHost>(this);
    mHost->Start();
    setWindowTitle(QString("Mosswick (Build %1)").arg(kVersionBuild));
    ReadPanelSizes();
    mClock = VnOS->GetClock();
    findChild<QLineEdit*>("mTimeStart")->setText(QString::number(mClock->currentTime));
    findChild<QLineEdit*>("mTimeSpeed")->setText(QString::number(mClock->speed));
    findChild<QLineEdit*>("mTimeLength")->setText("0.0");
    mSavedSpeed = "1.0";
    setAcceptDrops(true);
    // from the setting: before the window shows, isVisible() is false for every child
    const bool timeBar = mw::SettingFlag("view_timebar", "0");
    mTimeWarp->setVisible(timeBar);
    Action("mViewTimeBar")->setChecked(timeBar);
    auto* timer = new QTimer(this);
    timer->setObjectName("Timer1");
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, [this] { Timer1Timer(); });
    timer->start();
    // the macro folders become menus; hovered macro buttons and every key reach the macros
    TheMacro().BuildTopMenus(menuBar(), 3);
    TheMacro().BuildMenu(mMacroMain, "");
    auto* buttons = new MacroEvents(this, false);
    for (QToolButton* b : mMainToolbar->findChildren<QToolButton*>())
        if (b->property("tag").isValid()) b->installEventFilter(buttons);
    qApp->installEventFilter(new MacroEvents(this, true));
}

void TmMain::ReadPanelSizes() {
    QList<int> sides = mHorizontal->sizes();
    int left = mw::SettingNumber("leftpanel_width", "0");
    int right = mw::SettingNumber("rightpanel_width", "0");
    if (left > 0) sides[0] = left;
    if (right > 0) sides[2] = right;
    mHorizontal->setSizes(sides);
    int bottom = mw::SettingNumber("bottompanel_height", "0");
    if (bottom > 0) mVertical->setSizes({std::max(50, height() - bottom), bottom});
}

void TmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!mActivated) QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TmMain::FormActivate() {
    if (mActivated) return;
    mActivated = true;
    QString readme = QCoreApplication::applicationDirPath() + "/readme.rtf";
    if (QFileInfo::exists(readme)) OpenFile(readme);
    int left = mw::SettingNumber("main_left", "0");
    int top = mw::SettingNumber("main_top", "0");
    int w = mw::SettingNumber("main_width", "0");
    int h = mw::SettingNumber("main_height", "0");
    if (w > 0 && h > 0) {
        QRect screen = QGuiApplication::primaryScreen()->geometry();
        if (left + 20 > screen.width()) left = screen.width() - 20;
        if (top + 20 > screen.height()) top = screen.height() - 20;
        setGeometry(left, top, w, h);
        if (mw::SettingFlag("main_maximized", "0")) showMaximized();
    }
    if (!mw::SettingFlag("view_browsers", "1")) mViewBrowsePanelExecute();
    if (!mw::SettingFlag("view_console", "1")) mViewOutputPanelExecute();
    if (mw::SettingFlag("view_fillscreen", "0")) mFillScreen->setChecked(true);
    if (mw::SettingFlag("view_3d", "0")) mView3DExecute();
}

void TmMain::WriteSettings() {
    mw::WriteNumber("main_left", mRect.left());
    mw::WriteNumber("main_top", mRect.top());
    mw::WriteNumber("main_width", mRect.width());
    mw::WriteNumber("main_height", mRect.height());
    mw::WriteFlag("main_maximized", isMaximized());
    mw::WriteNumber("leftpanel_width", mPanelLeft->width());
    mw::WriteNumber("rightpanel_width", mPanelRight->width());
    mw::WriteNumber("bottompanel_height", mPanelBottom->height());
    mw::WriteFlag("view_browsers", Action("mViewBrowsePanel")->isChecked());
    mw::WriteFlag("view_console", Action("mViewOutputPanel")->isChecked());
    mw::WriteFlag("view_fillscreen", mFillScreen->isChecked());
    mw::WriteFlag("view_timebar", Action("mViewTimeBar")->isChecked());
    mw::WriteSetting("resdir", QString::fromUtf8(VnOS->GetPath(kVnPathResource)));
}

void TmMain::FormDestroy() {
    if (!mHost) return;
    WriteSettings();
    TheMacro().Clear();
    mHost.reset();
}

void TmMain::StoreRect() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && width() == screen->geometry().width()) return;
    if (isMaximized() || isMinimized()) return;
    QRect g = geometry();
    mRect = QRect(g.left(), g.top(), g.width(), g.height());
}

void TmMain::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    StoreRect();
}

void TmMain::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    StoreRect();
}

void TmMain::closeEvent(QCloseEvent* e) {
    if (!TBatchRun::Active() && mw::SettingFlag("confirm_exit", "0") &&
        mw::ShowMessageBox(this, "Do you want to close Mosswick?", "Close Mosswick", 36) == 7) {
        e->ignore();
        return;
    }
    e->accept();
}

void TmMain::StartWatcher() {
    // watches that the window still exists; it touches nothing else
    mWatcher = std::thread([this] {
        while (mAlive.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
}

TMDIChild* TmMain::OpenTextWindow(const QString& caption, const QString& file) {
    auto* child = new TMDIChild(mMdi);
    child->setWindowTitle(caption);
    if (!file.isEmpty()) child->LoadFile(file);
    mMdi->addSubWindow(child);
    child->show();
    return child;
}

void TmMain::OpenFile(const QString& name) {
    int dot = name.lastIndexOf('.');
    if (dot >= 0 && name.mid(dot) == ".py") {
        TheMacro().RunScriptFile(name);
        return;
    }
    OpenTextWindow(name, QFileInfo::exists(name) ? name : QString());
}

void TmMain::FileNew1Execute() {
    OpenTextWindow(QString("NONAME%1").arg(mMdi->subWindowList().size() + 1), QString());
}

void TmMain::FileOpen1Execute() {
    QString name = QFileDialog::getOpenFileName(this, "Open", QString(), "All files (*)");
    if (!name.isEmpty()) OpenFile(name);
}

void TmMain::FileExit1Execute() { close(); }

void TmMain::HelpAbout1Execute() {
    if (mAboutBox) mAboutBox->exec();
}

// Toggles from the panels' own state: a key or button has already flipped the checkable action.
void TmMain::mViewBrowsePanelExecute() {
    const bool show = mPanelLeft->isHidden();
    Action("mViewBrowsePanel")->setChecked(show);
    for (const char* name : {"Splitter1", "mPanelLeft", "mPanelRight", "Splitter3"})
        Panel(name)->setVisible(show);
}

void TmMain::mViewOutputPanelExecute() {
    const bool show = mPanelBottom->isHidden();
    Action("mViewOutputPanel")->setChecked(show);
    for (const char* name : {"mPanelBottom", "Splitter2"}) Panel(name)->setVisible(show);
}

void TmMain::mViewObjectBrowserExecute() {
    if (!Action("mViewBrowsePanel")->isChecked()) mViewBrowsePanelExecute();
    mPageLeft->setCurrentIndex(0);
}

void TmMain::mViewROTBrowserExecute() {
    if (!Action("mViewBrowsePanel")->isChecked()) mViewBrowsePanelExecute();
    mPageLeft->setCurrentIndex(1);
}

void TmMain::mViewErrorsExecute() {
    if (!Action("mViewOutputPanel")->isChecked()) mViewOutputPanelExecute();
    mPageBottom->setCurrentIndex(1);
}

void TmMain::mViewConsoleExecute() { mHost->ShowConsole(); }

void TmMain::mViewFillscreenExecute() {
    // the tool button's down state is what the 3D window obeys; the action mirrors it
    Action("mViewFillscreen")->setChecked(mFillScreen->isChecked());
}

void TmMain::mView3DExecute() {
    // the 3D window arrives with the view subsystem; at most one exists
    if (m3DWindow) m3DWindow->close();
}

void TmMain::mViewConfigExecute() {
    if (mConfigDialog) mConfigDialog->exec();
}

void TmMain::mViewTimeBarExecute() { mTimeWarp->setVisible(Action("mViewTimeBar")->isChecked()); }

void TmMain::PasteItemClick() {
    QString text = QApplication::clipboard()->text();
    if (text.isEmpty()) return;
    const QStringList lines = text.split(QRegularExpression("\r\n|\n|\r"));
    for (const QString& line : lines) mHost->RunLine(line);
}

bool TmMain::ApplicationEvents1ShortCut(int virtualKey, bool shift, bool ctrl, bool alt) {
    return TheMacro().PreviewKey(virtualKey, shift, ctrl, alt);
}

void TmMain::ToolButton17MouseMove(QToolButton* button) {
    const int n = button->property("tag").toInt();
    if (n >= TheMacro().ScriptList.size()) {
        button->setEnabled(false);
        return;
    }
    button->setEnabled(true);
    button->setToolTip(TheMacro().ScriptList[n].section('/', -1));
    if (button->property("macroConnected").toBool()) return;
    button->setProperty("macroConnected", true);
    connect(button, &QToolButton::clicked, this,
            [button] { TheMacro().RunScriptIndex(button->property("tag").toInt()); });
}

void TmMain::DropFiles(const QStringList& files) {
    // whole paths: a Linux path longer than 260 characters names another file when cut
    for (const QString& file : files) OpenFile(file);
}

void TmMain::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TmMain::dropEvent(QDropEvent* e) {
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    e->acceptProposedAction();
    DropFiles(files);
}

bool TmMain::event(QEvent* e) {
    if (e->type() == kPumpEvent) {
        VnOS->Pump();
        if (VnOS->HasError(0)) mHost->RefreshErrors();
        if (IdleDriver()) IdleDriver()->Kick();  // newly due work gets its pass
        return true;
    }
    return QMainWindow::event(e);
}
