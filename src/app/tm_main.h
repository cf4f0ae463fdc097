#pragma once

#include <QEvent>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <atomic>
#include <memory>
#include <thread>

#include "vorn/os.h"

class QAction;
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

// The private message that lets the runtime run (posted by the runtime through PostToApp).
constexpr QEvent::Type kPumpEvent = static_cast<QEvent::Type>(QEvent::User + 123);

// The multi-document main window: docking panels, menus, actions, tool bar, time bar, status
// bar, text windows; it keeps the runtime running while it waits for input.
class TmMain : public QMainWindow {
    Q_OBJECT
public:
    TmMain();
    ~TmMain() override;

    TScriptHost* ScriptHost() const { return mHost.get(); }
    QWidget* Panel(const char* name) const;
    QAction* Action(const char* name) const;
    QStatusBar* StatusBar() const { return mStatusBar; }
    QMdiArea* MdiArea() const { return mMdi; }
    void SetStatusText(int panel, const QString& text);

    // Opens a file: ".py" runs as a script, anything else in a text window.
    void OpenFile(const QString& name);
    TMDIChild* OpenTextWindow(const QString& caption, const QString& file);

    // Handlers, named after their controls and events.
    void FormCreate();
    void FormActivate();
    void FormDestroy();
    void FileNew1Execute();
    void FileOpen1Execute();
    void FileExit1Execute();
    void HelpAbout1Execute();
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
    bool ApplicationEvents1ShortCut(int virtualKey, bool shift, bool ctrl, bool alt);
    void ToolButton17MouseMove(QToolButton* button);
    void ApplicationEvents1Idle();
    void Timer1Timer();
    void OnTimeAction(QObject* sender);
    void mTimeSlideChange(int position);
    void mRecordMovieClick();
    void DropFiles(const QStringList& files);

    // Reads the time bar's three fields as numbers (C conversion: anything else reads 0).
    double FieldValue(const char* name) const;
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
    void StoreRect();
    void StartWatcher();
    void ReadPanelSizes();
    void WriteSettings();

    std::unique_ptr<TScriptHost> mHost;
    QMdiArea* mMdi = nullptr;
    QSplitter* mHorizontal = nullptr;
    QSplitter* mVertical = nullptr;
    QWidget* mPanelLeft = nullptr;
    QWidget* mPanelRight = nullptr;
    QWidget* mPanelBottom = nullptr;
    QTabWidget* mPageLeft = nullptr;
    QTabWidget* mPageBottom = nullptr;
    QToolBar* mMainToolbar = nullptr;
    QToolBar* mTimeWarp = nullptr;
    QStatusBar* mStatusBar = nullptr;
    QLabel* mStatusPanels[3] = {};
    QMenu* mMacroMain = nullptr;
    QToolButton* mFillScreen = nullptr;
    QToolButton* mRecordMovie = nullptr;
    QSlider* mTimeSlide = nullptr;
    QHash<QByteArray, QAction*> mToolActions;  // tool bar buttons are shown through these

    QRect mRect;                           // left, top, right, bottom as the user left them
    VnClock* mClock = nullptr;             // the engine clock, for the life of the window
    QString mSavedSpeed;                   // speed text kept by Stop for Play
    unsigned char* mRecordFlag = nullptr;  // the recorder's "record" byte, once known
    bool mRecordGuard = false;             // set while the idle pass moves the record button
    bool mActivated = false;
    int mIdleDepth = 0;

    std::thread mWatcher;
    std::atomic<bool> mAlive{true};
};
