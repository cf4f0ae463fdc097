#pragma once

#include <QEvent>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "shell/ishell.h"
#include "vorn/os.h"

class QAction;
class QDialog;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class TScriptHost;
class TMDIChild;
class TPanelSizes;
class TTimeBar;
class TWindowMenu;
class TgData;

// The private message that lets the runtime run (posted by the runtime through PostToApp).
constexpr QEvent::Type kPumpEvent = static_cast<QEvent::Type>(QEvent::User + 123);

// The multi-document main window: docking panels, menus, actions, tool bar, time bar, status
// bar, text windows; it keeps the runtime running while it waits for input. The libraries below
// it reach it only as their shell.
class TEditHistory;

class TmMain : public QMainWindow, public IShell {
    Q_OBJECT
public:
    // A batch run closes without asking and echoes the console to the terminal. The window
    // starts `host` as it is made and lets go of it as it goes; without one it makes its own.
    explicit TmMain(bool batchRun = false, TScriptHost* host = nullptr);
    ~TmMain() override;

    static constexpr int kMacroButtons = 16;
    // The object name of the tool button that runs the macro script with this tag.
    static QString MacroButtonName(int tag);

    TScriptHost* ScriptHost() const { return mHost; }
    QStatusBar* StatusBar() const { return mStatusBar; }
    QMdiArea* MdiArea() const { return mMdi; }
    // The dialogs the View and Help menus open; they are made after the main window.
    void SetDialogs(QDialog* aboutBox, QDialog* configDialog);
    // The history Edit > Undo and Redo walk; made after the main window, outlives it.
    void SetEditHistory(TEditHistory* history);

    QWidget* Place(TShellPlace place) override;
    void ShowPlace(TShellPlace place) override;
    void OpenFiles(const QStringList& files) override { DropFiles(files); }
    bool IsBatchRun() const override { return mBatchRun; }
    void SetStatusText(int panel, const QString& text) override;
    QIcon Image(int index) const override;
    QWidget* DialogParent() override { return this; }
    QMdiSubWindow* AddDocumentWindow(QWidget* content, const QSize& size) override;
    void BringToFront() override;
    // The shared image list, made after the main window.
    void SetImageList(TgData* images);

    // Opens a file: ".py" runs as a script, anything else in a text window.
    void OpenFile(const QString& name);
    TMDIChild* OpenTextWindow(const QString& caption, const QString& file);

    // Handlers of the form, its controls and its commands.
    void FormCreate();
    void FormActivate();
    void FormDestroy();
    void NewTextWindow();
    void ChooseFileToOpen();
    void CloseTextWindow();
    // Save and Save As of the current text window; nothing when the current window is no text.
    void SaveTextWindow();
    void SaveTextWindowAs();
    TMDIChild* CurrentTextWindow() const;
    void ExitTool();
    void CascadeWindows();
    void TileHorizontally();
    void TileVertically();
    void MinimizeWindows();
    void ArrangeIcons();
    void ShowAboutBox();
    void mViewBrowsePanelExecute();
    void mViewOutputPanelExecute();
    void mViewObjectBrowserExecute();
    void mViewROTBrowserExecute();
    void mViewErrorsExecute();
    void mViewConsoleExecute();
    void mViewFillscreenExecute();
    void mView3DExecute();
    void mViewConfigExecute();
    void mViewTimeBarExecute();
    // Shows the Watches window among the documents, making it the first time.
    void mViewWatchesExecute();
    void PasteItemClick();
    // Lets the runtime run and keeps the clock in step with the time bar.
    void RunIdlePass();
    // Milliseconds until the idle pass has work of its own (the clock reaching the end of the
    // time bar's loop), 0 when it has now, -1 when nothing of its own is due.
    int NextIdlePassIn() const;
    static constexpr int kLongestIdleWaitMs = 60 * 1000;
    // Shows frames per second and the clock's time in the status bar.
    void RefreshClockStatus();
    void DropFiles(const QStringList& files);

