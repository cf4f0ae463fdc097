#pragma once

#include <Python.h>

// The watch methods of app.browser.
namespace watch_py {

PyObject* Watch(PyObject* self, PyObject* args);
PyObject* Unwatch(PyObject* self, PyObject* args);
PyObject* WatchList(PyObject* self, PyObject* args);
PyObject* WatchSamples(PyObject* self, PyObject* args);
PyObject* WatchCondition(PyObject* self, PyObject* args);

}  // namespace watch_py
