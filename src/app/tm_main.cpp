#include "app/tm_main.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
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
#include <memory>

#include "app/app_module.h"
#include "app/application.h"
#include "app/forms.h"
#include "app/macro_button_hints.h"
#include "app/macro_key_preview.h"
#include "app/mdi_child.h"
#include "app/panel_sizes.h"
#include "app/py_ui.h"
#include "app/time_bar.h"
#include "app/time_units.h"
#include "app/version.h"
#include "app/window_menu.h"
#include "browser/tm_vorn_browser.h"
#include "browser/vorn_browser_py.h"
#include "editors/edit_history.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/program_files.h"
#include "script/macro.h"
#include "script/py_driver.h"
#include "script/script_host.h"
#include "shell/images.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "view3d/tm_3d_window.h"
#include "watch/watch_list.h"
#include "watch/watch_window.h"

namespace {

// A caption as plain text: "&&" stands for "&", any other "&" only marks the mnemonic.
QString PlainCaption(const QString& caption) {
    QString plain;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && ++i == caption.size()) break;
        plain += caption[i];
    }
    return plain;
}

// Milliseconds of a steady wall clock, for the watches' sampling rate.
qint64 WallMs() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

QWidget* NamedPanel(const char* name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setMinimumWidth(50);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    return panel;
}

}  // namespace

TmMain::TmMain(bool batchRun, TScriptHost* host) : mBatchRun(batchRun), mHost(host) {
    setObjectName("mMain");
    setWindowTitle("Mosswick");
    setWindowIcon(ProgramImage());
    setGeometry(92, 124, 836, 742);
    setAcceptDrops(false);
    BuildPanels();
    BuildActions();
    BuildMenus();
    BuildToolBar();
    mTimeWarp = new TTimeBar(this, [this] {
        if (mHost) mHost->RefreshErrors();
    });
    addToolBar(mTimeWarp);
    BuildStatusBar();
    FormCreate();
}

TmMain::~TmMain() {
    FormDestroy();
    StopWatcher();
}

QString TmMain::MacroButtonName(int tag) {
    return tag == 0 ? QString("ToolButton17") : QString("ToolButton%1").arg(18 + tag);
}

void TmMain::SetDialogs(QDialog* aboutBox, QDialog* configDialog) {
    mAboutBox = aboutBox;
    mConfigDialog = configDialog;
}

void TmMain::SetEditHistory(TEditHistory* history) {
    mEditHistory = history;
    QUndoStack& stack = history->Stack();
    const auto update = [this, &stack] {
        mEditUndo->setEnabled(stack.canUndo());
        mEditUndo->setText(stack.canUndo() ? "&Undo " + stack.undoText() : "&Undo");
        mEditRedo->setEnabled(stack.canRedo());
        mEditRedo->setText(stack.canRedo() ? "&Redo " + stack.redoText() : "&Redo");
    };
    connect(&stack, &QUndoStack::indexChanged, this, update);
    connect(&stack, &QUndoStack::cleanChanged, this, update);
    connect(&stack, &QUndoStack::canUndoChanged, this, update);
    connect(&stack, &QUndoStack::canRedoChanged, this, update);
    connect(mEditUndo, &QAction::triggered, history, &TEditHistory::Undo);
    connect(mEditRedo, &QAction::triggered, history, &TEditHistory::Redo);
    update();
}

QWidget* TmMain::Place(TShellPlace place) {
    switch (place) {
        case TShellPlace::BottomPanel:
            return mPanelBottom;
        case TShellPlace::ConsolePage:
            return mConsoleSheet;
        case TShellPlace::ErrorsPage:
            return mErrorsSheet;
        case TShellPlace::BrowserPage:
            return mBrowserSheet;
        case TShellPlace::RightPanel:
            return mPanelRight;
        case TShellPlace::WebPage:
            return mWebSheet;
    }
    return nullptr;
}

void TmMain::SetImageList(TgData* images) { mImages = images; }

QIcon TmMain::Image(int index) const { return mImages ? mImages->Image(index) : QIcon(); }

