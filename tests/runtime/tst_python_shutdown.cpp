// Shutdown while tasklets are suspended: it returns, runs every suspended tasklet's clean-up,
// and leaves nothing behind that could call into the ended interpreter.
#include <Python.h>

#include <QtTest>
#include <chrono>
#include <thread>

#include "checks.h"
#include "python_checks.h"
#include "test_env.h"
#include "vorn/object.h"
#include "vorn/pyos.h"
#include "vorn/ref.h"

namespace {

const VnCLSID kNotesClass = VnMakeCLSID("test", "Notes", 1);
const VnMemberDescriptor kNoMembers[] = {{}};

PrintCollector gSink;

// Keeps texts a script hands over: what exit handlers saw after the sink was taken away.
class Notes final : public VnStaticObject<IRoot> {
public:
    const VnTypeInfo* GetTypeInfo() override;
    QStringList texts;
};

Notes gNotes;

PyObject* Note(PyObject* self, PyObject* args) {
    PyThunkEnter();
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:Note", &text)) return PyThunkLeave(nullptr);
    VnSelf<Notes>(self)->texts.append(QString::fromUtf8(text));
    Py_INCREF(Py_None);
    return PyThunkLeave(Py_None);
}

const VnMethodDef kNotesMethods[] = {
    {"Note", Note, 1, "Keeps a text"},
    {nullptr, nullptr, 0, nullptr},
};

const VnTypeInfo* Notes::GetTypeInfo() {
    static const VnTypeInfo type = {
        &kNotesClass, nullptr, Notes::Interfaces(), kNoMembers, kNotesMethods, nullptr, 0};
    return &type;
}

PyObject* MainDict() { return PyModule_GetDict(PyImport_AddModule("__main__")); }

// A shutdown that hangs shows no reason, so QtTest's watchdog ends a test function after a
// minute instead of five.
[[maybe_unused]] const bool kTimeLimit = qputenv("QTEST_FUNCTION_TIMEOUT", "60000");

const char kTasklets[] = R"(
import atexit, vorn, vorn.os, vorn.synchro as s
from greenlet import GreenletExit

def blocked():
    try:
        print("blocked waits")
        s.Block()
        print("blocked resumed")
    finally:
        print("blocked finally")

def long_sleeper():
    try:
        s.Sleep(3600 * 1000)
        print("long sleeper woke")
    finally:
        print("long sleeper finally")

def short_sleeper():
    try:
        s.Sleep(40)
        print("short sleeper woke")
    finally:
        print("short sleeper finally")

def stubborn():
    try:
        s.Block()
    finally:
        print("stubborn finally")
        for again in (s.Block, lambda: s.Sleep(10)):
            try:
                again()
                print("stubborn waited again")
            except GreenletExit:
                print("stubborn refused")

def child():
    try:
        s.Block()
    finally:
        print("child finally")

def parent():
    try:
        s.Start(child)
        s.Block()
    finally:
        print("parent finally")

def finished():
    print("finished ran")

for function in (blocked, long_sleeper, short_sleeper, stubborn, parent, finished):
    s.Start(function)

# its modules are its own, so it works after the interpreter's end has set the globals to None
def try_calls(prefix, note, vorn=vorn, s=s):
    calls = (("create", lambda: vorn.os.CreateInstance("vorn.List")),
             ("sleep", lambda: s.Sleep(1)),
             ("block", s.Block),
             ("start", lambda: s.Start(print)))
    for name, call in calls:
        try:
            call()
            note("%s %s worked" % (prefix, name))
        except Exception as error:
            note("%s %s %s: %s" % (prefix, name, type(error).__name__, error))

def at_exit():
    print("exit handler runs")
    try_calls("exit handler", notes.Note)

atexit.register(at_exit)

class Finalized:
    def __init__(self, prefix):
        self.prefix, self.note, self.calls = prefix, notes.Note, try_calls
    def __del__(self):
        self.calls(self.prefix, self.note)

# goes when the runtime clears the script namespaces, before it shuts down its objects
early = Finalized("main finalizer")
# goes with the modules in the interpreter's own end, after the runtime has shut down
import sys, types
sys.modules["held_to_the_end"] = types.ModuleType("held_to_the_end")
sys.modules["held_to_the_end"].late = Finalized("finalizer")
)";

}  // namespace

