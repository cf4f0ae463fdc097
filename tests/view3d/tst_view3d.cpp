// The 3D window as a user and a navigation script meet it: the device's size and the caption,
// the exact calls the navigation object gets, screenshots that never reuse a name, one window
// at a time, a window without navigation, reloads and fill-screen mode.
#include <Python.h>

#include <QElapsedTimer>
#include <QMdiSubWindow>
#include <QtTest>

#include "fake_shell.h"
#include "python_checks.h"
#include "test_env.h"
#include "view3d/tm_3d_window.h"
#include "view3d/view_mark.h"
#include "vorn/kalix.h"
#include "vorn/members.h"
#include "vorn/pyos.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace {

PrintCollector gSink;

// Records every call in navlog.calls; an argument that is not a plain int is refused, and the
// key X raises, as a faulty script would.
const char kNavigation[] = R"(import navlog
import vorn

class Navigation:
    def __init__(self, device):
        if navlog.fail:
            raise RuntimeError("no navigation today")
        navlog.calls.append(("Navigation", isinstance(device, vorn.Object)))

def _recorder(name):
    def method(self, *args):
        if any(type(a) is not int for a in args):
            raise TypeError(name + " got " + repr(args))
        navlog.calls.append((name,) + args)
        if name == "OnKeyDown" and args[0] == 88:
            raise ValueError("X is refused")
    return method

for _name in ("OnKeyDown", "OnKeyUp", "OnMouseDown", "OnMouseMove", "OnMouseUp",
              "OnMouseWheel", "Destroy"):
    setattr(Navigation, _name, _recorder(_name))
)";

const char kLog[] = R"(calls = []
fail = False

def take():
    taken = list(calls)
    calls.clear()
    return taken
)";

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Lets the runtime draw the frames due meanwhile, as the idle driver would.
void PumpFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        VnOS->Pump();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void SendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held, Qt::KeyboardModifiers mods) {
    QMouseEvent e(type, at, to->mapToGlobal(QPointF(at)), button, held, mods);
    QApplication::sendEvent(to, &e);
}

void SendWheel(QWidget* to, QPoint at, int delta) {
    QWheelEvent e(at, to->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &e);
}

QString Calls() { return EvalPython("navlog.take()"); }

// The red, green, blue and alpha the device kx:/dev clears its frames to.
float* ClearColour() {
    VnRef<IRoot> device;
    if (!VnROT->GetObject("kx:/dev", nullptr, IID_IRoot, device.out(), 0)) return nullptr;
    intptr_t adjust = 0;
    auto* member = VnOS->FindMember("background", device->GetTypeInfo(), &adjust);
    auto* colour = static_cast<IRoot*>(VnMemberStorage(device.get(), member, adjust));
    return VnQuery<IKxColor>(colour)->EditValue();
}

}  // namespace

class TestView3D : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    std::unique_ptr<FakeShell> mShell;
    FakeOutput mOutput;

    // A document 3D window, activated as a click on it would.
    Tm3DWindow* open() {
        Tm3DWindow* window = Tm3DWindow::Create(*mShell, mOutput, false);
        mShell->documents.setActiveSubWindow(window->Frame());
        window->FormActivate();
        return window;
    }

    // A content area of exactly `size`, as a user dragging the frame's edge leaves it.
    static void resizeContent(Tm3DWindow* window, QSize size) {
        QMdiSubWindow* frame = window->Frame();
        frame->resize(frame->size() + size - window->size());
        QTRY_COMPARE(window->size(), size);
    }

    void useCaptureFolder(const QString& name) {
        QVERIFY(VnOS->SetPath(kVnPathBase, mEnv.folder(name).toUtf8().constData()));
    }