void TmMain::ShowPlace(TShellPlace place) {
    if (place == TShellPlace::BrowserPage || place == TShellPlace::RightPanel) {
        mViewObjectBrowserExecute();
        return;
    }
    if (place == TShellPlace::WebPage) {
        mViewROTBrowserExecute();
        return;
    }
    if (!mViewOutputPanel->isChecked()) mViewOutputPanelExecute();
    if (place == TShellPlace::ConsolePage) mPageBottom->setCurrentIndex(0);
    if (place == TShellPlace::ErrorsPage) mPageBottom->setCurrentIndex(1);
}

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
    mBrowserSheet = new QWidget;
    mBrowserSheet->setObjectName("mObjectBrowserSheet");
    auto* sheetLayout = new QVBoxLayout(mBrowserSheet);
    sheetLayout->setContentsMargins(0, 0, 0, 0);
    mWebSheet = new QWidget;
    mWebSheet->setObjectName("mROTSheet");
    new QVBoxLayout(mWebSheet);
    mWebSheet->layout()->setContentsMargins(0, 0, 0, 0);
    mPageLeft->addTab(mBrowserSheet, "Vorn Surfer");
    mPageLeft->addTab(mWebSheet, "Web Surfer");
    // the web view, and the web engine with it, is made when its page is first shown
    connect(mPageLeft, &QTabWidget::currentChanged, this, [this] {
        if (mPageLeft->currentWidget() == mWebSheet && TheUI().Shell() == this) TheUI().WebView();
    });
    // whole captions: the tabs fit their text and the panel is never narrower than they are
    mPageLeft->setElideMode(Qt::ElideNone);
    mPageLeft->setUsesScrollButtons(false);
    mPanelLeft->setMinimumWidth(std::max(50, mPageLeft->minimumSizeHint().width()));

    mMdi = new QMdiArea(mHorizontal);
    mMdi->setObjectName("mMdiArea");
    mPanelRight = NamedPanel("mPanelRight", mHorizontal);

    mPanelBottom = NamedPanel("mPanelBottom", mVertical);
    mPageBottom = new QTabWidget(mPanelBottom);
    mPageBottom->setObjectName("mPageBottom");
    mConsoleSheet = new QWidget;
    mConsoleSheet->setObjectName("mConsoleSheet");
    new QVBoxLayout(mConsoleSheet);
    mErrorsSheet = new QWidget;
    mErrorsSheet->setObjectName("mErrorsSheet");
    new QVBoxLayout(mErrorsSheet);
    mPageBottom->addTab(mConsoleSheet, "Console");
    mPageBottom->addTab(mErrorsSheet, "Errors");
    mPageBottom->hide();  // nothing shows it; its pages are switched while hidden
    mPanelBottom->layout()->addWidget(mPageBottom);

    mPanelSizes = new TPanelSizes(mHorizontal, mVertical, this);
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
    struct Entry {
        QAction* TmMain::*member;
        const char* name;
        const char* caption;
        const char* key;
        void (TmMain::*handler)();
    };
    const Entry entries[] = {
        {&TmMain::mFileNew, "FileNew1", "&New", "Ctrl+N", &TmMain::NewTextWindow},
        {&TmMain::mFileOpen, "FileOpen1", "&Open", "Ctrl+O", &TmMain::ChooseFileToOpen},
        // the usual key for closing the active document window; Qt's subwindows do not bind it
        {&TmMain::mFileClose, "FileClose1", "&Close", "Ctrl+F4", &TmMain::CloseTextWindow},
        {&TmMain::mFileSave, "FileSave1", "&Save", "Ctrl+S", &TmMain::SaveTextWindow},
        {&TmMain::mFileSaveAs, "FileSaveAs1", "Save &As...", "", &TmMain::SaveTextWindowAs},
        {&TmMain::mFileExit, "FileExit1", "E&xit", "", &TmMain::ExitTool},
        {&TmMain::mWindowCascade, "WindowCascade1", "&Cascade", "", &TmMain::CascadeWindows},
        {&TmMain::mWindowTileHorizontal, "WindowTileHorizontal1", "Tile &Horizontally", "",
         &TmMain::TileHorizontally},
        {&TmMain::mWindowTileVertical, "WindowTileVertical1", "Tile &Vertically", "",
         &TmMain::TileVertically},
        {&TmMain::mWindowMinimizeAll, "WindowMinimizeAll1", "&Minimize All", "",
         &TmMain::MinimizeWindows},
        {&TmMain::mWindowArrangeAll, "WindowArrangeAll1", "&Arrange All", "",
         &TmMain::ArrangeIcons},
        {&TmMain::mHelpAbout, "HelpAbout1", "&About...", "", &TmMain::ShowAboutBox},
        {&TmMain::mViewBrowsePanel, "mViewBrowsePanel", "Browsers", "Ctrl+1",
         &TmMain::mViewBrowsePanelExecute},
        {&TmMain::mViewOutputPanel, "mViewOutputPanel", "Outputters", "Ctrl+2",
         &TmMain::mViewOutputPanelExecute},
        {&TmMain::mViewROTBrowser, "mViewROTBrowser", "Web Surfer", "Alt+1",
         &TmMain::mViewROTBrowserExecute},
        {&TmMain::mViewObjectBrowser, "mViewObjectBrowser", "Vorn Surfer\u2122", "Alt+2",
         &TmMain::mViewObjectBrowserExecute},
        {&TmMain::mViewConsole, "mViewConsole", "Console", "Alt+3", &TmMain::mViewConsoleExecute},
        {&TmMain::mViewErrors, "mViewErrors", "Errors", "Alt+4", &TmMain::mViewErrorsExecute},
        {&TmMain::mViewWatches, "mViewWatches", "Watches", "Alt+5", &TmMain::mViewWatchesExecute},
        {&TmMain::mViewFillscreen, "mViewFillscreen", "FillScreen", "",
         &TmMain::mViewFillscreenExecute},
        {&TmMain::mView3D, "mView3D", "Create 3D Window", "", &TmMain::mView3DExecute},
        {&TmMain::mViewConfig, "mViewConfig", "Configure stuff", "", &TmMain::mViewConfigExecute},
        {&TmMain::mViewTimeBar, "mViewTimeBar", "Time Bar", "", &TmMain::mViewTimeBarExecute},
    };
    for (const Entry& e : entries)
        this->*e.member =
            AddAction(e.name, QString::fromUtf8(e.caption), QKeySequence(e.key), e.handler);
    for (const char* name : {"EditCut1", "EditCopy1", "EditPaste1"}) {
        QAction* a = AddAction(name, name, {}, nullptr);
        a->setEnabled(false);
        a->setVisible(false);
    }
    for (QAction* panel : {mViewBrowsePanel, mViewOutputPanel}) {
        panel->setCheckable(true);
        panel->setChecked(true);
    }
    mViewErrors->setVisible(false);
    mViewFillscreen->setCheckable(true);
    mViewTimeBar->setCheckable(true);
}

void TmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("mMainMenu");
    QMenu* file = bar->addMenu("&File");
    file->setObjectName("File1");
    file->setToolTip("File related commands");
    file->addActions({mFileNew, mFileOpen, mFileClose, mFileSave, mFileSaveAs});
    file->addSeparator();
    QAction* run = file->addAction("&Run");
    run->setObjectName("mMacroRun");
    run->setVisible(false);
    file->addSeparator()->setVisible(false);
    file->addAction(mFileExit);

    QMenu* edit = bar->addMenu("&Edit");
    edit->setObjectName("Edit1");
    edit->setToolTip("Edit commands");
    mEditUndo = edit->addAction("&Undo");
    mEditUndo->setObjectName("mEditUndo");
    mEditUndo->setShortcut(QKeySequence("Ctrl+Z"));
    mEditRedo = edit->addAction("&Redo");
    mEditRedo->setObjectName("mEditRedo");
    mEditRedo->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    for (QAction* a : {mEditUndo, mEditRedo}) a->setEnabled(false);
    connect(edit, &QMenu::aboutToShow, this, [this] {
        if (mEditHistory) mEditHistory->Prune();  // the texts name steps that can still apply
    });
    edit->addSeparator();
    edit->addAction("Cu&t")->setObjectName("Cut1");
    edit->addAction("&Copy")->setObjectName("Copy1");
    QAction* paste = edit->addAction("&Paste many lines to execute");
    paste->setObjectName("PasteItem");
    connect(paste, &QAction::triggered, this, [this] { PasteItemClick(); });

    QMenu* view = bar->addMenu("&View");
    view->setObjectName("View1");
    view->addActions({mViewBrowsePanel, mViewOutputPanel});
    view->addSeparator();
    view->addActions({mViewROTBrowser, mViewObjectBrowser, mViewConsole, mViewErrors});
    view->addSeparator();
    view->addAction(mViewWatches);
    view->addAction(mView3D);  // the tool button's only way in from the keyboard
    view->addAction(mViewTimeBar);
    view->addAction(mViewConfig);
    QAction* changes = view->addAction("Changes");
    changes->setObjectName("mViewChanges");
    changes->setShortcut(QKeySequence("Alt+6"));
    connect(changes, &QAction::triggered, this, [] {
        if (TmVornBrowser* browser = TheBrowserPy().Browser()) browser->ShowChanges();
    });
    mViewROTBrowser->setText("Rats!");

    mMacroMain = bar->addMenu("&Macro");
    mMacroMain->setObjectName("mMacroMain");

    mWindowMenu = new TWindowMenu(mMdi, bar);
    bar->addMenu(mWindowMenu);
    mWindowMenu->addActions({mWindowCascade, mWindowTileHorizontal, mWindowTileVertical,
                             mWindowMinimizeAll, mWindowArrangeAll});

    QMenu* help = bar->addMenu("&Help");
    help->setObjectName("Help1");
    help->setToolTip("Help topics");
    help->addAction(mHelpAbout);
}

