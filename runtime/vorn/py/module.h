#pragma once

#include <Python.h>

namespace vorn {

// Creates the module "vorn" with vorn.os, vorn.pyos, vorn.synchro, vorn.error and vorn.Object.
PyObject* InitVornModule();

// Runs a script file (a regular file of at most 64 MB) with globals of its own (__name__
// "__main__", __file__); errors are printed. False when the script raised (a sys.exit with code 0
// or None is no failure); a RecursionError is left pending instead when Python code called.
bool ExecScriptFile(const char* path);

}  // namespace vorn
