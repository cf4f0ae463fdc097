#include "tasklets.h"

#include <greenlet/greenlet.h>

#include <algorithm>
#include <vector>

#include "vorn/py_ref.h"

namespace vorn {

namespace {
PyGreenlet* AsGreenlet(PyObject* o) { return reinterpret_cast<PyGreenlet*>(o); }

bool IsMainGreenlet(PyObject* g) { return PyGreenlet_MAIN(AsGreenlet(g)) != 0; }

PyObject* ArgsTuple(PyObject* args) {
    if (!args) return PyTuple_New(0);
    if (PyTuple_Check(args)) return Py_NewRef(args);
    return PySequence_Tuple(args);
}
}  // namespace

void PrintPythonError() {
    if (!PyErr_Occurred()) return;
    // a tasklet being ended (at shutdown, or thrown out by a script) is nobody's error
    if (PyErr_ExceptionMatches(PyExc_GreenletExit)) {
        PyErr_Clear();
        return;
    }
    if (!PyErr_ExceptionMatches(PyExc_SystemExit)) {
        PyErr_Print();
        return;
    }
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    PyRef code = PyRef::Steal(value ? PyObject_GetAttrString(value, "code") : nullptr);
    PyErr_Clear();
    PyRef text = PyRef::Steal(code ? PyObject_Repr(code.get()) : nullptr);
    PyErr_Clear();
    PySys_WriteStderr("SystemExit(%s) ends only the script, not the program\n",
                      text ? PyUnicode_AsUTF8(text.get()) : "?");
    PyErr_Clear();
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
}

bool TakeCleanExit() {
    if (!PyErr_ExceptionMatches(PyExc_SystemExit)) return false;
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    PyRef code = PyRef::Steal(value ? PyObject_GetAttrString(value, "code") : nullptr);
    PyErr_Clear();
    bool clean = !code || code.get() == Py_None ||
                 (PyLong_Check(code.get()) && PyLong_AsLong(code.get()) == 0);
    if (!clean) {
        PyErr_Restore(type, value, tb);
        return false;
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    return true;
}

bool Tasklets::Init(std::string* why) {
    PyGreenlet_Import();
    if (!_PyGreenlet_API) {
        PyObject *t, *v, *b;
        PyErr_Fetch(&t, &v, &b);
        PyRef text = PyRef::Steal(v ? PyObject_Str(v) : nullptr);
        *why = std::string("Cannot load greenlet, which tasklets need: ") +
               (text ? PyUnicode_AsUTF8(text.get()) : "unknown error");
        Py_XDECREF(t);
        Py_XDECREF(v);
        Py_XDECREF(b);
        PyErr_Clear();
        return false;
    }
    mReady = true;
    return true;
}

bool Tasklets::IsTasklet(PyObject* object) const {
    return mReady && object && PyGreenlet_Check(object);
}

PyObject* Tasklets::CallMain(PyObject* function, PyObject* args, PyObject* kwds) {
    PyRef current = PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetCurrent()));
    if (!current || !IsMainGreenlet(current.get())) {
        PyErr_SetString(PyExc_RuntimeError, "the main function must be called on the main tasklet");
        return nullptr;
    }
    PyRef tuple = PyRef::Steal(ArgsTuple(args));
    if (!tuple) return nullptr;
    return PyObject_Call(function, tuple.get(), kwds);
}

PyObject* Tasklets::New(PyObject* function) {
    if (!mReady || mEnding) {
        PyErr_SetString(PyExc_RuntimeError, "tasklets cannot be made now");
        return nullptr;
    }
    if (!function || !PyCallable_Check(function)) {
        PyErr_SetString(PyExc_TypeError, "a tasklet needs a callable");
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(PyGreenlet_New(function, nullptr));
}

PyObject* Tasklets::SwitchInto(PyObject* tasklet, PyObject* args, PyObject* kwds) {
    PyRef current = PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetCurrent()));
    if (!current) return nullptr;
    if (PyGreenlet_SetParent(AsGreenlet(tasklet), AsGreenlet(current.get())) < 0) return nullptr;
    PyRef keep = PyRef::Borrow(tasklet);  // the tasklet may forget itself while it runs
    mEntryDepth[tasklet] = LoopDepth();
    PyObject* result = PyGreenlet_Switch(AsGreenlet(tasklet), args, kwds);
    ForgetIfFinished(tasklet);
    return result;
}

