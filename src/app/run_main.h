#pragma once

#include "vorn/py_ref.h"

// The application's life, run as the interpreter's main tasklet: the application object, the
// forms in their fixed order, and the event loop until the main window closes.
PyObject* RunMain(PyObject* self, PyObject* args);

// The command line the application object and the start-up files come from.
void SetCommandLine(int argc, char** argv);

// The process entry: 0, 2 for an unknown option, or 255 when the runtime did not start.
int MosswickMain(int argc, char** argv);
