// What a user waits for when a statement prints a lot, each figure beside a baseline measured in
// the same run:
// - a flood: one statement prints a million lines (or the count given as the first argument);
//   its time, and the time until the console shows the last line, beside the same statement
//   printing into a StringIO; the longest event-loop pause while the console catches up beside
//   an idle loop's; the peak memory beside the memory before;
// - one printed line of 1 MB without a line end (or the bytes given as the second argument)
//   until shown, beside the same bytes as lines of 100 characters;
// - Tab completion (a bare name, a name after a subscript) with a million globals (or the count
//   given as the third argument), beside the same completions with the start-up's few globals.
// Settings and paths live in a temporary folder; without a display it uses Qt's offscreen
// platform.
#include <Python.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/tm_main.h"
#include "bench_env.h"
#include "script/console_window.h"
#include "script/error_log.h"
#include "script/script_host.h"
#include "vorn/os.h"

namespace {

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

long long PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

long long CurrentMegabytes() {
    long long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lld %lld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * 4096 / (1024 * 1024);
}

// Lets the event loop run until the console's last line is `text`.
void WaitForLastLine(TmConsoleWindow* console, const QString& text) {
    QTextDocument* document = console->Console()->document();
    while (document->lastBlock().previous().text() != text)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

qint64 RunStatement(TScriptHost* host, const QString& statement) {
    QElapsedTimer clock;
    clock.start();
    host->RunLine(statement);  // a statement that never waits ends inside this call
    return clock.elapsed();
}

// How long `statement` takes with its output going into a StringIO instead of the console.
qint64 RunWithoutConsole(TScriptHost* host, const QString& statement) {
    PyRun_SimpleString("import io, sys\n_bench_out = sys.stdout\nsys.stdout = io.StringIO()\n");
    const qint64 spent = RunStatement(host, statement);
    PyRun_SimpleString("sys.stdout = _bench_out\ndel _bench_out\n");
    return spent;
}

struct Shown {
    qint64 statement = 0;   // ms the statement itself took
    qint64 untilShown = 0;  // ms from the start until the console shows the last line
    qint64 pause = 0;       // the longest event-loop pause after the statement ended
};

// Runs `statement`, which prints "done" last, and waits until the console shows it.
Shown ShowStatement(TmConsoleWindow* console, TScriptHost* host, const QString& statement) {
    PauseMeter meter;
    QElapsedTimer clock;
    Shown shown;
    console->Console()->clear();
    clock.start();
    shown.statement = RunStatement(host, statement);
    meter.Start();
    WaitForLastLine(console, "done");
    shown.untilShown = clock.elapsed();
    shown.pause = meter.Stop();
    return shown;
}

qint64 IdlePause() {
    PauseMeter meter;
    meter.Start();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return meter.Stop();
}

void MeasureFlood(TmConsoleWindow* console, TScriptHost* host, long long lines) {
    const QString statement = QString("for i in range(%1): print(i)\nprint('done')").arg(lines);
    const qint64 alone = RunWithoutConsole(host, statement);
    const qint64 idle = IdlePause();
    const long long before = CurrentMegabytes();
    const Shown shown = ShowStatement(console, host, statement);
    const long long peak = PeakMegabytes();
    std::printf(
        "print %lld lines in one statement: the statement %lld ms, into a StringIO %lld ms\n",
        lines, static_cast<long long>(shown.statement), static_cast<long long>(alone));
    std::printf("  until shown %lld ms; the statement into a StringIO %lld ms (ratio %.3g)\n",
                static_cast<long long>(shown.untilShown), static_cast<long long>(alone),
                alone ? double(shown.untilShown) / double(alone) : 0.0);
    std::printf("  longest event-loop pause while catching up %lld ms, idle loop %lld ms\n",
                static_cast<long long>(shown.pause), static_cast<long long>(idle));
    std::printf("  peak memory %lld MB, before the statement %lld MB\n", peak, before);
}

void MeasureLongLine(TmConsoleWindow* console, TScriptHost* host, long long bytes) {
    const Shown line =
        ShowStatement(console, host, QString("print('x' * %1)\nprint('done')").arg(bytes));
    const Shown lines = ShowStatement(
        console, host,
        QString("for i in range(%1): print('x' * 99)\nprint('done')").arg(bytes / 100));
    std::printf(
        "one line of %lld bytes until shown %lld ms (longest pause %lld ms); the same bytes as "
        "%lld lines %lld ms (longest pause %lld ms)\n",
        bytes, static_cast<long long>(line.untilShown), static_cast<long long>(line.pause),
        bytes / 100, static_cast<long long>(lines.untilShown), static_cast<long long>(lines.pause));
}

// The slowest of three runs of each completion, in ms.
qint64 CompletionMs(TScriptHost* host) {
    qint64 slowest = 0;
    for (int run = 0; run < 3; ++run)
        for (const char* code : {"w.models[1].up", "name_9", "n"}) {
            QElapsedTimer clock;
            clock.start();
            host->Complete(code);
            slowest = std::max(slowest, clock.elapsed());
        }
    return slowest;
}

void MeasureCompletion(TScriptHost* host, long long globals) {
    PyRun_SimpleString("w = type('W', (), {})(); w.models = [0, 'text']\n");
    host->Complete("w.models[1].up");  // jedi's first import is no completion's cost
    const qint64 few = CompletionMs(host);
    PyRun_SimpleString(QString("for i in range(%1): globals()['name_%d' % i] = i\n")
                           .arg(globals)
                           .toUtf8()
                           .constData());
    const qint64 many = CompletionMs(host);
    std::printf(
        "Tab completion with %lld globals: slowest %lld ms; with the start-up's globals "
        "%lld ms\n",
        globals, static_cast<long long>(many), static_cast<long long>(few));
}

}  // namespace

int main(int argc, char** argv) {
    const long long lines = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const long long bytes = argc > 2 ? std::atoll(argv[2]) : 1000000;
    const long long globals = argc > 3 ? std::atoll(argv[3]) : 1000000;
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
        TScriptHost* host = window->ScriptHost();
        if (lines > 0) MeasureFlood(console, host, lines);
        if (bytes > 0) MeasureLongLine(console, host, bytes);
        if (globals > 0) MeasureCompletion(host, globals);
        delete console;
        delete log;
        delete window;
    }
    VnOS->Shutdown();
    return 0;
}