QToolButton* TmMain::AddToolButton(const char* name, const QString& caption, const QString& hint,
                                   QAction* action, int image) {
    auto* b = new QToolButton(mMainToolbar);
    b->setObjectName(name);
    const QString tip = PlainCaption(hint.section('|', 0, 0));
    const QString status = PlainCaption(hint.section('|', -1));
    if (action) {
        // a button copies its action's picture and hints whenever the action changes (a panel
        // key checks it), so they are the action's; a menu keeps the check mark visible
        action->setToolTip(tip);
        action->setStatusTip(status);
        action->setProperty("image", image);  // the picture comes from the shared image list
        action->setIconVisibleInMenu(!action->isCheckable());
        b->setDefaultAction(action);
    } else {
        b->setText(caption);
        b->setToolTip(tip);
        b->setStatusTip(status);
        b->setProperty("image", image);
    }
    // the bar shows pictures only: a caption's "&" must not take Alt+V or Alt+H from a menu
    b->setShortcut(QKeySequence());
    b->setProperty("barAction", QVariant::fromValue(mMainToolbar->addWidget(b)));
    return b;
}

void TmMain::BuildToolBar() {
    mMainToolbar = addToolBar("Main");
    mMainToolbar->setObjectName("mMainToolbar");
    mMainToolbar->setMinimumHeight(27);
    struct Entry {
        const char* name;
        const char* caption;
        const char* hint;
        QAction* action;
        int image;
    };
    const Entry groups[][5] = {
        {{"ToolButton9", "&New", "New|Create a new file", mFileNew, mw::images::kNew},
         {"ToolButton1", "&Open", "Open|Open a file", mFileOpen, 1},
         {"ToolButton2", "&Save", "Save|Save current file", mFileSave, 2}},
        {{"ToolButton34", "Configure stuff", "Configurations|Show configuration dialog",
          mViewConfig, mw::images::kConfigure}},
        {{"ToolButton4", "Cu&t", "Cut|Cuts the selection and puts it on the Clipboard", nullptr, 5},
         {"ToolButton5", "&Copy", "Copy|Copies the selection and puts it on the Clipboard", nullptr,
          6},
         {"ToolButton6", "&Paste", "Paste|Inserts Clipboard contents", nullptr, 7}},
        {{"ToolButton8", "&Cascade", "&Cascade", mWindowCascade, 8},
         {"ToolButton10", "Tile &Horizontally", "Tile &Horizontally", mWindowTileHorizontal, 10},
         {"ToolButton11", "Tile &Vertically", "Tile &Vertically", mWindowTileVertical, 11}},
        {{"ToolButton12", "Browsers", "View browsers|Toggle display of browsing panels",
          mViewBrowsePanel, 13},
         {"ToolButton13", "Outputters", "View console|Toggle display of console", mViewOutputPanel,
          14}},
    };
    for (const auto& group : groups) {
        for (const Entry& e : group)
            if (e.name) AddToolButton(e.name, e.caption, e.hint, e.action, e.image);
        mMainToolbar->addSeparator();
    }
    mFillScreen =
        AddToolButton("mFillScreen", "FillScreen",
                      "FillScreen|Make the 3D window cover the whole screen", nullptr, 15);
    mFillScreen->setCheckable(true);
    connect(mFillScreen, &QToolButton::clicked, this, [this] { mViewFillscreenExecute(); });
    AddToolButton("ToolButton15", "Create 3D Window", "Create 3D|Create 3D Window", mView3D, 16);
    mMainToolbar->addSeparator();
    AddMacroButtons();
}