int Tasklets::Call(PyObject* tasklet, PyObject* args, PyObject* kwds) {
    if (!IsTasklet(tasklet)) {
        PyErr_SetString(PyExc_TypeError, "not a tasklet");
        return -1;
    }
    if (mEnding || PyGreenlet_STARTED(AsGreenlet(tasklet))) {
        PyErr_SetString(PyExc_RuntimeError,
                        mEnding ? "tasklets cannot start now" : "the tasklet has already started");
        return -1;
    }
    PyRef tuple = PyRef::Steal(ArgsTuple(args));
    if (!tuple) return -1;
    if (mLive.insert(tasklet).second) Py_INCREF(tasklet);
    PyRef result = PyRef::Steal(SwitchInto(tasklet, tuple.get(), kwds));
    if (!result && !TakeCleanExit()) {
        ++mFailures;
        return -1;
    }
    return 0;
}

VnTasklet Tasklets::Current() {
    if (!mReady) return nullptr;
    PyRef current = PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetCurrent()));
    if (!current || IsMainGreenlet(current.get())) return nullptr;
    return current.get();  // kept alive by the runtime (or by whoever started it)
}

PyObject* Tasklets::Block(VnTasklet tasklet) {
    VnTasklet current = Current();
    if (!current) {
        PyErr_SetString(PyExc_RuntimeError, "the main tasklet cannot block");
        return nullptr;
    }
    if (tasklet && tasklet != current) {
        PyErr_SetString(PyExc_RuntimeError, "only the running tasklet can block itself");
        return nullptr;
    }
    if (mEnding) return RefuseWhileEnding(current);
    // switching away would leave that loop dispatching on a stack that no longer runs
    if (RunsLoop(current)) {
        PyErr_SetString(PyExc_RuntimeError,
                        "a tasklet cannot wait while a dialog or menu it opened is open; "
                        "wait in a tasklet of its own (vorn.synchro.Start)");
        return nullptr;
    }
    PyRef parent =
        PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetParent(AsGreenlet(current))));
    if (!parent) {
        PyErr_SetString(PyExc_RuntimeError, "the tasklet has nowhere to return to");
        return nullptr;
    }
    if (mLive.insert(current).second) Py_INCREF(current);
    mBlocked.insert(current);
    PyObject* value = PyGreenlet_Switch(AsGreenlet(parent.get()), nullptr, nullptr);
    mBlocked.erase(current);
    return value;
}

bool Tasklets::Resume(VnTasklet tasklet, PyObject* value) {
    if (!tasklet || mBlocked.find(tasklet) == mBlocked.end()) {
        PyErr_SetString(PyExc_RuntimeError, "the tasklet is not blocked");
        return false;
    }
    mBlocked.erase(tasklet);
    PyRef args = PyRef::Steal(PyTuple_Pack(1, value ? value : Py_None));
    PyRef result = PyRef::Steal(SwitchInto(tasklet, args.get(), nullptr));
    if (!result && !TakeCleanExit()) {
        ++mFailures;
        PrintPythonError();
    }
    return true;
}

void Tasklets::SetLoopDepth(int (*depth)(void* context), void* context) {
    mLoopDepth = depth;
    mLoopContext = context;
}

bool Tasklets::RunsLoop(PyObject* tasklet) const {
    auto entered = mEntryDepth.find(tasklet);
    return entered != mEntryDepth.end() && LoopDepth() > entered->second;
}

int Tasklets::LiveCount() {
    std::vector<PyObject*> ended;  // forgetting one may run code that starts others
    for (PyObject* tasklet : mLive)
        if (!PyGreenlet_ACTIVE(AsGreenlet(tasklet))) ended.push_back(tasklet);
    for (PyObject* tasklet : ended) Forget(tasklet);
    return static_cast<int>(mLive.size());
}

