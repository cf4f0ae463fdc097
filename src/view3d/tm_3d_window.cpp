#include "view3d/tm_3d_window.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>

#include "core/member_ref.h"
#include "platform/virtual_keys.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "view3d/capture_file.h"
#include "vorn/os.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"

namespace {

constexpr int kVkEscape = 27;
constexpr int kVkScrollLock = 145;
constexpr int kWheelNotch = 120;
constexpr QSize kPanelSize{185, 41};  // until the device is attached

// Held as a widget: a window that is being destroyed is no 3D window any more, and Current()
// answers none for it instead of casting what is left of it.
QPointer<QWidget> gWindow;

// The scene the device already shows, else a new one; empty with the pending error set.
VnRef<IRoot> SceneFor(IKxDevice* device) {
    mw::MemberRef member;
    if (member.Bind("scene", device) && member.descriptor()->type == kVnObjectRef)
        if (IRoot* held = mw::MemberObject(member.value())) return VnRef<IRoot>(held);
    void* made = nullptr;
    if (!VnOS->CreateInstance(CLSID_KxScene, IID_IKxScene, &made)) return {};
    return VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
}

// One channel of a device colour as the device packs it into a frame.
int ColourChannel(float value) {
    return static_cast<int>(std::clamp(value, 0.0f, 1.0f) * 255 + 0.5f);
}

// The colour the device clears each frame to; invalid when it has none.
QColor ClearColourOf(IKxDevice* device) {
    mw::MemberRef member;
    if (!device || !member.Bind("background", device)) return {};
    const VnRef<IKxColor> colour = VnQuery<IKxColor>(mw::MemberObject(member.value()));
    if (!colour) return {};
    const float* rgba = colour->GetValue();
    return QColor(ColourChannel(rgba[0]), ColourChannel(rgba[1]), ColourChannel(rgba[2]));
}

// Runs one statement in __main__, as the console would; an error is printed.
void RunStatement(const char* code) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyRef result = PyRef::Steal(PyRun_String(code, Py_file_input, globals, globals));
    if (!result) PyOS->ReportError(0);
}

// Keeps the mouse cursor hidden while it lives, so it never shows in a screenshot.
class HiddenCursor {
public:
    HiddenCursor() { QGuiApplication::setOverrideCursor(Qt::BlankCursor); }
    ~HiddenCursor() { QGuiApplication::restoreOverrideCursor(); }
    HiddenCursor(const HiddenCursor&) = delete;
    HiddenCursor& operator=(const HiddenCursor&) = delete;
};

}  // namespace

Tm3DWindow* Tm3DWindow::Create(IShell& shell, IOutput& output, bool fillScreen) {
    if (Tm3DWindow* old = Current()) {
        old->FormDestroy();  // its navigation hears Destroy before the new window exists
        old->mFrame ? old->mFrame->close() : old->close();
    }
    auto* window = new Tm3DWindow(shell, output, fillScreen);
    gWindow = window;
    window->Show();
    return window;
}

Tm3DWindow* Tm3DWindow::Current() { return qobject_cast<Tm3DWindow*>(gWindow.data()); }

void Tm3DWindow::CloseCurrent() {
    Tm3DWindow* window = Current();
    if (!window) return;
    window->FormDestroy();
    if (window->mFrame)
        delete window->mFrame;
    else
        delete window;
}

Tm3DWindow::Tm3DWindow(IShell& shell, IOutput& output, bool fillScreen)
    : mShell(shell), mOutput(output), mFillScreen(fillScreen), mPanel(new TFrameView(this)) {
    setObjectName("m3DWindow");
    setWindowTitle("m3DWindow");
    mPanel->setObjectName("m3DPanel");
    mPanel->setGeometry(QRect(QPoint(0, 0), kPanelSize));
    // moves without a button reach the navigation too; the panel passes its events on
    setMouseTracking(true);
    mPanel->setMouseTracking(true);
    // activation gives the keys to the window, a click only when there is navigation
    setFocusPolicy(Qt::TabFocus);
    mResizeSettle.setSingleShot(true);
    mResizeSettle.setInterval(kResizeSettleMs);
    connect(&mResizeSettle, &QTimer::timeout, this, &Tm3DWindow::FollowResize);
    connect(mPanel, &TFrameView::framePresented, this, &Tm3DWindow::FollowClearColour);
    connect(this, &TFrameView::framePresented, this, &Tm3DWindow::FollowClearColour);
    if (!fillScreen) return;
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);  // the tool ends with its main window
    mPanel->hide();
    setAcceptDrops(true);
}

