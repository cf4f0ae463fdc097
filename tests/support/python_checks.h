#pragma once

#include <Python.h>

#include <QString>
#include <QStringList>

#include "vorn/object.h"
#include "vorn/pyos.h"

// Collects what Python prints, in order: `all` as a reader sees it, `lines` write by write with
// the stream it came from ("O:" output, "E:" errors).
class PrintCollector final : public VnStaticObject<IPythonEvents> {
public:
    const VnTypeInfo* GetTypeInfo() override {
        static const VnCLSID id = VnMakeCLSID("test", "Sink", 1);
        static const VnMemberDescriptor none[] = {{}};
        static const VnTypeInfo type = {&id, nullptr, Interfaces(), none, nullptr, nullptr, 0};
        return &type;
    }
    void Output(int error, const char* text) override {
        lines.append(QString(error ? "E:" : "O:") + QString::fromUtf8(text));
        all += QString::fromUtf8(text);
    }
    // What was printed, line by line, without empty lines.
    QStringList Lines() const { return all.split('\n', Qt::SkipEmptyParts); }

    QStringList lines;
    QString all;
};

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

// A global of __main__, borrowed, or null.
inline PyObject* MainValue(const char* name) {
    return PyDict_GetItemString(PyModule_GetDict(PyImport_AddModule("__main__")), name);
}

// The text of an expression evaluated in __main__, or "<raised>" (the error is printed).
inline QString EvalPython(const char* expression) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* r = PyRun_String(expression, Py_eval_input, globals, globals);
    PyObject* s = r ? PyObject_Str(r) : nullptr;
    const char* utf8 = s ? PyUnicode_AsUTF8(s) : nullptr;
    QString text = utf8 ? QString::fromUtf8(utf8) : QString("<raised>");
    Py_XDECREF(s);
    Py_XDECREF(r);
    if (PyErr_Occurred()) PyOS->ReportError(0);
    return text;
}
