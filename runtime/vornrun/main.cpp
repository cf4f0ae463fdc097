// vornrun FILE.py [ARG...]: runs a script in the runtime without any window. The script runs in
// a tasklet; the runtime is pumped until it and every tasklet it started have ended. Exit
// status 0, or 1 when the script or one of its tasklets raised, or the runtime did not start.
#include <Python.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "vorn/os.h"
#include "vorn/py_ref.h"
#include "vorn/pyos.h"

namespace {

long CallCount(PyObject* synchro, const char* name) {
    PyRef value = PyRef::Steal(PyObject_CallMethod(synchro, name, nullptr));
    long n = value ? PyLong_AsLong(value.get()) : -1;
    PyErr_Clear();
    return n;
}

bool SetArgv(int argc, char** argv) {
    PyRef list = PyRef::Steal(PyList_New(0));
    if (!list) return false;
    for (int i = 1; i < argc; ++i) {
        PyRef arg = PyRef::Steal(PyUnicode_DecodeFSDefault(argv[i]));
        if (!arg || PyList_Append(list.get(), arg.get()) < 0) return false;
    }
    return PySys_SetObject("argv", list.get()) == 0;
}

// Starts ExecFile(path) in a tasklet; false when the script raised before its first wait.
bool StartScript(const char* path, PyObject** result) {
    PyRef pyos = PyRef::Steal(PyImport_ImportModule("vorn.pyos"));
    PyRef exec = PyRef::Steal(pyos ? PyObject_GetAttrString(pyos.get(), "ExecFile") : nullptr);
    PyRef runner = PyRef::Steal(exec ? PyTasklet_New(nullptr, exec.get()) : nullptr);
    // a path that is not UTF-8 travels as surrogate escapes, which ExecFile turns back
    PyRef name = PyRef::Steal(PyUnicode_DecodeFSDefault(path));
    PyRef args = PyRef::Steal(name ? PyTuple_Pack(1, name.get()) : nullptr);
    if (!runner || !args) return false;
    int started = PyTasklet_Call(runner.get(), args.get(), nullptr);
    *result = runner.release();
    return started == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc < 2 ? "" : argv[1];
    if (first == "--help" || first == "-h") {
        std::printf(
            "usage: vornrun FILE.py [ARG...]\nRuns the script in the vorn runtime until "
            "its tasklets have ended. See vornrun(1).\n");
        return 0;
    }
    if (first == "--version") {
        std::printf("vornrun %s\n", VORNRUN_VERSION);
        return 0;
    }
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
        PyRef synchro = PyRef::Steal(PyImport_ImportModule("vorn.synchro"));
        PyObject* runner = nullptr;
        if (!StartScript(argv[1], &runner)) {
            PyOS->ReportError(0);
            status = 1;
        }
        PyRef keep = PyRef::Steal(runner);
        while (synchro && CallCount(synchro.get(), "Live") > 0) {
            VnOS->Pump();
            int wait = VnOS->NextWorkIn();
            if (wait < 0 && CallCount(synchro.get(), "Live") > 0) {
                std::fprintf(stderr,
                             "vornrun: %ld tasklet(s) wait for something that never comes\n",
                             CallCount(synchro.get(), "Live"));
                status = 1;
                break;
            }
            if (wait > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(wait < 50 ? wait : 50));
        }
        if (synchro && CallCount(synchro.get(), "Failures") > 0) status = 1;
        std::fflush(stdout);
    }
    VnOS->Shutdown();
    return status;
}