void TmMain::AddMacroButtons() {
    for (int tag = 0; tag < kMacroButtons; ++tag) {
        // hovering shows the script's name instead
        const QString hint = QString("Macro %1|Run macro script %1").arg(tag + 1);
        QToolButton* macro = AddToolButton(MacroButtonName(tag).toUtf8().constData(), QString(),
                                           hint, nullptr, mw::images::kFirstMacroButton + tag);
        macro->setProperty("tag", tag);
        macro->property("barAction").value<QAction*>()->setVisible(false);
    }
    mMainToolbar->addSeparator();
    QToolButton* run = AddToolButton("ToolButton40", "&Run", "Run|Run the macro", nullptr, 17);
    run->property("barAction").value<QAction*>()->setVisible(false);
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
    if (!mHost) mHost = (mOwnHost = std::make_unique<TScriptHost>()).get();
    mHost->SetShell(this);
    TheDriver().SetShell(this);
    TheUI().SetShell(this);
    TheUI().SetNavigationReload([this] { ReloadNavigationIn(mMdi->subWindowList()); });
    mHost->Start(AppModule());
    setWindowTitle(QString("Mosswick (Build %1)").arg(kVersionBuild));
    mPanelSizes->Read();
    mTimeWarp->Attach(VnOS->GetClock());
    StartWatches();
    setAcceptDrops(true);
    // from the setting: before the window shows, isVisible() is false for every child
    const bool timeBar = mw::SettingFlag(mw::keys::kViewTimeBar, "0");
    mTimeWarp->setVisible(timeBar);
    mViewTimeBar->setChecked(timeBar);
    auto* timer = new QTimer(this);
    timer->setObjectName("Timer1");
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &TmMain::RefreshClockStatus);
    timer->start();
    // the macro folders become menus; hovered macro buttons and every key reach the macros
    TheMacro().BuildTopMenus(menuBar(), 3);
    TheMacro().BuildMenu(mMacroMain, "");
    auto* hints = new TMacroButtonHints(this);
    for (QToolButton* b : mMainToolbar->findChildren<QToolButton*>())
        if (b->property("tag").isValid()) b->installEventFilter(hints);
    qApp->installEventFilter(new TMacroKeyPreview(this));
}

void TmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!mActivated) QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TmMain::FormActivate() {
    if (mActivated) return;
    mActivated = true;
    QString readme = mw::ProgramFile("readme.rtf");
    if (QFileInfo::exists(readme)) OpenFile(readme);
    int left = mw::SettingNumber(mw::keys::kMainLeft, "0");
    int top = mw::SettingNumber(mw::keys::kMainTop, "0");
    int w = mw::SettingNumber(mw::keys::kMainWidth, "0");
    int h = mw::SettingNumber(mw::keys::kMainHeight, "0");
    if (w > 0 && h > 0) {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        if (left + 20 > screen.width()) left = screen.width() - 20;
        if (top + 20 > screen.height()) top = screen.height() - 20;
        setGeometry(left, top, w, h);
        if (mw::SettingFlag(mw::keys::kMainMaximized, "0")) showMaximized();
    }
    if (!mw::SettingFlag(mw::keys::kViewBrowsers, "1")) mViewBrowsePanelExecute();
    if (!mw::SettingFlag(mw::keys::kViewConsole, "1")) mViewOutputPanelExecute();
    // now that the window has its size, the panels get exactly what was stored
    mPanelSizes->Apply();
    if (mw::SettingFlag(mw::keys::kViewFillScreen, "0")) mFillScreen->setChecked(true);
    if (mw::SettingFlag(mw::keys::kView3D, "0")) mView3DExecute();
}

void TmMain::WriteSettings() {
    mw::WriteNumber(mw::keys::kMainLeft, mRect.left());
    mw::WriteNumber(mw::keys::kMainTop, mRect.top());
    mw::WriteNumber(mw::keys::kMainWidth, mRect.width());
    mw::WriteNumber(mw::keys::kMainHeight, mRect.height());
    mw::WriteFlag(mw::keys::kMainMaximized, isMaximized());
    mPanelSizes->Write();
    mw::WriteFlag(mw::keys::kViewBrowsers, mViewBrowsePanel->isChecked());
    mw::WriteFlag(mw::keys::kViewConsole, mViewOutputPanel->isChecked());
    mw::WriteFlag(mw::keys::kViewFillScreen, mFillScreen->isChecked());
    mw::WriteFlag(mw::keys::kViewTimeBar, mViewTimeBar->isChecked());
    mw::WriteSetting(mw::keys::kResourceDir, QString::fromUtf8(VnOS->GetPath(kVnPathResource)));
}

void TmMain::FormDestroy() {
    if (!mHost) return;
    Tm3DWindow::CloseCurrent();  // it may still print while the console exists
    StopWatches();
    WriteSettings();
    mHost->KeepErrorForExit("The settings could not be stored");
    TheMacro().Clear();
    // scripts that still run (atexit handlers, tasklets ended at exit) are told the tool closes
    TheDriver().SetShell(nullptr);
    TheUI().SetShell(nullptr);
    TheUI().SetNavigationReload(nullptr);  // the document area goes with the window
    mHost->SetShell(nullptr);
    mHost = nullptr;
    mOwnHost.reset();
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
    if (!mBatchRun && mw::SettingFlag(mw::keys::kConfirmExit, "0") &&
        mw::ShowMessageBox(this, "Do you want to close Mosswick?", "Close Mosswick",
                           mw::kMbYesNo | mw::kMbIconQuestion) == mw::kIdNo) {
        e->ignore();
        return;
    }
    if (!TextWindowsMayClose()) {
        e->ignore();
        return;
    }
    e->accept();
}

bool TmMain::TextWindowsMayClose() {
    for (QMdiSubWindow* frame : mMdi->subWindowList())
        if (auto* text = qobject_cast<TMDIChild*>(frame->widget()); text && !text->MayClose()) {
            mMdi->setActiveSubWindow(frame);  // the window the user kept is the one in front
            return false;
        }
    return true;
}

void TmMain::StartWatcher() {
    // watches that the window still exists; it touches nothing else and sleeps until it goes
    mWatcher = std::thread([this] {
        std::unique_lock<std::mutex> lock(mWatcherMutex);
        mWatcherWake.wait(lock, [this] { return !mAlive; });
    });
}

void TmMain::StopWatcher() {
    {
        std::lock_guard<std::mutex> lock(mWatcherMutex);
        mAlive = false;
    }
    mWatcherWake.notify_all();
    if (mWatcher.joinable()) mWatcher.join();
}