    QRect StoredRect() const { return mRect; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildPanels();
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    QAction* AddAction(const char* name, const QString& caption, const QKeySequence& key,
                       void (TmMain::*handler)());
    QToolButton* AddToolButton(const char* name, const QString& caption, const QString& hint,
                               QAction* action, int image);
    void AddMacroButtons();
    void StoreRect();
    // Asks about each changed text window; false when the user keeps one open.
    bool TextWindowsMayClose();
    void StartWatcher();
    void StopWatcher();
    void WriteSettings();
    // Wires the watches to the clock and the status bar and reads the kept ones.
    void StartWatches();
    void StopWatches();
    void SampleWatches();
    // A watch's condition became true: the clock stops as the time bar's Stop does.
    void WatchFired(int index, double time);

    const bool mBatchRun;
    std::unique_ptr<TScriptHost> mOwnHost;  // only when none was handed over
    TScriptHost* mHost = nullptr;
    QPointer<QDialog> mAboutBox;
    QPointer<QDialog> mConfigDialog;
    QPointer<TgData> mImages;
    QPointer<QMdiSubWindow> mWatchFrame;
    QWidget* mBrowserSheet = nullptr;
    QWidget* mWebSheet = nullptr;

    QMdiArea* mMdi = nullptr;
    QSplitter* mHorizontal = nullptr;
    QSplitter* mVertical = nullptr;
    QWidget* mPanelLeft = nullptr;
    QWidget* mPanelRight = nullptr;
    QWidget* mPanelBottom = nullptr;
    QTabWidget* mPageLeft = nullptr;
    QTabWidget* mPageBottom = nullptr;
    QWidget* mConsoleSheet = nullptr;
    QWidget* mErrorsSheet = nullptr;
    QToolBar* mMainToolbar = nullptr;
    TTimeBar* mTimeWarp = nullptr;
    QStatusBar* mStatusBar = nullptr;
    QLabel* mStatusPanels[3] = {};
    QMenu* mMacroMain = nullptr;
    TWindowMenu* mWindowMenu = nullptr;
    QToolButton* mFillScreen = nullptr;

    // The commands the window's code uses; the object names are the designer's.
    QAction* mFileNew = nullptr;
    QAction* mFileOpen = nullptr;
    QAction* mFileClose = nullptr;
    QAction* mFileSave = nullptr;
    QAction* mFileSaveAs = nullptr;
    QAction* mFileExit = nullptr;
    QAction* mWindowCascade = nullptr;
    QAction* mWindowTileHorizontal = nullptr;
    QAction* mWindowTileVertical = nullptr;
    QAction* mWindowMinimizeAll = nullptr;
    QAction* mWindowArrangeAll = nullptr;
    QAction* mHelpAbout = nullptr;
    QAction* mViewBrowsePanel = nullptr;
    QAction* mViewOutputPanel = nullptr;
    QAction* mViewROTBrowser = nullptr;
    QAction* mViewObjectBrowser = nullptr;
    QAction* mViewConsole = nullptr;
    QAction* mViewErrors = nullptr;
    QAction* mViewFillscreen = nullptr;
    QAction* mView3D = nullptr;
    QAction* mViewConfig = nullptr;
    QAction* mViewTimeBar = nullptr;
    QAction* mViewWatches = nullptr;
    QAction* mEditUndo = nullptr;
    QAction* mEditRedo = nullptr;
    TEditHistory* mEditHistory = nullptr;

    TPanelSizes* mPanelSizes = nullptr;
    QRect mRect;  // left, top, right, bottom as the user left them
    bool mActivated = false;
    bool m3DClosed = false;  // the 3D window closed and none opened since: nothing draws
    int mIdleDepth = 0;

    // The watcher thread waits until the window goes.
    std::thread mWatcher;
    std::mutex mWatcherMutex;
    std::condition_variable mWatcherWake;
    bool mAlive = true;
};