class TestPythonShutdown : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    bool mShutDown = false;

    // The scenario every case looks at, run once: the runtime shuts down once per process.
    [[nodiscard]] bool ShutDownWithTasklets() {
        if (mShutDown) return true;
        mShutDown = true;
        CHECK(RunPython(kTasklets));
        CHECK_COMPARE(EvalPython("s.Live()"), QString("6"));  // all but "finished", the child
        CHECK(VnOS->NextWorkIn() >= 0);                       // the sleepers' timers
        CHECK(gSink.Lines().contains("finished ran"));
        gSink.all.clear();
        VnOS->Shutdown();
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        QVERIFY(PyOS->SetEventSink(&gSink));
        PyObject* notes = PyOS->Wrap(&gNotes, -1);
        QVERIFY(notes);
        PyDict_SetItemString(MainDict(), "notes", notes);
        Py_DECREF(notes);
    }

    // Catches a shutdown that hangs, skips a suspended tasklet's clean-up, lets a clean-up
    // wait again, or leaves a timer that would call into the ended interpreter.
    void shutdownEndsSuspendedTasklets() {
        QVERIFY2(ShutDownWithTasklets(), qPrintable(gSink.all));
        QStringList lines = gSink.Lines();
        for (const char* line : {"blocked finally", "long sleeper finally", "short sleeper finally",
                                 "stubborn finally", "child finally", "parent finally"})
            QVERIFY2(lines.contains(line), qPrintable(lines.join(" | ")));
        QCOMPARE(lines.count("stubborn refused"), 2);
        for (const char* line : {"blocked resumed", "long sleeper woke", "short sleeper woke",
                                 "stubborn waited again", "finished ran"})
            QVERIFY2(!lines.contains(line), qPrintable(lines.join(" | ")));
        QCOMPARE(VnOS->NextWorkIn(), -1);  // no timer of an ended tasklet is left
    }

    // Catches exit handlers that run without a working runtime or that may wait, objects of
    // __main__ let go only after the runtime has shut down (their finalizers could not use it),
    // and Python run by the interpreter's own end that crashes on runtime calls instead of raising.
    void codeRunAtTheEndGetsErrorsNotACrash() {
        QVERIFY(ShutDownWithTasklets());
        QVERIFY(gSink.Lines().contains("exit handler runs"));  // while the sink was still set
        QCOMPARE(gNotes.texts,
                 QStringList({
                     "exit handler create worked",
                     "exit handler sleep error: Sleep() must run in a tasklet, not the main "
                     "tasklet",
                     "exit handler block error: The main tasklet cannot block",
                     "exit handler start RuntimeError: tasklets cannot be made now",
                     "main finalizer create worked",
                     "main finalizer sleep error: Sleep() must run in a tasklet, not the main "
                     "tasklet",
                     "main finalizer block error: The main tasklet cannot block",
                     "main finalizer start RuntimeError: tasklets cannot be made now",
                     "finalizer create RuntimeError: the runtime has shut down",
                     "finalizer sleep RuntimeError: Sleep() must run in a tasklet, not the main "
                     "tasklet",
                     "finalizer block RuntimeError: The main tasklet cannot block",
                     "finalizer start RuntimeError: tasklets cannot be made now",
                 }));
    }

    // Catches a pump that still runs a sleeper's timer, or a runtime that starts again.
    void nothingTouchesPythonAfterwards() {
        QVERIFY(ShutDownWithTasklets());
        QString before = gSink.all;
        std::this_thread::sleep_for(std::chrono::milliseconds(80));  // past the short sleeper
        for (int i = 0; i < 3; ++i) VnOS->Pump();
        QCOMPARE(gSink.all, before);

        VnOS->Shutdown();  // a second time: nothing to do
        QVERIFY(!Py_IsInitialized());
        QVERIFY(!VnOS->IsStarted());

        void* made = nullptr;
        QVERIFY(VnOS->CreateInstance(VnMakeCLSID("vorn", "List", -1), IID_IRoot, &made));
        VnRef<IRoot> list = VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
        QVERIFY(!PyOS->Wrap(list.get(), -1));
        QVERIFY(!PyOS->WrapperType());
        QVERIFY(!PyOS->CurrentTasklet());
        QVERIFY(!PyOS->SetEventSink(&gSink));
        QVERIFY(!PyOS->Split(list.get(), -1));
    }
};

QTEST_GUILESS_MAIN(TestPythonShutdown)
#include "tst_python_shutdown.moc"
