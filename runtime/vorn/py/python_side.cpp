#include "python_side.h"

#include <vector>

#include "../path_table.h"
#include "../runtime.h"
#include "member_convert.h"
#include "module.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "wrapper.h"
#include "writer_table.h"

IPyOS* PyOS = &vorn::ThePythonSide();

namespace vorn {

namespace {

std::string StatusText(const PyStatus& status) {
    std::string text = status.err_msg ? status.err_msg : "unknown failure";
    if (status.func) text = std::string(status.func) + ": " + text;
    if (PyStatus_IsExit(status))
        text = "the interpreter exited with " + std::to_string(status.exitcode);
    return text;
}

bool InsertPath(const std::string& folder, Py_ssize_t position) {
    PyObject* path = PySys_GetObject("path");  // borrowed
    PyRef entry = PyRef::Steal(PyUnicode_FromString(folder.c_str()));
    return path && entry && PyList_Insert(path, position, entry.get()) == 0;
}

void RemovePath(const std::string& folder) {
    PyObject* path = PySys_GetObject("path");
    PyRef entry = PyRef::Steal(PyUnicode_FromString(folder.c_str()));
    if (!path || !entry) return;
    Py_ssize_t at = PySequence_Index(path, entry.get());
    if (at >= 0) PySequence_DelItem(path, at);
    PyErr_Clear();
}

// The namespace a script ran in: the interpreter's __main__ or one ExecFile made, which may
// live on only through its functions' globals once the script has ended.
bool IsMainNamespace(PyObject* dict) {
    if (!PyDict_CheckExact(dict)) return false;
    PyObject* name = PyDict_GetItemString(dict, "__name__");  // borrowed
    return name && PyUnicode_Check(name) &&
           PyUnicode_CompareWithASCIIString(name, "__main__") == 0 &&
           PyDict_GetItemString(dict, "__builtins__");
}

// Every live script namespace, found among the objects the cycle collector tracks.
std::vector<PyRef> MainNamespaces() {
    std::vector<PyRef> found;
    PyRef gc = PyRef::Steal(PyImport_ImportModule("gc"));
    PyRef objects =
        PyRef::Steal(gc ? PyObject_CallMethod(gc.get(), "get_objects", nullptr) : nullptr);
    if (!objects || !PyList_Check(objects.get())) {
        PyErr_Clear();
        return found;
    }
    for (Py_ssize_t i = 0, n = PyList_GET_SIZE(objects.get()); i < n; ++i) {
        PyObject* object = PyList_GET_ITEM(objects.get(), i);
        if (IsMainNamespace(object)) found.push_back(PyRef::Borrow(object));
    }
    return found;
}

// Sets the namespace's names to None as Python's own finalisation does for a module: names
// with one leading underscore first, then all but __builtins__. Dropping the values in this
// order closes an open file through its text layer, which flushes it, before its buffer goes.
void ClearNamespace(PyObject* dict) {
    PyRef keys = PyRef::Steal(PyDict_Keys(dict));
    if (!keys) return PyErr_Clear();
    auto clearWhere = [&](bool privateOnly) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
            PyObject* key = PyList_GET_ITEM(keys.get(), i);
            if (!PyUnicode_Check(key) || PyUnicode_GET_LENGTH(key) == 0) continue;
            bool isPrivate = PyUnicode_READ_CHAR(key, 0) == '_' &&
                             (PyUnicode_GET_LENGTH(key) < 2 || PyUnicode_READ_CHAR(key, 1) != '_');
            if (privateOnly != isPrivate ||
                PyUnicode_CompareWithASCIIString(key, "__builtins__") == 0)
                continue;
            // a finalizer run by the drop may have taken the name out meanwhile
            if (PyDict_GetItemWithError(dict, key) && PyDict_SetItem(dict, key, Py_None) < 0)
                PyErr_WriteUnraisable(key);
            PyErr_Clear();
        }
    };
    clearWhere(true);
    clearWhere(false);
}

// What the scripts left behind goes before the runtime's objects do: their namespaces are
// cleared and their cycles collected, so files they left open are flushed and closed.
void ReleaseScriptNamespaces() {
    for (const PyRef& dict : MainNamespaces()) ClearNamespace(dict.get());
    PyGC_Collect();
    PyErr_Clear();
}

}  // namespace

PythonSide& ThePythonSide() { return TheRuntime().Python(); }

