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
class QLineEdit;
class QMdiArea;
class QMenu;
class QSlider;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class TScriptHost;
class TMDIChild;
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
    void PasteItemClick();
    // Hands a key to the macros' key previewer before any shortcut; true when it took the key.
    bool PreviewMacroKey(int virtualKey, bool shift, bool ctrl, bool alt);
    // A hovered macro button shows its script's name, or is disabled when it has none.
    void PrepareMacroButton(QToolButton* button);
    // Lets the runtime run and keeps the clock in step with the time bar.
    void RunIdlePass();
    // Milliseconds until the idle pass has work of its own (the clock reaching the end of the
    // time bar's loop), 0 when it has now, -1 when nothing of its own is due.
    int NextIdlePassIn() const;
    static constexpr int kLongestIdleWaitMs = 60 * 1000;
    // Shows frames per second and the clock's time in the status bar.
    void RefreshClockStatus();
    enum class TimeAction { Play, Stop, Begin, End, Backward, Forward };
    void OnTimeAction(TimeAction action);
    void mTimeSlideChange(int position);
    void mRecordMovieClick();
    void DropFiles(const QStringList& files);

    QString SavedSpeed() const { return mSavedSpeed; }
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
    void BuildTimeBar();
    void BuildStatusBar();
    QAction* AddAction(const char* name, const QString& caption, const QKeySequence& key,
                       void (TmMain::*handler)());
    QToolButton* AddToolButton(const char* name, const QString& caption, const QString& hint,
                               QAction* action, int image);
    void AddMacroButtons();
    // Lists the open text windows after the Window menu's commands, the active one checked.
    void ListTextWindows(QMenu* menu);
    // Gives the windows that are not minimized equal parts of the area, in a column or a row.
    void TileWindows(bool column);
    void StoreRect();
    void StartWatcher();
    void StopWatcher();
    void ReadPanelSizes();
    void ApplyPanelSizes();
    void KeepPanelSizes();
    void WriteSettings();
    // Reads a time bar field as a number (C conversion: anything else reads 0).
    static double FieldValue(const QLineEdit* field);

    const bool mBatchRun;
    std::unique_ptr<TScriptHost> mOwnHost;  // only when none was handed over
    TScriptHost* mHost = nullptr;
    QPointer<QDialog> mAboutBox;
    QPointer<QDialog> mConfigDialog;
    QPointer<TgData> mImages;
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
    QToolBar* mTimeWarp = nullptr;
    QStatusBar* mStatusBar = nullptr;
    QLabel* mStatusPanels[3] = {};
    QMenu* mMacroMain = nullptr;
    QToolButton* mFillScreen = nullptr;
    QToolButton* mRecordMovie = nullptr;
    QSlider* mTimeSlide = nullptr;
    QLineEdit* mTimeStart = nullptr;
    QLineEdit* mTimeSpeed = nullptr;
    QLineEdit* mTimeLength = nullptr;

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
    QAction* mEditUndo = nullptr;
    QAction* mEditRedo = nullptr;
    TEditHistory* mEditHistory = nullptr;

    int mLeftWidth = 200;  // the panels' sizes as stored, kept while a panel is hidden
    int mRightWidth = 200;
    int mBottomHeight = 150;
    QRect mRect;                           // left, top, right, bottom as the user left them
    VnClock* mClock = nullptr;             // the engine clock, for the life of the window
    QString mSavedSpeed;                   // speed text kept by Stop for Play
    unsigned char* mRecordFlag = nullptr;  // the recorder's "record" byte, once known
    bool mRecordGuard = false;             // set while the idle pass moves the record button
    bool mActivated = false;
    bool mPassDue = false;  // the last pass left work for the next one
    int mIdleDepth = 0;

    // The watcher thread waits until the window goes.
    std::thread mWatcher;
    std::mutex mWatcherMutex;
    std::condition_variable mWatcherWake;
    bool mAlive = true;
};
