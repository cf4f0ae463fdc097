// What scripts pay for the runtime's Python side: member reads and writes through vorn.Object
// and a whole tasklet cycle, each beside the same operation on plain Python measured in the same
// run. The loops run inside the interpreter, so the figures are what a script sees.
#include <Python.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

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
// second). timeit picks a loop count of at least 0.2 s; the best of five runs counts.
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

def rate(statement, **names):
    timer = timeit.Timer(statement, globals=names)
    number, _ = timer.autorange()
    return number / min(timer.repeat(repeat=5, number=number))

figures = []
for figure, statement in (("attribute read float", "o.value"),
                          ("attribute write float", "o.value = 1.5"),
                          ("attribute read vornstring", "o.label"),
                          ("attribute write vornstring", "o.label = 'another label'")):
    figures.append((figure, "vorn.Object", rate(statement, o=thing),
                    "plain object", rate(statement, o=plain)))
figures.append(("tasklet start+run+end", "vorn.synchro.Start", rate("start(f)", start=start, f=nothing),
                "direct call", rate("f()", f=nothing)))
if vorn.synchro.Live() != 0:
    raise RuntimeError("tasklets were left alive")
)py";

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
            status = Measure();
        else
            std::fprintf(stderr, "bench_python: cannot register bench.Thing\n");
        std::fflush(stdout);
        VnOS->Shutdown();
    }
    std::filesystem::remove_all(folder);
    return status;
}
