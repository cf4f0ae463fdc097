#include "script/py_driver.h"

#include <QGuiApplication>

#include "platform/message_box.h"
#include "script/script_object.h"
#include "shell/ishell.h"

namespace {

const VnCLSID kClass = VnMakeCLSID("app", "PyDriver", 1);
const VnMemberDescriptor kNoMembers[] = {{}};

TPyDriver gDriver;

// The interval of the pump's idle passes while anything is animated, in seconds.
PyObject* Sleep(PyObject*, PyObject* args) {
    double seconds = 0;
    if (!PyArg_ParseTuple(args, "d:Sleep", &seconds)) return nullptr;
    VnOS->SetFrameInterval(seconds);
    Py_RETURN_NONE;
}

PyObject* SetNavigation(PyObject*, PyObject*) { Py_RETURN_NONE; }

PyObject* ShowMessage(PyObject*, PyObject* args) {
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:ShowMessage", &text)) return nullptr;
    IShell* shell = gDriver.Shell();
    if (!shell) return RaiseToolClosing();
    if (NoAnswerInBatch(*shell, "ShowMessage: " + QString::fromUtf8(text))) Py_RETURN_NONE;
    mw::ShowMessageBox(shell->DialogParent(), QString::fromUtf8(text),
                       QGuiApplication::applicationDisplayName(), mw::kMbOk);
    Py_RETURN_NONE;
}

const VnMethodDef kMethods[] = {
    {"Sleep", Bracketed<Sleep>, 1,
     "Sleep(seconds, /)\n--\n\n"
     "SetPumpSleep..."},
    {"SetNavigation", Bracketed<SetNavigation>, 1,
     "SetNavigation(*args)\n--\n\n"
     "SetNavigation"},
    {"ShowMessage", Bracketed<ShowMessage>, 1, "ShowMessage(text, /)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

const VnTypeInfo* TPyDriver::GetTypeInfo() {
    static const VnTypeInfo type = {&kClass, nullptr, Interfaces(), kNoMembers, kMethods,
                                    nullptr, 0};
    return &type;
}

void TPyDriver::Signal(int, void*, VnTasklet tasklet) {
    if (tasklet) PyOS->ResumeTasklet(tasklet, nullptr);
}

TPyDriver& TheDriver() { return gDriver; }