Tm3DWindow::~Tm3DWindow() { FormDestroy(); }

void Tm3DWindow::Show() {
    if (mFillScreen) {
        // without a window manager nothing acts on the full-screen state: the geometry does
        QWidget* main = mShell.DialogParent();
        if (QScreen* screen = main ? main->screen() : QGuiApplication::primaryScreen())
            setGeometry(screen->geometry());
        showFullScreen();
        activateWindow();
        return;
    }
    mFrame = mShell.AddDocumentWindow(this, kOpenSize);
    mFrame->showMaximized();
    connect(mFrame, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates, Qt::WindowStates now) {
                if (now & Qt::WindowActive) FormActivate();
            });
    if (QMenu* menu = mFrame->systemMenu()) {
        menu->addSeparator();
        AddReloadEntry(menu);
    }
    // the area may have activated the frame before anyone listened
    if (mFrame->mdiArea() && mFrame->mdiArea()->activeSubWindow() == mFrame) FormActivate();
}

void Tm3DWindow::FormActivate() {
    if (mActivated || mDestroyed) return;
    mActivated = true;
    VnRef<IKxDevice> device;
    if (!VnROT->GetObject("kx:/dev", &CLSID_KxDevice, IID_IKxDevice, device.out(), 0)) {
        mOutput.RefreshErrors();
        return;
    }
    mDevice = device;
    VnRef<IRoot> scene = SceneFor(mDevice.get());
    if (!scene) {
        mOutput.RefreshErrors();
        return;
    }
    const QSize size = TargetSize();
    if (!mFillScreen) mPanel->setGeometry(QRect(QPoint(0, 0), size));
    setWindowTitle(QString("kx:/dev - %1 x %2").arg(size.width()).arg(size.height()));
    if (!mDevice->AttachWindow(Target(), size.width(), size.height())) {
        mOutput.RefreshErrors();
        return;
    }
    mDeviceSize = size;
    mDevice->SetScene(scene.get());
    mNavigation.Make(mDevice.get(), false);
}

IKxSurface* Tm3DWindow::Target() {
    return mFillScreen ? static_cast<IKxSurface*>(this) : static_cast<IKxSurface*>(mPanel);
}

QSize Tm3DWindow::TargetSize() const {
    return {width() - width() % 8, mFillScreen ? height() : height() - height() % 8};
}

void Tm3DWindow::FollowResize() {
    const QSize size = TargetSize();
    // a window squeezed to nothing keeps drawing at its last size
    if (!mDevice || mDeviceSize.isEmpty() || size == mDeviceSize || size.isEmpty()) return;
    if (!mDevice->AttachWindow(Target(), size.width(), size.height())) {
        mOutput.RefreshErrors();
        return;
    }
    mDeviceSize = size;
    if (!mFillScreen) mPanel->setGeometry(QRect(QPoint(0, 0), size));
    setWindowTitle(QString("kx:/dev - %1 x %2").arg(size.width()).arg(size.height()));
}

void Tm3DWindow::FollowClearColour() {
    const QColor colour = ClearColourOf(mDevice.get());
    if (!colour.isValid()) return;
    SetBackground(colour);  // the strips beside the panel's rounded size
    mPanel->SetBackground(colour);
}

void Tm3DWindow::FormDestroy() {
    if (mDestroyed) return;
    mDestroyed = true;
    mResizeSettle.stop();
    if (mDevice) mDevice->AttachWindow(nullptr, 0, 0);
    mDevice.reset();
    mDeviceSize = {};
    mNavigation.Destroy();
}

void Tm3DWindow::ReloadNavigation() {
    mNavigation.Destroy();
    if (!mNavigation.Make(mDevice.get(), true)) return;
    RunStatement("print(\"Navigation module reloaded\")");
}

