#pragma once

#include <Python.h>

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vorn/pyos.h"

namespace vorn {

// Tasklets are greenlets. Starting or resuming a tasklet makes the caller its parent, so
// when the tasklet blocks or ends, control comes back to exactly that caller. The runtime keeps
// every started, unfinished tasklet alive until it ends.
class Tasklets {
public:
    bool Init(std::string* why);

    PyObject* CallMain(PyObject* function, PyObject* args, PyObject* kwds);
    PyObject* New(PyObject* function);
    int Call(PyObject* tasklet, PyObject* args, PyObject* kwds);
    VnTasklet Current();
    PyObject* Block(VnTasklet tasklet);
    bool Resume(VnTasklet tasklet, PyObject* value);
    bool IsTasklet(PyObject* object) const;
    // How deeply the embedding program's event loops are nested right now; null: not told.
    void SetLoopDepth(int (*depth)(void* context), void* context);

    // Tasklets that have started and not ended. One ended by a script's own throw() is no
    // longer counted, although it never came back through the runtime.
    int LiveCount();
    int BlockedCount() const { return static_cast<int>(mBlocked.size()); }
    // Uncaught errors of tasklets and scripts since the start.
    int Failures() const { return mFailures; }
    void NoteFailure() { ++mFailures; }

    // Ends every unfinished tasklet by raising GreenletExit in it; nothing resumes afterwards.
    void EndAll();

private:
    // Switches to `tasklet` as a child of the current greenlet; answers what came back.
    PyObject* SwitchInto(PyObject* tasklet, PyObject* args, PyObject* kwds);
    void Forget(PyObject* tasklet);
    void ForgetIfFinished(PyObject* tasklet);
    // A tasklet that blocks while everything ends: refused a few times, then given up on.
    PyObject* RefuseWhileEnding(PyObject* tasklet);
    int LoopDepth() const { return mLoopDepth ? mLoopDepth(mLoopContext) : 0; }
    // True when an event loop (a modal dialog, a menu) runs on the tasklet's own stack.
    bool RunsLoop(PyObject* tasklet) const;
    void ReportAbandoned(PyObject* tasklet);
    bool IsAbandoned(PyObject* tasklet) const;

    bool mReady = false;
    bool mEnding = false;
    int mFailures = 0;
    std::unordered_set<PyObject*> mLive;             // one reference each
    std::unordered_set<PyObject*> mBlocked;          // a subset of mLive
    std::map<PyObject*, int> mRefusals;              // blocks tried while ending, by tasklet
    std::unordered_map<PyObject*, int> mEntryDepth;  // the loop depth each was last entered at
    int (*mLoopDepth)(void*) = nullptr;
    void* mLoopContext = nullptr;
    // tasklets that would not end; kept for ever, since dropping one would try to end it again
    std::vector<PyObject*> mAbandoned;
};

// Prints the pending Python error through sys.stderr. Unlike PyErr_Print, a SystemExit never
// ends the process: the embedding program decides when to end.
void PrintPythonError();

// True (and the error cleared) when the pending Python error is a SystemExit with code 0 or None:
// a script or tasklet that ended itself that way did not fail.
bool TakeCleanExit();

}  // namespace vorn
