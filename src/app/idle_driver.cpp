#include "app/idle_driver.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "app/tm_main.h"
#include "vorn/os.h"

namespace {

// Milliseconds since this process started, from the kernel's start time (hundredths of a second).
double MsSinceProcessStart() {
    std::ifstream file("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // the name may hold spaces
    std::string field;
    for (int i = 3; i <= 22; ++i) fields >> field;  // the fields after the name start at 3
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6 -
           std::strtod(field.c_str(), nullptr) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}
}  // namespace

TIdleDriver::TIdleDriver(TmMain& main, QObject* parent) : QObject(parent), mMain(main) {
    setObjectName("ApplicationEvents1");
    mTimer.setSingleShot(true);
    mTimer.setTimerType(Qt::PreciseTimer);
    connect(&mTimer, &QTimer::timeout, this, [this] { Pass(); });
    // the runtime wakes the loop from any thread when new work arrives
    VnOS->SetPostToApp(
        [](void* window) {
            QCoreApplication::postEvent(static_cast<TmMain*>(window), new QEvent(kPumpEvent));
        },
        &mMain);
    Kick();
}

// the driver goes before the main window, so no wake-up is posted to a window that is gone
TIdleDriver::~TIdleDriver() { VnOS->SetPostToApp(nullptr, nullptr); }

void TIdleDriver::Kick() {
    if (!mTimer.isActive() || mTimer.remainingTime() > 0) mTimer.start(0);
}

void TIdleDriver::Pass() {
    ++mPasses;
    mMain.RunIdlePass();
    if (mPasses == 1 && qgetenv("MOSSWICK_EXIT_AFTER_IDLE") == "1") {  // for bench_startup
        std::printf("mosswick: first idle pass %.0f ms after the process started\n",
                    MsSinceProcessStart());
        std::fflush(stdout);
        QCoreApplication::quit();
    }
    // the next pass is due when the runtime or the time bar next has work, whichever is first
    int next = VnOS->NextWorkIn();
    const int own = mMain.NextIdlePassIn();
    if (own >= 0 && (next < 0 || own < next)) next = own;
    if (next >= 0 && !mTimer.isActive()) mTimer.start(next);
}