bool Tm3DWindow::SaveScreenshot() {
    QWidget* shown = mPanel->isHidden() ? static_cast<QWidget*>(this) : mPanel;
    QString why;
    const QString path = SaveCapture(shown->grab().toImage(), &why);
    if (path.isEmpty()) {
        VnOS->SetError(-1, nullptr, "The screenshot was not saved: %s", why.toUtf8().constData());
        mOutput.RefreshErrors();
        return false;
    }
    mShell.SetStatusText(0, "Screenshot saved as " + path);
    return true;
}

void Tm3DWindow::keyPressEvent(QKeyEvent* e) {
    e->accept();  // an arrow key going on to the document area would scroll it
    const int vk = mw::VirtualKeyFromQt(e->key(), e->modifiers(), e->nativeVirtualKey());
    if (vk == kVkScrollLock) {
        HiddenCursor hidden;
        SaveScreenshot();
        return;
    }
    if (mFillScreen && e->key() == Qt::Key_F4 && e->modifiers() == Qt::AltModifier) {
        close();  // no window manager may be there to close a borderless window
        return;
    }
    if (vk == kVkEscape) {
        mShell.BringToFront();
        return;
    }
    mNavigation.Call("OnKeyDown", {vk, mw::ShiftStateOf(*e)});
}

void Tm3DWindow::keyReleaseEvent(QKeyEvent* e) {
    e->accept();
    if (e->isAutoRepeat()) return;  // a held key is released once, when it goes up
    const int vk = mw::VirtualKeyFromQt(e->key(), e->modifiers(), e->nativeVirtualKey());
    mNavigation.Call("OnKeyUp", {vk, mw::ShiftStateOf(*e)});
}

void Tm3DWindow::mousePressEvent(QMouseEvent* e) {
    e->accept();
    if (!mNavigation) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = e->position().toPoint();
    mNavigation.Call("OnMouseDown", {mw::ShiftStateOf(*e), at.x(), at.y()});
}

void Tm3DWindow::mouseMoveEvent(QMouseEvent* e) {
    e->accept();
    const QPoint at = e->position().toPoint();
    mNavigation.Call("OnMouseMove", {mw::ShiftStateOf(*e), at.x(), at.y()});
}

void Tm3DWindow::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    const QPoint at = e->position().toPoint();
    mNavigation.Call("OnMouseUp", {mw::ShiftStateOf(*e), at.x(), at.y()});
}

void Tm3DWindow::wheelEvent(QWheelEvent* e) {
    e->accept();
    // Qt turns Alt+wheel sideways; it is still the one wheel
    const QPoint angle = e->angleDelta();
    const int turn = angle.y() != 0 ? angle.y() : angle.x();
    const QPoint at = mapFromGlobal(e->globalPosition().toPoint());
    mNavigation.Call("OnMouseWheel", {mw::ShiftStateOf(*e), turn / kWheelNotch, at.x(), at.y()});
}

void Tm3DWindow::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    // the right button belongs to the navigation; the menu key opens the window's menu
    if (e->reason() == QContextMenuEvent::Mouse) return;
    QMenu menu(this);
    AddReloadEntry(&menu);
    menu.exec(e->globalPos());
}

void Tm3DWindow::AddReloadEntry(QMenu* menu) {
    QAction* reload = menu->addAction("Reload Navigation");
    reload->setObjectName("mReloadNavigation");
    connect(reload, &QAction::triggered, this, &Tm3DWindow::ReloadNavigation);
}

void Tm3DWindow::resizeEvent(QResizeEvent* e) {
    TFrameView::resizeEvent(e);
    if (!mDeviceSize.isEmpty()) mResizeSettle.start();
}

void Tm3DWindow::changeEvent(QEvent* e) {
    TFrameView::changeEvent(e);
    if (mFillScreen && e->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void Tm3DWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void Tm3DWindow::dropEvent(QDropEvent* e) {
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    e->acceptProposedAction();
    mShell.OpenFiles(files);
}

int ReloadNavigationIn(const QList<QMdiSubWindow*>& documents) {
    int reloaded = 0;
    for (QMdiSubWindow* document : documents) {
        if (auto* window = qobject_cast<Tm3DWindow*>(document->widget())) {
            window->ReloadNavigation();
            ++reloaded;
        }
    }
    return reloaded;
}