QMdiSubWindow* TmMain::AddDocumentWindow(QWidget* content, const QSize& size) {
    // sized before it is added, so the area places it at that size instead of the content's hint
    auto* frame = new QMdiSubWindow;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setWidget(content);
    // an area not laid out yet (the read-me opens right after the window shows) has no room
    const QSize room = mMdi->viewport()->size();
    const bool laidOut = mMdi->isVisible() && room.width() > 100 && room.height() > 100;
    frame->resize(laidOut ? size.boundedTo(room) : size);
    mMdi->addSubWindow(frame);
    frame->show();
    return frame;
}

void TmMain::BringToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

TMDIChild* TmMain::OpenTextWindow(const QString& caption, const QString& file) {
    auto* child = new TMDIChild(this);
    child->setWindowTitle(caption);
    if (!file.isEmpty()) child->LoadFile(file);
    AddDocumentWindow(child, TMDIChild::kOpenSize);
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

void TmMain::NewTextWindow() {
    OpenTextWindow(QString("NONAME%1").arg(mMdi->subWindowList().size() + 1), QString());
}

void TmMain::ChooseFileToOpen() {
    const std::unique_ptr<QFileDialog> dialog(
        mw::NewFileDialog(this, "mOpenDlg", "All files (*)", mw::FileChoice::Open));
    dialog->setWindowTitle("Open");
    if (dialog->exec() == QDialog::Accepted) OpenFile(dialog->selectedFiles().value(0));
}

void TmMain::CloseTextWindow() { mMdi->closeActiveSubWindow(); }

TMDIChild* TmMain::CurrentTextWindow() const {
    // the current one even while the focus is in a panel, as Ctrl+S from the console expects
    QMdiSubWindow* frame = mMdi->currentSubWindow();
    return frame ? qobject_cast<TMDIChild*>(frame->widget()) : nullptr;
}

void TmMain::SaveTextWindow() {
    if (TMDIChild* text = CurrentTextWindow()) text->Save();
}

void TmMain::SaveTextWindowAs() {
    if (TMDIChild* text = CurrentTextWindow()) text->SaveAs();
}

void TmMain::ExitTool() { close(); }

void TmMain::CascadeWindows() { mWindowMenu->Cascade(); }

void TmMain::TileHorizontally() { mWindowMenu->Tile(true); }

void TmMain::TileVertically() { mWindowMenu->Tile(false); }

void TmMain::MinimizeWindows() { mWindowMenu->MinimizeAll(); }

void TmMain::ArrangeIcons() { mWindowMenu->ArrangeIcons(); }

void TmMain::ShowAboutBox() {
    if (mAboutBox) mAboutBox->exec();
}

// Toggles from the panels' own state: a key or button has already flipped the checkable action.
void TmMain::mViewBrowsePanelExecute() {
    const bool show = mPanelLeft->isHidden();
    mViewBrowsePanel->setChecked(show);
    for (QWidget* w : {static_cast<QWidget*>(mHorizontal->handle(1)), mPanelLeft, mPanelRight,
                       static_cast<QWidget*>(mHorizontal->handle(2))})
        w->setVisible(show);
    if (show) mPanelSizes->Apply();
}

void TmMain::mViewOutputPanelExecute() {
    const bool show = mPanelBottom->isHidden();
    mViewOutputPanel->setChecked(show);
    mPanelBottom->setVisible(show);
    mVertical->handle(1)->setVisible(show);
    if (show) mPanelSizes->Apply();
}

void TmMain::mViewObjectBrowserExecute() {
    if (!mViewBrowsePanel->isChecked()) mViewBrowsePanelExecute();
    mPageLeft->setCurrentIndex(0);
}

void TmMain::mViewROTBrowserExecute() {
    if (!mViewBrowsePanel->isChecked()) mViewBrowsePanelExecute();
    mPageLeft->setCurrentIndex(1);
}

void TmMain::mViewErrorsExecute() { ShowPlace(TShellPlace::ErrorsPage); }

void TmMain::mViewConsoleExecute() { mHost->ShowConsole(); }

void TmMain::mViewFillscreenExecute() {
    // the tool button's down state is what the 3D window obeys; the action mirrors it
    mViewFillscreen->setChecked(mFillScreen->isChecked());
    // up again, the button takes the screen back from the fill-screen 3D window
    Tm3DWindow* window = Tm3DWindow::Current();
    if (!mFillScreen->isChecked() && window && window->IsFillScreen()) window->close();
}

void TmMain::mView3DExecute() {
    Tm3DWindow* window = Tm3DWindow::Create(*this, *mHost, mFillScreen->isChecked());
    m3DClosed = false;
    connect(window, &QObject::destroyed, this, [this, window] {
        // a window being destroyed is no longer current; another one may be
        const Tm3DWindow* current = Tm3DWindow::Current();
        if (current && current != window) return;  // replaced: the new one draws
        m3DClosed = true;
        RefreshClockStatus();
    });
}

void TmMain::mViewConfigExecute() {
    if (mConfigDialog) mConfigDialog->exec();
}

void TmMain::mViewTimeBarExecute() { mTimeWarp->setVisible(mViewTimeBar->isChecked()); }

void TmMain::PasteItemClick() {
    QString text = QApplication::clipboard()->text();
    if (text.isEmpty()) return;
    const QStringList lines = text.split(QRegularExpression("\r\n|\n|\r"));
    for (const QString& line : lines) mHost->RunLine(line);
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
        TApplication::KickIdle();  // newly due work gets its pass
        return true;
    }
    return QMainWindow::event(e);
}

