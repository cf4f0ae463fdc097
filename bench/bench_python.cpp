// What scripts pay for the runtime's Python side: member reads and writes through vorn.Object
// and a whole tasklet cycle, each beside the same operation on plain Python measured in the same
// run. The loops run inside the interpreter, so the figures are what a script sees. Crowds of
// tasklets are pumped as vornrun pumps them.
#include <Python.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "vorn/object.h"
#include "vorn/pyos.h"

namespace {

const VnCLSID kThingClass = VnMakeCLSID("bench", "Thing", 1);

// A small runtime object with a float and a runtime text member.
class Thing final : public VnObject<IRoot> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    ~Thing() override { VnOS->Free(label); }

    float value = 0;
    char* label = nullptr;
};

VnMemberDescriptor gThingMembers[] = {
    {"value", kVnFloat, 0, sizeof(float), nullptr, "a float", kVnEditable, nullptr, {}},
    {"label", kVnVornString, 0, sizeof(char*), nullptr, "a runtime text", kVnEditable, nullptr, {}},
    {},
};

const VnTypeInfo* Thing::Type() {
    static const VnTypeInfo type = {
        &kThingClass, "benchmark object", Interfaces(), gThingMembers, nullptr, nullptr, 0};
    return &type;
}

void FillThingOffsets() {
    Thing probe;
    const char* start = reinterpret_cast<const char*>(&probe);
    gThingMembers[0].offset =
        static_cast<int32_t>(reinterpret_cast<const char*>(&probe.value) - start);
    gThingMembers[1].offset =
        static_cast<int32_t>(reinterpret_cast<const char*>(&probe.label) - start);
}

// Each figure: (name, what is measured, operations per second, baseline, its operations per
// second). timeit picks a loop count of at least 0.2 s for the measured statement; the two
// statements then run that count in turn, seven times, and the best of each counts.
const char kMeasure[] = R"py(
import timeit
import vorn.os
import vorn.synchro

class Plain:
    pass

thing = vorn.os.CreateInstance("bench.Thing")
plain = Plain()
for target in (thing, plain):
    target.value = 0.5
    target.label = "a label"

def nothing():
    pass

start = vorn.synchro.Start

def rates(measured, baseline):
    # the two take turns, so a burst of other work on the machine slows both alike
    timers = [timeit.Timer(statement, globals=names) for statement, names in (measured, baseline)]
    number, _ = timers[0].autorange()
    best = [float("inf")] * 2
    for _ in range(7):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number))
    return number / best[0], number / best[1]

figures = []
for figure, statement in (("attribute read float", "o.value"),
                          ("attribute write float", "o.value = 1.5"),
                          ("attribute read vornstring", "o.label"),
                          ("attribute write vornstring", "o.label = 'another label'")):
    measured, baseline = rates((statement, {"o": thing}), (statement, {"o": plain}))
    figures.append((figure, "vorn.Object", measured, "plain object", baseline))
measured, baseline = rates(("start(f)", {"start": start, "f": nothing}), ("f()", {"f": nothing}))
figures.append(("tasklet start+run+end", "vorn.synchro.Start", measured, "direct call", baseline))
if vorn.synchro.Live() != 0:
    raise RuntimeError("tasklets were left alive")
)py";

// Many tasklets at once: the scheduler's wake-ups, beside bare greenlets that switch out and
// back as often, driven by a plain loop instead of the pump.
const char kCrowd[] = R"py(
import greenlet, time, vorn.synchro

def sleeper():
    vorn.synchro.Sleep(1)

def yielder():
    for _ in range(5):
        vorn.synchro.Yield()

def start_all(function, count):
    for _ in range(count):
        vorn.synchro.Start(function)

def bare(count, switches):
    main = greenlet.getcurrent()
    def body():
        for _ in range(switches):
            main.switch()
    started = time.perf_counter()
    waiting = []
    for _ in range(count):
        g = greenlet.greenlet(body)
        g.switch()
        waiting.append(g)
    for _ in range(switches):
        for g in waiting:
            g.switch()
    return time.perf_counter() - started
)py";

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long Live(PyObject* globals) {
    PyObject* live = PyRun_String("vorn.synchro.Live()", Py_eval_input, globals, globals);
    long n = live ? PyLong_AsLong(live) : -1;
    Py_XDECREF(live);
    return n;
}

