// The interpreter's tasklet entry points and the call bracket of script methods.
#include "../runtime.h"
#include "member_convert.h"
#include "python_side.h"

using vorn::ThePythonSide;

extern "C" {

PyObject* PyStackless_Call_Main(PyObject* function, PyObject* args, PyObject* kwds) {
    return ThePythonSide().Tasks().CallMain(function, args, kwds);
}

PyObject* PyTasklet_New(PyTypeObject*, PyObject* function) {
    return ThePythonSide().Tasks().New(function);
}

int PyTasklet_Call(PyObject* tasklet, PyObject* args, PyObject* kwds) {
    return ThePythonSide().Tasks().Call(tasklet, args, kwds);
}

void PyTasklet_SetLoopDepth(int (*depth)(void* context), void* context) {
    ThePythonSide().Tasks().SetLoopDepth(depth, context);
}

void PyThunkEnter(void) {}

PyObject* PyThunkLeave(PyObject* result) {
    // a body that failed through the runtime raises the runtime's error in the script
    if (!result && !PyErr_Occurred() && vorn::TheRuntime().Errors().Has(0))
        return vorn::RaisePendingError(nullptr);
    return result;
}
}
