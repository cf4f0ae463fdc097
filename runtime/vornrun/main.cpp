// vornrun FILE.py [ARG...]: runs a script in the runtime without any window. The script runs in
// a tasklet; the runtime is pumped until it and every tasklet it started have ended. Exit
// status 0, or 1 when the script or one of its tasklets raised, or the runtime did not start.
#include <Python.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "vorn/os.h"
#include "vorn/pyos.h"

namespace {

struct Py {
    PyObject* p;
    explicit Py(PyObject* o) : p(o) {}
    ~Py() { Py_XDECREF(p); }
    Py(const Py&) = delete;
    Py& operator=(const Py&) = delete;
};

long CallCount(PyObject* synchro, const char* name) {
    Py value(PyObject_CallMethod(synchro, name, nullptr));
    long n = value.p ? PyLong_AsLong(value.p) : -1;
    PyErr_Clear();
    return n;
}

bool SetArgv(int argc, char** argv) {
    Py list(PyList_New(0));
    if (!list.p) return false;
    for (int i = 1; i < argc; ++i) {
        Py arg(PyUnicode_DecodeFSDefault(argv[i]));
        if (!arg.p || PyList_Append(list.p, arg.p) < 0) return false;
    }
    return PySys_SetObject("argv", list.p) == 0;
}

// Starts ExecFile(path) in a tasklet; false when the script raised before its first wait.
bool StartScript(const char* path, PyObject** result) {
    Py pyos(PyImport_ImportModule("vorn.pyos"));
    Py exec(pyos.p ? PyObject_GetAttrString(pyos.p, "ExecFile") : nullptr);
    Py runner(exec.p ? PyTasklet_New(nullptr, exec.p) : nullptr);
    Py args(Py_BuildValue("(s)", path));
    if (!runner.p || !args.p) return false;
    int started = PyTasklet_Call(runner.p, args.p, nullptr);
    *result = Py_NewRef(runner.p);
    return started == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vornrun FILE.py [ARG...]\n");
        return 2;
    }
    if (!VnOS->IsStarted()) {
        char* text = nullptr;
        VnOS->GetErrorText(&text);
        std::fprintf(stderr, "vornrun: the runtime did not start: %s\n", text ? text : "");
        VnOS->Free(text);
        return 1;
    }
    int status = 0;
    {
        if (!SetArgv(argc, argv)) PyErr_Print();
        Py synchro(PyImport_ImportModule("vorn.synchro"));
        PyObject* runner = nullptr;
        if (!StartScript(argv[1], &runner)) {
            PyOS->ReportError(0);
            status = 1;
        }
        Py keep(runner);
        while (synchro.p && CallCount(synchro.p, "Live") > 0) {
            VnOS->Pump();
            int wait = VnOS->NextWorkIn();
            if (wait < 0 && CallCount(synchro.p, "Live") > 0) {
                std::fprintf(stderr,
                             "vornrun: %ld tasklet(s) wait for something that never comes\n",
                             CallCount(synchro.p, "Live"));
                status = 1;
                break;
            }
            if (wait > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(wait < 50 ? wait : 50));
        }
        if (synchro.p && CallCount(synchro.p, "Failures") > 0) status = 1;
        std::fflush(stdout);
    }
    VnOS->Shutdown();
    return status;
}