void TmMain::RunIdlePass() {
    if (mIdleDepth > 2) return;
    ++mIdleDepth;  // a script started by the pump may open a dialog whose loop idles too
    VnOS->Pump();
    if (VnOS->HasError(0) && mHost) mHost->RefreshErrors();
    mTimeWarp->SteerClock();
    SampleWatches();
    --mIdleDepth;
}

static_assert(TmMain::kLongestIdleWaitMs == TTimeBar::kLongestWaitMs);

int TmMain::NextIdlePassIn() const {
    const int clock = mTimeWarp->NextPassIn();
    const int watches = TWatchList::Shared().NextSampleIn(WallMs());
    return watches >= 0 && (clock < 0 || watches < clock) ? watches : clock;
}

// --- watches ---------------------------------------------------------------------------------

void TmMain::StartWatches() {
    TWatchList& watches = TWatchList::Shared();
    watches.SetOnFire([this](int index, double time) { WatchFired(index, time); });
    watches.SetReporter([this](const QString& text) { SetStatusText(0, text); });
    watches.Load();
}

void TmMain::StopWatches() {
    TWatchList& watches = TWatchList::Shared();
    watches.SetOnFire(nullptr);
    watches.SetReporter(nullptr);
    watches.Forget();  // the settings keep them; their Python references go while Python lives
}

void TmMain::SampleWatches() {
    const VnClock* clock = VnOS->GetClock();
    if (!clock) return;
    TWatchList::Shared().Sample(mw::TicksToSeconds(clock->currentTime), WallMs());
}

void TmMain::WatchFired(int index, double time) {
    mTimeWarp->OnTimeAction(TTimeBar::TimeAction::Stop);
    mTimeWarp->SteerClock();
    const TWatch* watch = TWatchList::Shared().At(index);
    SetStatusText(0, QString("Watch %1 (%2) stopped the clock at %3 s: %4")
                         .arg(index + 1)
                         .arg(watch ? watch->Path() : QString())
                         .arg(time, 0, 'f', 2)
                         .arg(watch ? watch->Condition() : QString()));
}

void TmMain::mViewWatchesExecute() {
    if (!mWatchFrame) {
        mWatchFrame = AddDocumentWindow(new TWatchWindow(TWatchList::Shared()), QSize(640, 420));
        mWatchFrame->setObjectName("mWatchFrame");
    }
    mWatchFrame->showNormal();
    mMdi->setActiveSubWindow(mWatchFrame);
}

void TmMain::RefreshClockStatus() {
    VnOS->Pump();  // the clock is read fresh even when nothing else asked for a pump
    SetStatusText(1, mTimeWarp->ClockStatus(m3DClosed));
}
