#pragma once

#include "vorn/iroot.h"

struct _typeobject;
typedef struct _typeobject PyTypeObject;

// A tasklet: the runtime's handle of a greenlet. It stays valid while the tasklet lives; the
// runtime keeps every unfinished tasklet it made alive.
typedef PyObject* VnTasklet;

VORN_API extern const VnIID IID_IPythonEvents;
VORN_API extern const VnIID IID_IVornEvents;
VORN_API extern const VnIID IID_IPythonMethods;

// Receives everything Python writes to sys.stdout (error 0) and sys.stderr (error 1).
class IPythonEvents : public IRoot {
public:
    static const VnIID& IID() { return IID_IPythonEvents; }
    virtual void Output(int error, const char* text) = 0;

protected:
    ~IPythonEvents() = default;
};

// Runtime events; `Signal` carries a tasklet to wake in its third argument.
class IVornEvents : public IRoot {
public:
    static const VnIID& IID() { return IID_IVornEvents; }
    virtual void Signal(int what, void* data, VnTasklet tasklet) = 0;

protected:
    ~IVornEvents() = default;
};

// Objects that describe themselves to Python. `supplied` is set to 1 when the returned string
// (a new reference) is the object's text.
class IPythonMethods : public IRoot {
public:
    static const VnIID& IID() { return IID_IPythonMethods; }
    virtual PyObject* GetPythonText(int* supplied) = 0;

protected:
    ~IPythonMethods() = default;
};

// The Python side of the runtime.
class IPyOS {
public:
    // A new reference to the object's wrapper (the same wrapper while it lives); None for null.
    virtual PyObject* Wrap(IRoot* object, int flags) = 0;
    // ([read-only names], [editable names]) of what the object's Python side adds to its
    // members, or null.
    virtual PyObject* Split(IRoot* object, int flags) = 0;
    // Routes sys.stdout and sys.stderr to the sink's IPythonEvents; null restores the streams.
    virtual bool SetEventSink(IRoot* sink) = 0;
    // The running tasklet, or null on the main tasklet. Borrowed.
    virtual VnTasklet CurrentTasklet() = 0;
    // Suspends the calling tasklet (which must be `tasklet`) until ResumeTasklet; answers what
    // the resumer handed over (a new reference), or null with a Python error set.
    virtual PyObject* BlockTasklet(VnTasklet tasklet) = 0;
    // Hands `value` (null: None) to a blocked tasklet and runs it until it blocks again or
    // ends. Errors the tasklet raises are printed.
    virtual bool ResumeTasklet(VnTasklet tasklet, PyObject* value) = 0;
    // The runtime object behind a wrapper (borrowed), or null.
    virtual IRoot* Unwrap(PyObject* object) = 0;
    virtual PyTypeObject* WrapperType() = 0;
    // Prints the pending Python error (through the sink when there is one) and clears it.
    virtual void ReportError(int flags) = 0;

protected:
    ~IPyOS() = default;
};

VORN_API extern IPyOS* PyOS;

// The object behind `self` in a method of a runtime class, or null.
template <class T>
T* VnSelf(PyObject* self) {
    return dynamic_cast<T*>(PyOS->Unwrap(self));
}

// The interpreter's tasklet calls and the call bracket of script methods.
extern "C" {
// Calls `function` on the main tasklet; the embedding program's whole life runs inside it.
VORN_API PyObject* PyStackless_Call_Main(PyObject* function, PyObject* args, PyObject* kwds);
// A new tasklet that will run `function`; `type` may be null (the default tasklet type).
VORN_API PyObject* PyTasklet_New(PyTypeObject* type, PyObject* function);
// Starts the tasklet with the arguments at once; it runs until it ends or blocks. 0 on success,
// -1 when it could not start or raised before blocking (the Python error is then pending).
VORN_API int PyTasklet_Call(PyObject* tasklet, PyObject* args, PyObject* kwds);
// Tells the runtime how deeply the embedding program's event loops are nested (null: it is not
// told). A tasklet that opened a loop, such as a modal dialog, is refused any wait until that
// loop has ended, with a RuntimeError.
VORN_API void PyTasklet_SetLoopDepth(int (*depth)(void* context), void* context);
// The bracket around every script method body.
VORN_API void PyThunkEnter(void);
VORN_API PyObject* PyThunkLeave(PyObject* result);
}
