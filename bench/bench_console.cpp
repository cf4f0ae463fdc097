// What a user waits for when a statement prints a lot: 100,000 printed lines through the
// console's queued writes until all is shown, beside the same writes appended one at a time in
// the same run, and the longest pause of the event loop during each. Settings and paths live in
// a temporary folder; without a display it uses Qt's offscreen platform.
#include <Python.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <cstdio>

#include "app/tm_main.h"
#include "bench_env.h"
#include "script/console_window.h"
#include "script/error_log.h"
#include "script/script_host.h"
#include "vorn/os.h"

namespace {

constexpr int kLines = 100000;

// The longest gap between two ticks of a 1 ms timer while it runs.
class PauseMeter {
public:
    PauseMeter() {
        QObject::connect(&mTimer, &QTimer::timeout,
                         [this] { mLongest = std::max(mLongest, mSince.restart()); });
    }
    void Start() {
        mLongest = 0;
        mSince.start();
        mTimer.start(1);
    }
    qint64 Stop() {
        mTimer.stop();
        return std::max(mLongest, mSince.elapsed());
    }

private:
    QTimer mTimer;
    QElapsedTimer mSince;
    qint64 mLongest = 0;
};

// Lets the event loop run until the console holds `blocks` blocks.
void WaitForBlocks(TmConsoleWindow* console, int blocks) {
    while (console->Console()->document()->blockCount() < blocks)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    UseTemporaryHome(dir);
    QDir(dir.path()).mkpath("res/scripts");
    QFile(dir.filePath("res/scripts/autoexec.py")).open(QIODevice::WriteOnly);
    if (!VnOS->IsStarted()) {
        std::fprintf(stderr, "bench_console: the runtime did not start\n");
        return 1;
    }
    {
        QApplication app(argc, argv);
        auto* window = new TmMain;
        auto* log = new TmErrorLog(*window, *window->ScriptHost());
        auto* console = new TmConsoleWindow(*window, *window->ScriptHost());
        window->show();
        QCoreApplication::processEvents();
        PauseMeter meter;
        QElapsedTimer clock;

        console->Console()->clear();
        meter.Start();
        clock.start();
        window->ScriptHost()->RunLine(QString("for i in range(%1): print(i)").arg(kLines));
        WaitForBlocks(console, kLines + 2);
        const qint64 queued = clock.elapsed();
        const qint64 queuedPause = meter.Stop();

        console->Console()->clear();
        meter.Start();
        clock.start();
        for (int i = 0; i < kLines; ++i) {
            console->Append(QString::number(i));  // the writes print makes: the value, then "\n"
            console->Append("\n");
        }
        WaitForBlocks(console, kLines + 1);
        const qint64 single = clock.elapsed();
        const qint64 singlePause = meter.Stop();

        std::printf(
            "print %d lines until shown: queued writes %lld ms, one write at a time %lld ms "
            "(ratio %.3g)\n",
            kLines, static_cast<long long>(queued), static_cast<long long>(single),
            single ? double(queued) / double(single) : 0.0);
        std::printf(
            "longest event-loop pause: queued writes %lld ms, one write at a time %lld ms\n",
            static_cast<long long>(queuedPause), static_cast<long long>(singlePause));
        delete console;
        delete log;
        delete window;
    }
    VnOS->Shutdown();
    return 0;
}
