// What watches cost: 100 numeric watches of live members sampled at 60 a second against a
// running clock, their values changing, with the Watches window shown (each row's small plot
// and the plot of the current watch redrawn), as a share of one core, beside the idle passes
// of the same loop with the window shown and no watches; and the memory 10 minutes of samples
// of 100 watches take, beside the same points kept as a chart's list of points.
// Settings and paths live in a temporary folder; without a display it uses Qt's offscreen
// platform.
#include <Python.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointF>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_env.h"
#include "cpu_time.h"
#include "vorn/os.h"
#include "vorn/pyos.h"
#include "watch/watch_list.h"
#include "watch/watch_window.h"

namespace {

constexpr int kWatches = 100;
constexpr int kSeconds = 6;

// Runs the loop for kSeconds, an idle pass due as the list asks (every 16 ms without watches),
// and answers the share of a core the process used.
double CoreShare(TWatchList& list, const std::vector<float*>& values) {
    // one wall clock for every run, as the tool's own never goes back
    static QElapsedTimer wall;
    if (!wall.isValid()) wall.start();
    const qint64 start = wall.elapsed();
    QTimer pass;
    pass.setSingleShot(true);
    pass.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pass, &QTimer::timeout, [&] {
        VnOS->Pump();
        const double clock = static_cast<double>(wall.elapsed()) / 1000.0;
        for (std::size_t i = 0; i < values.size(); ++i)
            *values[i] = static_cast<float>(i) + static_cast<float>(clock);
        list.Sample(clock, wall.elapsed());
        const int next = list.NextSampleIn(wall.elapsed());
        pass.start(next < 0 ? 16 : next);
    });
    pass.start(0);
    const double cpu = CpuSeconds();
    QTimer::singleShot(kSeconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
    pass.stop();
    return (CpuSeconds() - cpu) / (static_cast<double>(wall.elapsed() - start) / 1000.0) * 100;
}

// 100 cameras held by Python, their field of view watched through their storage.
std::vector<float*> WatchCameras(TWatchList& list, std::vector<PyRef>& cameras) {
    std::vector<float*> values;
    PyObject* globals = watch::Globals();
    for (int i = 0; i < kWatches; ++i) {
        PyRef camera = PyRef::Steal(PyRun_String("vorn.os.CreateInstance('kalix.KxCamera')",
                                                 Py_eval_input, globals, globals));
        IRoot* object = camera ? PyOS->Unwrap(camera.get()) : nullptr;
        intptr_t adjustment = 0;
        const VnMemberDescriptor* member =
            object ? VnOS->FindMember("fieldOfView", object->GetTypeInfo(), &adjustment) : nullptr;
        if (!member) {
            std::printf("bench_watch: no camera to watch\n");
            std::exit(1);
        }
        void* storage = mw::MemberStorage(object, member, adjustment);
        list.AddBound(QString("camera%1.fieldOfView").arg(i),
                      TWatchTarget::Member(object, {member, storage}), false);
        values.push_back(static_cast<float*>(storage));
        cameras.push_back(std::move(camera));
    }
    return values;
}

void PrintMemory() {
    std::size_t ours = 0, points = 0;
    for (int w = 0; w < kWatches; ++w) {
        TSampleRing ring(1);
        QList<QPointF> chart;
        for (std::size_t i = 0; i < TSampleRing::kCapacity + 100; ++i) {
            const float value = static_cast<float>(i);
            ring.Append(static_cast<double>(i) / 60, &value);
            if (i < TSampleRing::kCapacity) chart << QPointF(static_cast<double>(i) / 60, value);
        }
        ours += ring.Bytes();
        points += static_cast<std::size_t>(chart.capacity()) * sizeof(QPointF);
    }
    std::printf(
        "memory of 10 min of %d numeric watches at 60/s: %.1f MB; the same points as a "
        "chart's point list: %.1f MB\n",
        kWatches, static_cast<double>(ours) / 1e6, static_cast<double>(points) / 1e6);
    std::printf("bound of one watch: %.2f MB for a number, %.2f MB for a colour\n",
                static_cast<double>(TSampleRing(1).MostBytes()) / 1e6,
                static_cast<double>(TSampleRing(4).MostBytes()) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    UseTemporaryHome(home);
    QApplication app(argc, argv);
    if (!VnOS->IsStarted()) return 1;
    TWatchList empty, list;
    std::vector<PyRef> cameras;
    const std::vector<float*> values = WatchCameras(list, cameras);
    // each side twice, taking turns, each with its own window shown; the lesser share counts
    double idle = 100, watched = 100;
    for (int run = 0; run < 2; ++run) {
        for (TWatchList* shown : {&empty, &list}) {
            TWatchWindow window(*shown);
            window.resize(700, 500);
            window.show();
            const double share = CoreShare(*shown, shown == &list ? values : std::vector<float*>());
            (shown == &list ? watched : idle) = std::min(shown == &list ? watched : idle, share);
        }
    }
    const TSampleRing* ring = list.At(0)->Ring();
    std::printf("samples of one watch in %d s of sampling: %zu\n", 2 * kSeconds,
                ring ? ring->Size() : 0);
    std::printf(
        "%d watches at 60/s, window shown: %.2f%% of a core; idle passes without "
        "watches, window shown: %.2f%%; above idle: %.2f%%\n",
        kWatches, watched, idle, watched - idle);
    PrintMemory();
    list.Forget();
    cameras.clear();
    VnOS->Shutdown();
    return 0;
}
