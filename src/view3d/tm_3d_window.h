#pragma once

#include <QList>
#include <QPointer>
#include <QTimer>

#include "view3d/frame_view.h"
#include "view3d/navigation.h"
#include "vorn/ref.h"

class IOutput;
class IShell;
class QMdiSubWindow;

// The 3D window: shows what the engine's device "kx:/dev" renders and hands every key, mouse and
// wheel event to the Python navigation object; Scroll Lock saves a screenshot. A document window
// of the main window, or a borderless top-level window that draws into itself in fill-screen
// mode. At most one exists.
class Tm3DWindow : public TFrameView {
    Q_OBJECT
public:
    // Closes the 3D window there is (its navigation is destroyed at once), then opens a new one.
    static Tm3DWindow* Create(IShell& shell, IOutput& output, bool fillScreen);
    // The 3D window there is, or null.
    static Tm3DWindow* Current();
    // Closes and deletes the 3D window there is, before what it prints to goes.
    static void CloseCurrent();

    ~Tm3DWindow() override;

    // frame and caption included, when it is shown normal; it opens maximized
    static constexpr QSize kOpenSize{375, 291};
    static constexpr int kResizeSettleMs = 60;  // a drag's burst of sizes attaches once

    // Runs once, the first time the window is activated: attaches the device, sets its scene
    // and makes the navigation object.
    void FormActivate();
    // Destroys the navigation object and makes a new one from the reloaded module.
    void ReloadNavigation();
    // Saves the picture as the next capture file; false when it could not (the error log says).
    bool SaveScreenshot();

    bool IsFillScreen() const { return mFillScreen; }
    bool HasNavigation() const { return static_cast<bool>(mNavigation); }
    TFrameView* Panel() const { return mPanel; }
    // The document frame, or null in fill-screen mode.
    QMdiSubWindow* Frame() const { return mFrame; }
    // The size the device draws at, 0 x 0 while it is not attached.
    QSize DeviceSize() const { return mDeviceSize; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    Tm3DWindow(IShell& shell, IOutput& output, bool fillScreen);
    void Show();
    // What the device draws into and its size: the panel, or the window itself in fill-screen
    // mode, whose height is not rounded.
    IKxSurface* Target();
    QSize TargetSize() const;
    bool Attach();
    // Lets go of the device and the navigation object; runs once.
    void FormDestroy();
    void FollowResize();
    // Fills what the frame does not cover with the colour the device clears to.
    void FollowClearColour();
    void AddReloadEntry(QMenu* menu);

    IShell& mShell;
    IOutput& mOutput;
    const bool mFillScreen;
    TFrameView* mPanel;
    QMdiSubWindow* mFrame = nullptr;
    VnRef<IKxDevice> mDevice;
    TNavigation mNavigation;
    QSize mDeviceSize;
    QTimer mResizeSettle;
    bool mActivated = false;
    bool mDestroyed = false;
};

// Reloads the navigation of every 3D window among these document windows (a fill-screen 3D
// window is none of them); how many there were.
int ReloadNavigationIn(const QList<QMdiSubWindow*>& documents);
