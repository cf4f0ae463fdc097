// What a user waits for and what an idle tool costs: the time from process start to the main
// window's first idle pass with the default world, the first web page shown (which loads the
// web engine), and the CPU an idle main window takes over ten seconds. Each beside vornrun (the
// same runtime and interpreter without any window) measured in the same run. Runs the programs
// beside it with settings and paths in a temporary folder; without a display it uses Qt's offscreen
// platform (run it under xvfb-run for X11 figures).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kStartRuns = 5;
constexpr int kIdleSeconds = 10;
constexpr int kWebRuns = 3;

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;  // the child's standard output
};

// Starts `args` with its standard output on a pipe and `extra` added to the environment.
Child Spawn(const std::vector<std::string>& args, const char* extra = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (extra) putenv(const_cast<char*>(extra));
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    child.out = fdopen(fds[0], "r");
    return child;
}

// Reads the child's output until a line starts with `prefix`; that line, or "" at the end.
std::string WaitForLine(const Child& child, const std::string& prefix) {
    char line[4096];
    while (std::fgets(line, sizeof line, child.out))
        if (std::string(line).rfind(prefix, 0) == 0) return line;
    return {};
}

int Finish(Child& child) {
    std::fclose(child.out);
    int status = 0;
    waitpid(child.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Clock ticks of CPU (user + system) the process has used so far.
long CpuTicks(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)  // utime is field 14, stime 15
        if (i >= 14) ticks += std::atol(field.c_str());
    return ticks;
}

}  // namespace

int main() {
    const fs::path dir = fs::canonical("/proc/self/exe").parent_path();
    const std::string app = (dir / "mosswick").string();
    const std::string vornrun = (dir / "vornrun").string();
    char pattern[] = "/tmp/bench_startup.XXXXXX";
    const fs::path home = mkdtemp(pattern);
    for (const char* sub : {"res", "macros", "base", "config", "data"})
        fs::create_directories(home / sub);
    setenv("VORN_SETTINGS", (home / "settings.json").c_str(), 1);
    setenv("VORN_RESDIR", (home / "res/").c_str(), 1);
    setenv("VORN_MACRODIR", (home / "macros/").c_str(), 1);
    setenv("VORN_BASEDIR", (home / "base/").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* platform = getenv("QT_QPA_PLATFORM");
    std::ofstream(home / "empty.py").close();
    std::ofstream(home / "sleep.py")
        << "import vorn.synchro\nvorn.synchro.Sleep(" << (kIdleSeconds + 5) * 1000 << ")\n";

    // (a) start-up: the app reports its first idle pass and quits; vornrun runs an empty script
    std::vector<double> outside, own, baseline;
    for (int run = 0; run < kStartRuns; ++run) {
        Clock::time_point start = Clock::now();
        Child child = Spawn({app}, "MOSSWICK_EXIT_AFTER_IDLE=1");
        std::string line = WaitForLine(child, "mosswick: first idle pass ");
        outside.push_back(Ms(start));
        if (line.empty() || Finish(child) != 0) {
            std::fprintf(stderr, "bench_startup: %s did not report its first idle pass\n",
                         app.c_str());
            return 1;
        }
        own.push_back(std::atof(line.c_str() + std::strlen("mosswick: first idle pass ")));
        start = Clock::now();
        Child base = Spawn({vornrun, (home / "empty.py").string()});
        WaitForLine(base, "\x01");  // to the end of its output
        Finish(base);
        baseline.push_back(Ms(start));
    }
    std::printf(
        "startup, process start to the first idle pass (%s, median of %d): %.1f ms "
        "(the app's own count: %.0f ms)\n",
        platform ? platform : "xcb", kStartRuns, Median(outside), Median(own));
    std::printf("baseline, vornrun with an empty script, start to exit (median of %d): %.1f ms\n",
                kStartRuns, Median(baseline));

    // (c) the web page: the first navigation loads the web engine's plugin and starts the
    // engine; a second page in the same view is the baseline
    std::ofstream(home / "page.html") << "<html><body><p>A page</p></body></html>\n";
    std::ofstream(home / "web.py")
        << "import time, app, vorn.synchro as synchro\n"
           "loaded = []\n"
           "class Handler:\n"
           "    def DocumentComplete(self, url): loaded.append(time.perf_counter())\n"
           "app.ui.SetIEHandler(Handler())\n"
           "def show(url):\n"
           "    del loaded[:]\n"
           "    start = time.perf_counter()\n"
           "    app.ui.Navigate(url)\n"
           "    made = time.perf_counter()\n"
           "    while not loaded: synchro.Sleep(2)\n"
           "    return (made - start) * 1000, (loaded[0] - start) * 1000\n"
           "first = show(r'file://"
        << (home / "page.html").string()
        << "')\n"
           "second = show(r'file://"
        << (home / "page.html").string() << "?again')\n"
        << "print('web page %.1f %.1f %.1f' % (first + second[1:]))\n";
    // the engine's own processes run without a sandbox and a GPU here, as in the tests
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 0);
    setenv("QT_LOGGING_RULES", "qt.webenginecontext*=false", 0);
    std::vector<double> made, firstPage, secondPage;
    for (int run = 0; run < kWebRuns; ++run) {
        Child child = Spawn({app, "--batch", (home / "web.py").string()});
        const std::string line = WaitForLine(child, "web page ");
        Finish(child);
        double view = 0, first = 0, second = 0;
        if (std::sscanf(line.c_str(), "web page %lf %lf %lf", &view, &first, &second) != 3) {
            std::printf("web page: not measured (this build has no web view)\n");
            break;
        }
        made.push_back(view);
        firstPage.push_back(first);
        secondPage.push_back(second);
    }
    if (!made.empty()) {
        std::printf(
            "web page opened the first time, Navigate to its document loaded (median of %d): "
            "%.1f ms, of which loading the web engine and making the view %.1f ms\n",
            kWebRuns, Median(firstPage), Median(made));
        std::printf("baseline, a second page in the same view: %.1f ms\n", Median(secondPage));
    }

    // (b) idle CPU: both programs wait side by side over the same seconds
    Child idle = Spawn({app});
    Child base = Spawn({vornrun, (home / "sleep.py").string()});
    std::this_thread::sleep_for(std::chrono::seconds(3));  // well past the first idle pass
    const long idleBefore = CpuTicks(idle.pid), baseBefore = CpuTicks(base.pid);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const long idleTicks = CpuTicks(idle.pid) - idleBefore;
    const long baseTicks = CpuTicks(base.pid) - baseBefore;
    kill(idle.pid, SIGTERM);
    kill(base.pid, SIGTERM);
    Finish(idle);
    Finish(base);
    const double toPercent = 100.0 / static_cast<double>(sysconf(_SC_CLK_TCK)) / kIdleSeconds;
    std::printf("idle CPU of the main window without a 3D window over %d s: %.2f %% of one core\n",
                kIdleSeconds, idleTicks * toPercent);
    std::printf(
        "baseline, vornrun waiting in vorn.synchro.Sleep over the same %d s: %.2f %% of "
        "one core\n",
        kIdleSeconds, baseTicks * toPercent);
    fs::remove_all(home);
    return 0;
}
