#include "module.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "../atomic_file.h"
#include "../runtime.h"
#include "member_convert.h"
#include "python_side.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "vorn/rot.h"
#include "wrapper.h"

namespace vorn {

namespace {

// A runtime object answered as its wrapper; the reference taken by the call is given back.
PyObject* WrapOwned(IRoot* object) {
    PyObject* wrapper = ThePythonSide().Wrap(object);
    if (object) object->Release();
    return wrapper;
}

IRoot* WrapperArgument(PyObject* value, const char* function) {
    IRoot* object = ThePythonSide().Unwrap(value);
    if (!object)
        PyErr_Format(PyExc_TypeError, "%s() takes a vorn.Object, not %s", function,
                     Py_TYPE(value)->tp_name);
    return object;
}

// --- vorn.os ---------------------------------------------------------------------------------

PyObject* OsCreateInstance(PyObject*, PyObject* args) {
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:CreateInstance", &text)) return nullptr;
    VnCLSID clsid;
    if (!VnParseCLSID(text, &clsid)) return RaisePendingError(nullptr);
    void* object = nullptr;
    if (!TheRuntime().CreateInstance(clsid, IID_IRoot, &object)) return RaisePendingError(nullptr);
    return WrapOwned(static_cast<IRoot*>(object));
}

PyObject* OsGetObject(PyObject*, PyObject* args) {
    const char* moniker = nullptr;
    const char* classText = nullptr;
    if (!PyArg_ParseTuple(args, "s|z:GetObject", &moniker, &classText)) return nullptr;
    VnCLSID clsid = VORNCLSID_NONE;
    if (classText && !VnParseCLSID(classText, &clsid)) return RaisePendingError(nullptr);
    void* object = nullptr;
    if (!VnROT->GetObject(moniker, &clsid, IID_IRoot, &object, 0))
        return RaisePendingError(nullptr);
    return WrapOwned(static_cast<IRoot*>(object));
}

// The result of a call that succeeded with the pending error as a warning, which the console
// shows and a script may catch.
PyObject* WarnOfPending(PyRef wrapper) {
    if (wrapper && TheRuntime().Errors().Has(0)) {
        std::string text = TheRuntime().Errors().Text();
        TheRuntime().Errors().Clear();
        if (PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1) < 0) return nullptr;
    }
    return wrapper.release();
}

PyObject* OsLoad(PyObject*, PyObject* args) {
    const char* where = nullptr;
    if (!PyArg_ParseTuple(args, "s:Load", &where)) return nullptr;
    std::string moniker = where;
    if (moniker.find(":/") == std::string::npos) {
        char* made = nullptr;
        if (!VnROT->PathToMoniker(where, &made)) return RaisePendingError(nullptr);
        moniker = made;
        TheRuntime().Free(made);
    }
    void* object = nullptr;
    TheRuntime().Errors().Clear();  // only what this load kept as stored may be warned of below
    if (!VnROT->GetObject(moniker.c_str(), nullptr, IID_IRoot, &object, 0))
        return RaisePendingError(nullptr);
    return WarnOfPending(PyRef::Steal(WrapOwned(static_cast<IRoot*>(object))));
}

PyObject* OsGetPath(PyObject*, PyObject* args) {
    int kind = 0;
    if (!PyArg_ParseTuple(args, "i:GetPath", &kind)) return nullptr;
    const char* path = TheRuntime().GetPath(kind);
    if (!path) return RaisePendingError(nullptr);
    return PyUnicode_FromString(path);
}

PyObject* OsSetPath(PyObject*, PyObject* args) {
    int kind = 0;
    const char* path = nullptr;
    if (!PyArg_ParseTuple(args, "is:SetPath", &kind, &path)) return nullptr;
    if (!TheRuntime().SetPath(kind, path)) return RaisePendingError(nullptr);
    Py_RETURN_NONE;
}

PyObject* OsRegister(PyObject*, PyObject* args) {
    const char* moniker = nullptr;
    PyObject* value = nullptr;
    if (!PyArg_ParseTuple(args, "sO:Register", &moniker, &value)) return nullptr;
    IRoot* object = WrapperArgument(value, "Register");
    if (!object) return nullptr;
    if (!VnROT->Register(moniker, object)) return RaisePendingError(nullptr);
    Py_RETURN_NONE;
}

PyObject* OsRevoke(PyObject*, PyObject* args) {
    const char* moniker = nullptr;
    if (!PyArg_ParseTuple(args, "s:Revoke", &moniker)) return nullptr;
    if (!VnROT->Revoke(moniker)) return RaisePendingError(nullptr);
    Py_RETURN_NONE;
}

PyObject* OsBranch(PyObject*, PyObject* args) {
    PyObject* value = nullptr;
    const char* moniker = nullptr;
    if (!PyArg_ParseTuple(args, "Os:Branch", &value, &moniker)) return nullptr;
    IRoot* object = WrapperArgument(value, "Branch");
    if (!object) return nullptr;
    IRoot* copy = nullptr;
    TheRuntime().Errors().Clear();  // only what this branch left out may be warned of below
    if (!VnROT->Branch(object, &copy, moniker, 0)) return RaisePendingError(nullptr);
    return WarnOfPending(PyRef::Steal(WrapOwned(copy)));
}

PyMethodDef kOsMethods[] = {
    {"CreateInstance", OsCreateInstance, METH_VARARGS,
     "CreateInstance('module.Class[.version]'): a new object of the class."},
    {"GetObject", OsGetObject, METH_VARARGS,
     "GetObject(moniker[, 'module.Class']): the object registered (or stored) under moniker."},
    {"Load", OsLoad, METH_VARARGS, "Load(path or moniker): the object stored in a .vorn file."},
    {"GetPath", OsGetPath, METH_VARARGS, "GetPath(kind): 0 base, 1 resources, 4 macros."},
    {"SetPath", OsSetPath, METH_VARARGS, "SetPath(kind, path)"},
    {"Register", OsRegister, METH_VARARGS, "Register(moniker, object): names the object."},
    {"Revoke", OsRevoke, METH_VARARGS, "Revoke(moniker): forgets the name."},
    {"Branch", OsBranch, METH_VARARGS,
     "Branch(object, moniker): writes the object to the moniker's file; answers the copy."},
    {nullptr, nullptr, 0, nullptr},
};

// --- vorn.pyos -------------------------------------------------------------------------------

PyObject* PyosExecFile(PyObject*, PyObject* args) {
    // a str (bytes that are not UTF-8 escaped as surrogates) or bytes: any file name can be run
    PyObject* encoded = nullptr;
    if (!PyArg_ParseTuple(args, "O&:ExecFile", PyUnicode_FSConverter, &encoded)) return nullptr;
    PyRef path = PyRef::Steal(encoded);
    bool ran = ExecScriptFile(PyBytes_AS_STRING(path.get()));
    if (!ran && PyErr_Occurred()) return nullptr;  // a RecursionError goes on to the caller
    if (!ran) ThePythonSide().Tasks().NoteFailure();
    return PyBool_FromLong(ran);
}

PyMethodDef kPyosMethods[] = {
    {"ExecFile", PyosExecFile, METH_VARARGS,
     "ExecFile(path): runs a script file with globals of its own; errors are printed. The path "
     "is a str or bytes. Answers False when the script raised; a RecursionError goes on to the "
     "caller."},
    {nullptr, nullptr, 0, nullptr},
};

// --- vorn.synchro ----------------------------------------------------------------------------

// Blocks the running tasklet until real time `due`, or until someone else resumes it.
PyObject* BlockUntil(int64_t due, const char* function) {
    PythonSide& py = ThePythonSide();
    VnTasklet self = py.CurrentTasklet();
    if (!self) {
        return PyErr_Format(VornErrorType(), "%s() must run in a tasklet, not the main tasklet",
                            function);
    }
    Scheduler& scheduler = TheRuntime().Sched();
    uint64_t timer = scheduler.AddTimer(due, [self] {
        PythonSide& side = ThePythonSide();
        if (side.Running()) side.ResumeTasklet(self, nullptr);
    });
    TheRuntime().PostToApp();
    PyObject* value = py.Tasks().Block(self);
    scheduler.CancelTimer(timer);  // woken early, or ended: the timer must not fire later
    return value;
}

PyObject* SynchroSleep(PyObject*, PyObject* args) {
    double ms = 0;
    if (!PyArg_ParseTuple(args, "d:Sleep", &ms)) return nullptr;
    if (!(ms >= 0)) return PyErr_Format(PyExc_ValueError, "Sleep() takes milliseconds >= 0");
    int64_t ticks = static_cast<int64_t>(std::min(ms, 1e12) * 10000.0);
    PyRef value = PyRef::Steal(BlockUntil(Scheduler::Now() + ticks, "Sleep"));
    if (!value) return nullptr;
    Py_RETURN_NONE;
}

PyObject* SynchroYield(PyObject*, PyObject*) {
    PyRef value = PyRef::Steal(BlockUntil(Scheduler::Now(), "Yield"));
    if (!value) return nullptr;
    Py_RETURN_NONE;
}

PyObject* SynchroStart(PyObject*, PyObject* args) {
    Py_ssize_t n = PyTuple_Size(args);
    if (n < 1) return PyErr_Format(PyExc_TypeError, "Start() needs a callable");
    PyObject* function = PyTuple_GET_ITEM(args, 0);
    PyRef rest = PyRef::Steal(PyTuple_GetSlice(args, 1, n));
    PyRef tasklet = PyRef::Steal(PyTasklet_New(nullptr, function));
    if (!tasklet || !rest) return nullptr;
    // the new tasklet's failure is its own; it is printed, not raised in the starter
    if (PyTasklet_Call(tasklet.get(), rest.get(), nullptr) < 0) PrintPythonError();
    return tasklet.release();
}

PyObject* SynchroBlock(PyObject*, PyObject*) {
    return ThePythonSide().BlockTasklet(ThePythonSide().CurrentTasklet());
}

PyObject* SynchroResume(PyObject*, PyObject* args) {
    PyObject* tasklet = nullptr;
    PyObject* value = Py_None;
    if (!PyArg_ParseTuple(args, "O|O:Resume", &tasklet, &value)) return nullptr;
    if (!ThePythonSide().Tasks().IsTasklet(tasklet))
        return PyErr_Format(PyExc_TypeError, "Resume() takes a tasklet");
    if (!ThePythonSide().Tasks().Resume(tasklet, value)) return nullptr;
    Py_RETURN_NONE;
}

PyObject* SynchroCurrent(PyObject*, PyObject*) {
    VnTasklet t = ThePythonSide().CurrentTasklet();
    return Py_NewRef(t ? t : Py_None);
}

PyObject* SynchroLive(PyObject*, PyObject*) {
    return PyLong_FromLong(ThePythonSide().Tasks().LiveCount());
}

PyObject* SynchroFailures(PyObject*, PyObject*) {
    return PyLong_FromLong(ThePythonSide().Tasks().Failures());
}

PyMethodDef kSynchroMethods[] = {
    {"Sleep", SynchroSleep, METH_VARARGS, "Sleep(ms): suspends the running tasklet."},
    {"Yield", SynchroYield, METH_NOARGS, "Yield(): lets other work run, then goes on."},
    {"Start", SynchroStart, METH_VARARGS,
     "Start(callable, *args): runs the callable in a new tasklet until it blocks or ends."},
    {"Block", SynchroBlock, METH_NOARGS,
     "Block(): suspends the running tasklet; answers what Resume hands over."},
    {"Resume", SynchroResume, METH_VARARGS, "Resume(tasklet[, value]): wakes a blocked tasklet."},
    {"Current", SynchroCurrent, METH_NOARGS, "Current(): the running tasklet, or None."},
    {"Live", SynchroLive, METH_NOARGS, "Live(): how many started tasklets have not ended."},
    {"Failures", SynchroFailures, METH_NOARGS,
     "Failures(): how many scripts and tasklets have ended with an uncaught error."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kVornModule = {PyModuleDef_HEAD_INIT,
                           "vorn",
                           "The runtime: objects, the running object table and tasklets.",
                           -1,
                           nullptr,
                           nullptr,
                           nullptr,
                           nullptr,
                           nullptr};

bool AddSubmodule(PyObject* parent, const char* name, PyMethodDef* methods, const char* doc) {
    std::string full = std::string("vorn.") + name;
    PyRef sub = PyRef::Steal(PyModule_New(full.c_str()));
    if (!sub || PyModule_AddFunctions(sub.get(), methods) < 0 ||
        PyModule_SetDocString(sub.get(), doc) < 0)
        return false;
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    if (PyDict_SetItemString(modules, full.c_str(), sub.get()) < 0) return false;
    return PyModule_AddObjectRef(parent, name, sub.get()) == 0;
}

// Makes a script's module the module __main__ while the script runs, as "python3 FILE" does,
// so that unittest, pickle and the like find the script's names there.
class MainModuleScope {
public:
    explicit MainModuleScope(PyObject* module) : mModule(module) {
        PyObject* modules = PyImport_GetModuleDict();
        mPrevious = PyRef::Borrow(PyDict_GetItemString(modules, "__main__"));
        mSet = PyDict_SetItemString(modules, "__main__", module) == 0;
    }
    MainModuleScope(const MainModuleScope&) = delete;
    MainModuleScope& operator=(const MainModuleScope&) = delete;
    ~MainModuleScope() {
        if (!mSet) return;
        PyObject *type, *value, *tb;
        PyErr_Fetch(&type, &value, &tb);
        PyObject* modules = PyImport_GetModuleDict();
        // a script started meanwhile in another tasklet keeps __main__ until it ends itself
        if (PyDict_GetItemString(modules, "__main__") == mModule) {
            if (mPrevious)
                PyDict_SetItemString(modules, "__main__", mPrevious.get());
            else
                PyDict_DelItemString(modules, "__main__");
        }
        PyErr_Clear();
        PyErr_Restore(type, value, tb);
    }

private:
    PyObject* mModule;
    PyRef mPrevious;
    bool mSet = false;
};

constexpr size_t kMaxScriptBytes = 64 * 1024 * 1024;

// Raises the SyntaxError Python gives for source with a NUL byte at `nul`, with its line.
void RaiseNulByte(const char* path, const std::string& text, size_t nul) {
    const size_t lineStart = nul == 0 ? 0 : text.rfind('\n', nul - 1) + 1;  // npos + 1 is 0
    const Py_ssize_t lineNumber =
        1 + static_cast<Py_ssize_t>(std::count(text.begin(), text.begin() + nul, '\n'));
    PyRef file = PyRef::Steal(PyUnicode_DecodeFSDefault(path));
    PyRef line = PyRef::Steal(PyUnicode_DecodeUTF8(
        text.data() + lineStart, static_cast<Py_ssize_t>(nul - lineStart), "replace"));
    if (!file || !line) return;
    PyRef args = PyRef::Steal(Py_BuildValue("(s(OnOO))", "source code cannot contain null bytes",
                                            file.get(), lineNumber, Py_None, line.get()));
    if (args) PyErr_SetObject(PyExc_SyntaxError, args.get());
}

// The end of a script that raised: the error is printed. A RecursionError stays pending when
// Python code called ExecFile: where it struck there is no room to print it or to go on, so it
// goes up through the calling scripts, as from any function, and the outermost ExecFile prints it.
bool ScriptFailed() {
    if (PyErr_ExceptionMatches(PyExc_RecursionError) && PyEval_GetFrame()) return false;
    PrintPythonError();
    return false;
}

}  // namespace

bool ExecScriptFile(const char* path) {
    std::string text, why;
    if (!ReadRegularFile(path, kMaxScriptBytes, &text, &why)) {
        // the path may hold bytes that are not UTF-8; they show as U+FFFD, never drop the line
        PyRef message = PyRef::Steal(
            PyUnicode_DecodeUTF8(why.data(), static_cast<Py_ssize_t>(why.size()), "replace"));
        if (message) PySys_FormatStderr("ExecFile: %U\n", message.get());
        PyErr_Clear();
        return false;
    }
    // compiled as a C string, the text would end at the NUL and only its start would run
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        RaiseNulByte(path, text, nul);
        return ScriptFailed();
    }
    PyRef module = PyRef::Steal(PyModule_New("__main__"));
    PyObject* globals = module ? PyModule_GetDict(module.get()) : nullptr;  // borrowed
    PyObject* name = PyUnicode_DecodeFSDefault(path);
    // one name object per path, so a traceback through a script that runs itself folds its
    // repeated lines as Python does for a function
    if (name) PyUnicode_InternInPlace(&name);
    PyRef file = PyRef::Steal(name);
    if (!globals || !file || PyDict_SetItemString(globals, "__file__", file.get()) < 0 ||
        PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins()) < 0)
        return ScriptFailed();
    PyRef code =
        PyRef::Steal(Py_CompileStringObject(text.c_str(), file.get(), Py_file_input, nullptr, -1));
    PyRef result;
    if (code) {
        MainModuleScope scope(module.get());
        result = PyRef::Steal(PyEval_EvalCode(code.get(), globals, globals));
    }
    if (result || TakeCleanExit()) return true;
    return ScriptFailed();
}

PyObject* InitVornModule() {
    PyRef module = PyRef::Steal(PyModule_Create(&kVornModule));
    if (!module) return nullptr;
    PyRef path = PyRef::Steal(PyList_New(0));  // a package, so "import vorn.os" works
    if (!path || PyModule_AddObjectRef(module.get(), "__path__", path.get()) < 0) return nullptr;
    if (!AddSubmodule(module.get(), "os", kOsMethods, "Objects, classes and paths.") ||
        !AddSubmodule(module.get(), "pyos", kPyosMethods, "Running script files.") ||
        !AddSubmodule(module.get(), "synchro", kSynchroMethods, "Tasklets and waiting."))
        return nullptr;
    if (PyModule_AddObjectRef(module.get(), "error", VornErrorType()) < 0 ||
        PyModule_AddObjectRef(module.get(), "Object",
                              reinterpret_cast<PyObject*>(WrapperTypeObject())) < 0)
        return nullptr;
    return module.release();
}

}  // namespace vorn
