// What the 3D window costs: frames presented per second at 800 x 600 with the default world
// while the clock runs and the processor time they take, then the processor time of ten seconds
// with the clock stopped and no input; beside the renderer's own frames per second on the same
// scene without presenting, measured in the same run. Settings and paths live in a temporary
// folder; without a display it uses Qt's offscreen platform (run it under xvfb-run for X11).

#include <QEventLoop>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdio>

#include "app/application.h"
#include "app/idle_driver.h"
#include "app/tm_main.h"
#include "bench_env.h"
#include "cpu_time.h"
#include "view3d/tm_3d_window.h"
#include "vorn/kalix.h"
#include "vorn/py_ref.h"
#include "vorn/rot.h"

namespace {

constexpr QSize kSize{800, 600};
constexpr int kRunningSeconds = 5;
constexpr int kStillSeconds = 10;

double WallSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Runs the event loop, and with it the idle driver, for that long.
void RunLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Python(const char* code) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyRef result = PyRef::Steal(PyRun_String(code, Py_file_input, globals, globals));
    if (!result) PyErr_Print();
    return static_cast<bool>(result);
}

// Milliseconds of processor time per frame the device renders without a surface.
double RenderOnlyMs(IKxDevice* device) {
    for (int i = 0; i < 5; ++i) device->RenderFrame();
    const double start = CpuSeconds();
    const double wall = WallSeconds();
    int frames = 0;
    do {
        device->RenderFrame();
        ++frames;
    } while (WallSeconds() - wall < 2 || frames < 30);
    return (CpuSeconds() - start) * 1000 / frames;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    UseTemporaryHome(dir);
    if (!VnOS->IsStarted()) {
        std::fprintf(stderr, "bench_view3d: the runtime did not start\n");
        return 1;
    }
    {
        TApplication app(argc, argv);
        auto* window = new TmMain;  // its start-up builds the default world
        TIdleDriver idle(*window);
        app.SetIdleDriver(&idle);
        window->resize(1200, 1000);
        window->show();
        RunLoop(200);
        VnRef<IKxDevice> device;
        if (!VnROT->GetObject("kx:/dev", &CLSID_KxDevice, IID_IKxDevice, device.out(), 0) ||
            !Python("import vorn\nd = vorn.os.GetObject('kx:/dev')\n"
                    "assert d.scene is not None, 'no default world'\n"
                    "d.recorder.width, d.recorder.height = 800, 600\ndel d")) {
            std::fprintf(stderr, "bench_view3d: no device or no default world\n");
            return 1;
        }
        const double renderMs = RenderOnlyMs(device.get());

        window->mView3DExecute();
        Tm3DWindow* view = Tm3DWindow::Current();
        QMdiSubWindow* frame = view->Frame();
        frame->resize(frame->size() + kSize - view->size());
        while (view->DeviceSize() != kSize) RunLoop(20);
        RunLoop(500);

        window->findChild<QToolButton*>("mTimePlay")->click();
        int presented = view->Panel()->Presented();
        int shown = view->Panel()->Shown();
        double cpu = CpuSeconds();
        RunLoop(kRunningSeconds * 1000);
        const double runCpu = CpuSeconds() - cpu;
        presented = view->Panel()->Presented() - presented;
        shown = view->Panel()->Shown() - shown;

        window->findChild<QToolButton*>("mTimeStop")->click();
        RunLoop(500);
        const int stillFrom = view->Panel()->Presented();
        cpu = CpuSeconds();
        RunLoop(kStillSeconds * 1000);
        const double stillCpu = CpuSeconds() - cpu;
        const int stillPresented = view->Panel()->Presented() - stillFrom;

        const double fps = presented / double(kRunningSeconds);
        const double frameMs = presented ? runCpu * 1000 / presented : 0;
        std::printf("platform %s, %d x %d, default world\n",
                    qPrintable(QGuiApplication::platformName()), kSize.width(), kSize.height());
        std::printf(
            "clock running: %.1f frames/s presented (%.1f painted), %.0f%% of a core; "
            "renderer alone (baseline): %.1f frames/s\n",
            fps, shown / double(kRunningSeconds), runCpu * 100 / kRunningSeconds, 1000 / renderMs);
        std::printf(
            "processor time per presented frame: %.2f ms, renderer alone (baseline) "
            "%.2f ms: presenting adds %.0f%%\n",
            frameMs, renderMs, (frameMs - renderMs) * 100 / renderMs);
        std::printf(
            "clock stopped, no input, %d s: %.2f%% of a core, %d frames presented; "
            "rendering every frame (baseline) would take %.0f%%\n",
            kStillSeconds, stillCpu * 100 / kStillSeconds, stillPresented,
            std::min(100.0, renderMs * 60 / 10));
        delete window;
    }
    VnOS->Shutdown();
    return 0;
}