private slots:
    void initTestCase() {
        const QString scripts = mEnv.folder("scripts");
        WriteFile(scripts + "navigation.py", kNavigation);
        WriteFile(scripts + "navlog.py", kLog);
        QVERIFY(VnOS->IsStarted());
        QVERIFY(PyOS->SetEventSink(&gSink));
        QVERIFY(RunPython(QString("import sys\nsys.path.insert(0, %1)\nimport navlog")
                              .arg(QString("'%1'").arg(scripts))
                              .toUtf8()
                              .constData()));
        mShell = std::make_unique<FakeShell>();
        mShell->documents.resize(900, 700);
        mShell->documents.show();
        mShell->documents.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mShell->documents));
    }

    void init() {
        gSink.all.clear();
        QVERIFY(RunPython("navlog.fail = False"));
    }

    void cleanup() {
        Tm3DWindow::CloseCurrent();
        QVERIFY2(mOutput.errors.isEmpty(), qPrintable(mOutput.errors.join("\n")));
        Calls();
    }

    // Catches a size that is not rounded down to multiples of 8, a caption that does not say
    // it, a resize that does not re-attach or that rebuilds the scene, and a still scene that is
    // drawn again and again.
    void deviceSizeFollowsTheWindow() {
        Tm3DWindow* window = open();
        QCOMPARE(window->windowTitle(), QString("kx:/dev - %1 x %2")
                                            .arg(window->width() / 8 * 8)
                                            .arg(window->height() / 8 * 8));
        QCOMPARE(Calls(), QString("[('Navigation', True)]"));
        QVERIFY(RunPython("import vorn\ndev = vorn.os.GetObject('kx:/dev')\nscene = dev.scene"));
        QCOMPARE(EvalPython("scene is not None"), QString("True"));

        resizeContent(window, {375, 290});
        QTRY_COMPARE(window->windowTitle(), QString("kx:/dev - 368 x 288"));
        QCOMPARE(window->Panel()->size(), QSize(368, 288));
        QCOMPARE(EvalPython("(dev.width, dev.height, dev.scene is scene)"),
                 QString("(368, 288, True)"));
        PumpFor(100);
        QCOMPARE(window->Panel()->Picture().size(), QSize(368, 288));

        VnOS->GetClock()->speed = 0;
        PumpFor(100);
        const int still = window->Panel()->Presented();
        PumpFor(300);
        QCOMPARE(window->Panel()->Presented(), still);
        QVERIFY(RunPython("scene.camera = vorn.os.CreateInstance('kalix.KxCamera')"));
        PumpFor(100);
        QCOMPARE(window->Panel()->Presented(), still + 1);
        VnOS->GetClock()->speed = 1;
        PumpFor(300);
        QVERIFY(window->Panel()->Presented() > still + 5);
        QVERIFY(RunPython("dev.scene = None\ndel scene, dev"));
    }

    // Catches a document window opened at a fixed small size instead of filling the area, and
    // strips beside the rounded picture that do not show the colour the scene is cleared to.
    void openMaximizedWithClearColourStrips() {
        Tm3DWindow* window = open();
        QVERIFY(window->Frame()->isMaximized());
        QCOMPARE(window->Frame()->size(), mShell->documents.viewport()->size());
        float* colour = ClearColour();
        QVERIFY(colour);
        const std::vector<float> old(colour, colour + 4);
        colour[0] = 1, colour[1] = 0.5f, colour[2] = 0;
        resizeContent(window, {375, 290});
        QTRY_COMPARE(window->Panel()->size(), QSize(368, 288));
        PumpFor(100);
        const QImage shown = window->grab().toImage();
        std::copy(old.begin(), old.end(), colour);
        QCOMPARE(shown.pixelColor(371, 100), QColor(255, 128, 0));  // right of the picture
        QCOMPARE(shown.pixelColor(100, 289), QColor(255, 128, 0));  // below it
    }

    // Catches argument tuples that differ from what scripts expect: wheel notches divided
    // toward zero, the shift state of a Ctrl + left drag, Scroll Lock's press forwarded or its
    // release lost, and a script error that stops later events.
    void eventsReachTheNavigation() {
        useCaptureFolder("events");
        Tm3DWindow* window = open();
        QWidget* panel = window->Panel();
        Calls();
        // Qt passes on only the wheel events a device sent, so these go to the window itself
        SendWheel(window, {30, 40}, 120);
        SendWheel(window, {30, 40}, -120);
        SendWheel(window, {30, 40}, 60);
        QCOMPARE(Calls(), QString("[('OnMouseWheel', 0, 1, 30, 40), ('OnMouseWheel', 0, -1, 30, "
                                  "40), ('OnMouseWheel', 0, 0, 30, 40)]"));

        window->clearFocus();
        SendMouse(panel, QEvent::MouseButtonPress, {10, 20}, Qt::LeftButton, Qt::LeftButton,
                  Qt::ControlModifier);
        SendMouse(panel, QEvent::MouseMove, {15, 26}, Qt::NoButton, Qt::LeftButton,
                  Qt::ControlModifier);
        SendMouse(panel, QEvent::MouseButtonRelease, {15, 26}, Qt::LeftButton, Qt::NoButton,
                  Qt::ControlModifier);
        QCOMPARE(Calls(), QString("[('OnMouseDown', 12, 10, 20), ('OnMouseMove', 12, 15, 26), "
                                  "('OnMouseUp', 4, 15, 26)]"));
        QVERIFY(window->hasFocus());

        QTest::keyClick(window, Qt::Key_A, Qt::ShiftModifier);
        QTest::keyPress(window, Qt::Key_ScrollLock);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QTest::keyRelease(window, Qt::Key_ScrollLock);
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(Calls(),
                 QString("[('OnKeyDown', 16, 0), ('OnKeyDown', 65, 1), ('OnKeyUp', 65, 1), "
                         "('OnKeyUp', 16, 1), ('OnKeyUp', 145, 0), ('OnKeyUp', 27, 0)]"));
        QCOMPARE(mShell->broughtToFront, 1);
        QVERIFY(QFile::exists(mEnv.path() + "/events/capture/cap0000.bmp"));

        QTest::keyClick(window, Qt::Key_X);
        QVERIFY(gSink.all.contains("ValueError: X is refused"));
        QTest::keyClick(window, Qt::Key_Left);
        QCOMPARE(Calls(), QString("[('OnKeyDown', 88, 0), ('OnKeyUp', 88, 0), ('OnKeyDown', 37, "
                                  "0), ('OnKeyUp', 37, 0)]"));
        QVERIFY(Tm3DWindow::Current() == window && window->HasNavigation());
    }

    // Catches a capture name chosen by whether the file can be read: an unreadable capture or a
    // link that leads nowhere would be written over (through the link) instead of skipped.
    void screenshotsNeverReuseAName() {
        useCaptureFolder("shots");
        Tm3DWindow* window = open();
        PumpFor(100);
        QVERIFY(window->SaveScreenshot());
        QVERIFY(window->SaveScreenshot());
        const QString shots = mEnv.path() + "/shots/capture/";
        QCOMPARE(QDir(shots).entryList(QDir::Files), QStringList({"cap0000.bmp", "cap0001.bmp"}));
        QImage saved(shots + "cap0001.bmp");
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), window->Panel()->Picture());

        useCaptureFolder("taken");
        const QString taken = mEnv.folder("taken/capture");
        WriteFile(taken + "cap0000.bmp", "keep");
        QVERIFY(QFile::setPermissions(taken + "cap0000.bmp", QFileDevice::Permissions()));
        QVERIFY(QFile::link(taken + "gone.bmp", taken + "cap0001.bmp"));
        QVERIFY(window->SaveScreenshot());
        QVERIFY(QFile::exists(taken + "cap0002.bmp"));
        QVERIFY(!QFile::exists(taken + "gone.bmp"));
        QFile::setPermissions(taken + "cap0000.bmp", QFileDevice::ReadOwner);
        QFile kept(taken + "cap0000.bmp");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep"));

        WriteFile(mEnv.file("not-a-folder"), "");
        QVERIFY(VnOS->SetPath(kVnPathBase, mEnv.file("not-a-folder").toUtf8().constData()));
        QTest::keyClick(window, Qt::Key_ScrollLock);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(mOutput.errors.size(), 1);
        QVERIFY(mOutput.errors.takeFirst().startsWith("The screenshot was not saved"));
    }

    // Catches two 3D windows at once, and a first window whose navigation never hears Destroy.
    void secondWindowClosesTheFirst() {
        QPointer<Tm3DWindow> first = open();
        Tm3DWindow* second = open();
        QCOMPARE(Calls(), QString("[('Navigation', True), ('Destroy',), ('Navigation', True)]"));
        QTRY_VERIFY(!first);
        QCOMPARE(Tm3DWindow::Current(), second);
        QCOMPARE(mShell->documents.subWindowList().size(), 1);
    }

    // Catches the selection's mark asking a non-model loudly (an error for every selected
    // object), a model left unmarked, and a mark that stays when the selection is no model.
    void selectionMarksOnlyModels() {
        QVERIFY(RunPython(R"(
import vorn
marked = vorn.os.CreateInstance("kalix.KxModel")
plain = vorn.os.CreateInstance("kalix.KxCamera")
)"));
        VnRef<IKxDevice> device;
        QVERIFY(VnROT->GetObject("kx:/dev", nullptr, IID_IKxDevice, device.out(), 0));
        IRoot* model = PyOS->Unwrap(MainValue("marked"));
        VnOS->SetError(0, nullptr, nullptr);
        QVERIFY(view3d::MarkInView(model));
        const auto highlighted = [&] {
            IRoot* shown = nullptr;
            device->Highlighted(&shown);
            return VnRef<IRoot>::Adopt(shown);
        };
        QCOMPARE(VnQuery<IRoot>(highlighted().get(), 1).get(), VnQuery<IRoot>(model, 1).get());
        QVERIFY(view3d::MarkInView(PyOS->Unwrap(MainValue("plain"))));
        QVERIFY(!highlighted());
        QCOMPARE(VnOS->GetErrorCode(), 0);
    }

    // Catches a window without navigation that still calls scripts or takes the focus on a
    // click, a failed Navigation() that is printed, and a reload that does not replace it.
    void windowWithoutNavigationIgnoresInput() {
        QVERIFY(RunPython("navlog.fail = True"));
        Tm3DWindow* window = open();
        QVERIFY(!window->HasNavigation());
        window->clearFocus();
        SendMouse(window->Panel(), QEvent::MouseButtonPress, {10, 20}, Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
        SendWheel(window, {30, 40}, 120);
        QTest::keyClick(window, Qt::Key_A);
        QVERIFY(!window->hasFocus());
        QCOMPARE(Calls(), QString("[]"));
        QCOMPARE(gSink.all, QString());

        QVERIFY(RunPython("navlog.fail = False"));
        QCOMPARE(ReloadNavigationIn(mShell->documents.subWindowList()), 1);
        QVERIFY(window->HasNavigation());
        QCOMPARE(Calls(), QString("[('Navigation', True)]"));
        QCOMPARE(gSink.all, QString("Navigation module reloaded\n"));
        window->ReloadNavigation();
        QCOMPARE(Calls(), QString("[('Destroy',), ('Navigation', True)]"));
    }

    // Catches a fill-screen window that is a document (reached by reloads), shows its panel,
    // rounds its height, leaves the screen's size to a window manager, does not bring the main
    // window forward on Escape, or stays open on Alt+F4 where no window manager closes it.
    void fillScreenDrawsIntoItself() {
        Tm3DWindow* window = Tm3DWindow::Create(*mShell, mOutput, true);
        QCOMPARE(window->geometry(), mShell->window.screen()->geometry());
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(window->HasNavigation());
        QVERIFY(window->Panel()->isHidden());
        QVERIFY(window->isWindow() && !window->Frame());
        QCOMPARE(mShell->documents.subWindowList().size(), 0);
        window->showNormal();
        window->resize(375, 290);
        QTRY_COMPARE(window->windowTitle(), QString("kx:/dev - 368 x 290"));
        PumpFor(100);
        QCOMPARE(window->Picture().size(), QSize(368, 290));
        QCOMPARE(ReloadNavigationIn(mShell->documents.subWindowList()), 0);
        const int before = mShell->broughtToFront;
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(mShell->broughtToFront, before + 1);
        QTest::keyClick(window, Qt::Key_F4, Qt::AltModifier);
        QTRY_VERIFY(!Tm3DWindow::Current());
    }

    void cleanupTestCase() {
        mShell.reset();
        VnOS->Shutdown();
    }
};

QTEST_MAIN(TestView3D)
#include "tst_view3d.moc"
