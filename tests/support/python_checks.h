#pragma once

#include <Python.h>

#include "vorn/pyos.h"

// Runs statements in __main__; false when they raised (the error is printed to the sink).
inline bool RunPython(const char* code) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* r = PyRun_String(code, Py_file_input, globals, globals);
    if (!r) {
        PyOS->ReportError(0);
        return false;
    }
    Py_DECREF(r);
    return true;
}