PyObject* Tasklets::RefuseWhileEnding(PyObject* tasklet) {
    // a tasklet that catches the exit and blocks again would otherwise spin for ever
    constexpr int kRefusalsAllowed = 2;
    if (++mRefusals[tasklet] <= kRefusalsAllowed) {
        PyErr_SetNone(PyExc_GreenletExit);
        return nullptr;
    }
    mAbandoned.push_back(Py_NewRef(tasklet));
    PyRef parent =
        PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetParent(AsGreenlet(tasklet))));
    if (parent) Py_XDECREF(PyGreenlet_Switch(AsGreenlet(parent.get()), nullptr, nullptr));
    PyErr_SetNone(PyExc_GreenletExit);  // only if someone switches back into it
    return nullptr;
}

void Tasklets::ReportAbandoned(PyObject* tasklet) {
    PyRef frame = PyRef::Steal(PyObject_GetAttrString(tasklet, "gr_frame"));
    PyErr_Clear();
    std::string where = "somewhere unknown";
    if (frame && PyFrame_Check(frame.get())) {
        auto* f = reinterpret_cast<PyFrameObject*>(frame.get());
        PyRef code = PyRef::Steal(reinterpret_cast<PyObject*>(PyFrame_GetCode(f)));
        auto* c = reinterpret_cast<PyCodeObject*>(code.get());
        const char* file = PyUnicode_AsUTF8(c->co_filename);
        const char* name = PyUnicode_AsUTF8(c->co_name);
        PyErr_Clear();
        where = std::string("File \"") + (file ? file : "?") + "\", line " +
                std::to_string(PyFrame_GetLineNumber(f)) + ", in " + (name ? name : "?");
    }
    PySys_FormatStderr("A tasklet would not end and was abandoned at shutdown: %s\n",
                       where.c_str());
}

void Tasklets::ForgetIfFinished(PyObject* tasklet) {
    if (PyGreenlet_STARTED(AsGreenlet(tasklet)) && !PyGreenlet_ACTIVE(AsGreenlet(tasklet)))
        Forget(tasklet);
}

void Tasklets::Forget(PyObject* tasklet) {
    mBlocked.erase(tasklet);
    mRefusals.erase(tasklet);
    mEntryDepth.erase(tasklet);
    if (mLive.erase(tasklet)) Py_DECREF(tasklet);
}

void Tasklets::EndAll() {
    if (!mReady) return;
    mEnding = true;
    // the tasklets on the way from the main tasklet to here cannot be ended from inside
    std::unordered_set<PyObject*> running;
    PyRef walk = PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetCurrent()));
    while (walk && !IsMainGreenlet(walk.get())) {
        running.insert(walk.get());
        walk =
            PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetParent(AsGreenlet(walk.get()))));
    }
    // a tasklet's clean-up may not block again; a few rounds catch those that try
    for (int round = 0; round < 3 && !mLive.empty(); ++round) {
        std::vector<PyObject*> live(mLive.begin(), mLive.end());
        for (PyObject* t : live) {
            if (mLive.find(t) == mLive.end() || running.count(t) || IsAbandoned(t)) continue;
            PyRef keep = PyRef::Borrow(t);
            mBlocked.erase(t);
            if (PyGreenlet_ACTIVE(AsGreenlet(t))) {
                PyRef current = PyRef::Steal(reinterpret_cast<PyObject*>(PyGreenlet_GetCurrent()));
                PyGreenlet_SetParent(AsGreenlet(t), AsGreenlet(current.get()));
                PyRef r = PyRef::Steal(
                    PyGreenlet_Throw(AsGreenlet(t), PyExc_GreenletExit, nullptr, nullptr));
                if (!r) PyErr_Clear();
            }
            if (!PyGreenlet_ACTIVE(AsGreenlet(t)))
                Forget(t);
            else if (IsAbandoned(t))
                ReportAbandoned(t);
        }
    }
    // whatever still clings on is dropped without running again
    for (PyObject* t : std::vector<PyObject*>(mLive.begin(), mLive.end()))
        if (!running.count(t)) Forget(t);
}

bool Tasklets::IsAbandoned(PyObject* tasklet) const {
    return std::find(mAbandoned.begin(), mAbandoned.end(), tasklet) != mAbandoned.end();
}

}  // namespace vorn
