#pragma once

#include "vorn/py_ref.h"

// What scripts reach of snapshots and writers through app.browser.
namespace browser {

// ChangedBy(obj, name, /): (kind, where, clock seconds) of the last recorded writer, or None.
PyObject* ChangedByCall(PyObject* self, PyObject* args);
// Snapshot(obj, /): a snapshot of the object and everything below it.
PyObject* SnapshotCall(PyObject* self, PyObject* args);
// LoadSnapshot(path, root=None, /): a branch file as a snapshot of `root` (None: the browser's
// selected object).
PyObject* LoadSnapshotCall(PyObject* self, PyObject* args);

}  // namespace browser