bool PythonSide::Start(std::string* why) {
    if (mRunning) return true;
    if (Py_IsInitialized()) {
        *why = "Another interpreter already runs in this process";
        return false;
    }
    if (PyImport_AppendInittab("vorn", InitVornModule) < 0) {
        *why = "Cannot register the module vorn";
        return false;
    }
    PyConfig config;
    PyConfig_InitPythonConfig(&config);
    config.install_signal_handlers = 0;  // the embedding program owns the signals
    config.parse_argv = 0;
    // unbuffered, so output reaches a pipe or log in the order it was written on either stream
    config.buffered_stdio = 0;
    // Debian's interpreter, so its own library is found, whatever python3 comes first on PATH
    PyStatus status = PyConfig_SetBytesString(&config, &config.program_name, "/usr/bin/python3");
    if (!PyStatus_Exception(status)) status = Py_InitializeFromConfig(&config);
    PyConfig_Clear(&config);
    if (PyStatus_Exception(status)) {
        *why = "Cannot start the Python interpreter: " + StatusText(status);
        return false;
    }
    mRunning = true;
    if (!InitVornErrorType() || !InitWrapperType() || !mStreams.Init() || !mTasklets.Init(why)) {
        if (why->empty()) *why = "Cannot set up the runtime's Python types";
        Stop();
        return false;
    }
    InsertPath(TheRuntime().Paths().ProgramFolder() + "python", 0);
    ResourceDirChanged(TheRuntime().Paths().Get(kVnPathResource));
    PyRef module = PyRef::Steal(PyImport_ImportModule("vorn"));
    if (!module) {
        *why = "Cannot import the module vorn";
        PyErr_Clear();
        Stop();
        return false;
    }
    return true;
}

void PythonSide::Stop() {
    if (!mRunning) return;
    mTasklets.EndAll();
    {
        // exit handlers run now, while wrappers, vorn.error and the output sink still work
        PyRef atexit = PyRef::Steal(PyImport_ImportModule("atexit"));
        PyRef ran = PyRef::Steal(
            atexit ? PyObject_CallMethod(atexit.get(), "_run_exitfuncs", nullptr) : nullptr);
        if (!ran) PrintPythonError();
    }
    ReleaseScriptNamespaces();
    writer_table::Settle();
    mStreams.Clear();
    // letting go of one table may destroy objects whose own tables are erased meanwhile
    while (!mAttributes.empty()) DropAttributes(mAttributes.begin()->first);
    ClearVornErrorType();
    ClearWrapperType();
    Py_FinalizeEx();
    mWrappers.clear();
    mRunning = false;
}

void PythonSide::ResourceDirChanged(const std::string& resourceDir) {
    if (!mRunning) return;
    if (!mScriptsPath.empty()) RemovePath(mScriptsPath);
    mScriptsPath = resourceDir + "scripts";
    InsertPath(mScriptsPath, 0);
}

PyObject* PythonSide::Wrap(IRoot* object, int) {
    if (!mRunning) return nullptr;
    if (!object) Py_RETURN_NONE;
    IRoot* identity = object;
    VnRef<IRoot> root = VnQuery<IRoot>(object);
    if (root) identity = root.get();
    auto known = mWrappers.find(identity);
    if (known != mWrappers.end()) return Py_NewRef(known->second);
    PyObject* wrapper = NewWrapper(identity);
    if (wrapper) mWrappers[identity] = wrapper;
    return wrapper;
}

IRoot* PythonSide::Unwrap(PyObject* object) { return mRunning ? WrappedObject(object) : nullptr; }

PyTypeObject* PythonSide::WrapperType() { return mRunning ? WrapperTypeObject() : nullptr; }

PyObject* PythonSide::Split(IRoot* object, int) {
    if (!mRunning || !object) return nullptr;
    VnRef<IRoot> root = VnQuery<IRoot>(object);
    return SplitNames(root ? root.get() : object);
}

void PythonSide::Forget(PyObject* wrapper, IRoot* identity) {
    auto known = mWrappers.find(identity);
    if (known != mWrappers.end() && known->second == wrapper) mWrappers.erase(known);
}

PyObject* PythonSide::AttributesOf(IRoot* identity, bool create) {
    auto known = mAttributes.find(identity);
    if (known != mAttributes.end()) return known->second;
    if (!create) return nullptr;
    PyObject* attrs = PyDict_New();
    if (attrs) mAttributes[identity] = attrs;
    return attrs;
}

void PythonSide::ObjectDestroyed(IRoot* identity) {
    writer_table::Forget(identity);
    DropAttributes(identity);
}

void PythonSide::DropAttributes(IRoot* identity) {
    if (!mRunning) return;
    auto known = mAttributes.find(identity);
    if (known == mAttributes.end()) return;
    PyObject* attrs = known->second;
    mAttributes.erase(known);
    Py_DECREF(attrs);
}

bool PythonSide::SetEventSink(IRoot* sink) {
    if (!mRunning) return false;
    return mStreams.SetSink(sink);
}

VnTasklet PythonSide::CurrentTasklet() { return mRunning ? mTasklets.Current() : nullptr; }

PyObject* PythonSide::BlockTasklet(VnTasklet tasklet) {
    if (!mRunning) return nullptr;
    if (!tasklet && !mTasklets.Current()) {
        TheRuntime().Fail("The main tasklet cannot block");
        PyErr_SetString(VornErrorType(), "The main tasklet cannot block");
        return nullptr;
    }
    return mTasklets.Block(tasklet);
}

bool PythonSide::ResumeTasklet(VnTasklet tasklet, PyObject* value) {
    if (!mRunning) return false;
    if (mTasklets.Resume(tasklet, value)) return true;
    PyErr_Clear();
    TheRuntime().Fail("ResumeTasklet: the tasklet is not blocked");
    return false;
}

void PythonSide::ReportError(int) {
    if (mRunning) PrintPythonError();
}

}  // namespace vorn