// Starts `count` tasklets running `function` and pumps the runtime until all have ended.
double RunCrowd(PyObject* globals, const char* function, int count) {
    auto started = std::chrono::steady_clock::now();
    PyObject* done = PyObject_CallFunction(PyDict_GetItemString(globals, "start_all"), "Oi",
                                           PyDict_GetItemString(globals, function), count);
    if (!done) return -1;
    Py_DECREF(done);
    while (Live(globals) > 0) {
        VnOS->Pump();
        if (VnOS->NextWorkIn() < 0 && Live(globals) > 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(VnOS->NextWorkIn() > 0 ? 1 : 0));
    }
    return Seconds(std::chrono::steady_clock::now() - started);
}

int MeasureCrowds() {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* done = PyRun_String(kCrowd, Py_file_input, globals, globals);
    if (!done) {
        PyOS->ReportError(0);
        return 1;
    }
    Py_DECREF(done);
    struct Crowd {
        const char* figure;
        const char* function;
        int count;
        int switches;
    };
    for (const Crowd& c : {Crowd{"100000 tasklets sleep once and end", "sleeper", 100000, 1},
                           Crowd{"30000 tasklets yield five times", "yielder", 30000, 5}}) {
        double seconds = RunCrowd(globals, c.function, c.count);
        PyObject* base =
            PyObject_CallFunction(PyDict_GetItemString(globals, "bare"), "ii", c.count, c.switches);
        double baseSeconds = base ? PyFloat_AsDouble(base) : -1;
        Py_XDECREF(base);
        if (seconds < 0 || baseSeconds < 0) {
            PyOS->ReportError(0);
            return 1;
        }
        std::printf("%s: vorn.synchro %.2f s, bare greenlets %.2f s (ratio %.3g)\n", c.figure,
                    seconds, baseSeconds, seconds / baseSeconds);
    }
    return 0;
}

std::string Rate(double perSecond) {
    char text[32];
    if (perSecond >= 1e6)
        std::snprintf(text, sizeof text, "%.1f M/s", perSecond / 1e6);
    else
        std::snprintf(text, sizeof text, "%.0f k/s", perSecond / 1e3);
    return text;
}

int Measure() {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* done = PyRun_String(kMeasure, Py_file_input, globals, globals);
    if (!done) {
        PyOS->ReportError(0);
        return 1;
    }
    Py_DECREF(done);
    PyObject* figures = PyDict_GetItemString(globals, "figures");  // borrowed
    for (Py_ssize_t i = 0; figures && i < PyList_Size(figures); ++i) {
        const char *figure, *what, *baseline;
        double rate, baseRate;
        if (!PyArg_ParseTuple(PyList_GetItem(figures, i), "ssdsd", &figure, &what, &rate, &baseline,
                              &baseRate)) {
            PyOS->ReportError(0);
            return 1;
        }
        std::printf("%s: %s %s, %s %s (ratio %.3g)\n", figure, what, Rate(rate).c_str(), baseline,
                    Rate(baseRate).c_str(), rate / baseRate);
    }
    return 0;
}

}  // namespace

int main() {
    // the runtime's settings and paths in a folder of its own, never the user's
    std::string folder = (std::filesystem::temp_directory_path() / "bench_python.XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("VORN_SETTINGS", (folder + "/settings.json").c_str(), 1);
    for (const char* kind : {"VORN_RESDIR", "VORN_MACRODIR", "VORN_BASEDIR"})
        setenv(kind, (folder + "/" + kind + "/").c_str(), 1);

    int status = 1;
    if (!VnOS->IsStarted()) {
        std::fprintf(stderr, "bench_python: the runtime did not start\n");
    } else {
        FillThingOffsets();
        if (VnOS->RegisterClass({Thing::Type(), [] { return (new Thing())->Root(); }}))
            status = Measure() || MeasureCrowds();
        else
            std::fprintf(stderr, "bench_python: cannot register bench.Thing\n");
        std::fflush(stdout);
        VnOS->Shutdown();
    }
    std::filesystem::remove_all(folder);
    return status;
}
