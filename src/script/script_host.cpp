#include "script/script_host.h"

#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QThread>
#include <utility>

#include "script/console_window.h"
#include "script/error_log.h"
#include "script/macro.h"
#include "script/name_completion.h"
#include "script/script_object.h"
#include "shell/ishell.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "vorn/object.h"
#include "vorn/os.h"
#include "vorn/py_ref.h"
#include "vorn/pyos.h"

namespace {

// Compiles a console line: with `echo`, as Python's interactive prompt does, so an expression
// statement prints its value's repr; text that is no single statement compiles as a file.
PyRef CompileLine(const char* text, bool echo) {
    if (echo) {
        PyRef code = PyRef::Steal(Py_CompileString(text, "<string>", Py_single_input));
        if (code || !PyErr_ExceptionMatches(PyExc_SyntaxError)) return code;
        PyErr_Clear();
    }
    return PyRef::Steal(Py_CompileString(text, "<string>", Py_file_input));
}

// The body of a started line: runs the text as statements in __main__; errors are printed.
PyObject* RunString(PyObject*, PyObject* args) {
    const char* text = nullptr;
    int echo = 0;
    if (!PyArg_ParseTuple(args, "s|p", &text, &echo)) return nullptr;
    PyObject* main = PyImport_AddModule("__main__");
    PyObject* globals = main ? PyModule_GetDict(main) : nullptr;  // borrowed
    PyRef code = globals ? CompileLine(text, echo) : PyRef();
    PyRef result = PyRef::Steal(code ? PyEval_EvalCode(code.get(), globals, globals) : nullptr);
    if (!result) PyOS->ReportError(0);
    Py_RETURN_NONE;
}

PyMethodDef kRunString = {"runstring", RunString, METH_VARARGS, "run stuff"};

TScriptHost* gInputHost = nullptr;

// input() for scripts inside the tool: the process's own stdin would block the whole window, so
// the user is asked in a dialog; Cancel, or a batch run where no one can answer, is end of input.
PyObject* AskInput(PyObject*, PyObject* args) {
    PyObject* prompt = nullptr;
    if (!PyArg_ParseTuple(args, "|O:input", &prompt)) return nullptr;
    QString question;
    if (prompt) {
        PyRef text = PyRef::Steal(PyObject_Str(prompt));
        const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (!utf8) return nullptr;
        question = QString::fromUtf8(utf8);
    }
    QString answer;
    if (!gInputHost || !gInputHost->AskForInput(question, &answer)) {
        const bool asked = gInputHost && gInputHost->CanAsk();
        PyErr_SetString(PyExc_EOFError,
                        asked ? "input cancelled" : "input() has no one to answer it here");
        return nullptr;
    }
    const QByteArray utf8 = answer.toUtf8();
    return PyUnicode_DecodeUTF8(utf8.constData(), utf8.size(), "surrogateescape");
}

PyMethodDef kAskInput = {"input", AskInput, METH_VARARGS,
                         "input([prompt]): asks the user for a line of text in a dialog."};

// Scripts read no stdin: input() asks in a dialog and sys.stdin is at its end at once.
void ReplaceInput() {
    PyRef builtins = PyRef::Steal(PyImport_ImportModule("builtins"));
    PyRef input = PyRef::Steal(PyCFunction_New(&kAskInput, nullptr));
    PyRef io = PyRef::Steal(PyImport_ImportModule("io"));
    PyRef empty = PyRef::Steal(io ? PyObject_CallMethod(io.get(), "StringIO", nullptr) : nullptr);
    if (!builtins || !input || !empty ||
        PyObject_SetAttrString(builtins.get(), "input", input.get()) < 0 ||
        PySys_SetObject("stdin", empty.get()) < 0)
        PyOS->ReportError(0);
}

// Starts `function(*args)` in a new tasklet; false when it could not start.
bool StartTasklet(PyObject* function, const PyRef& args) {
    PyRef tasklet = PyRef::Steal(function ? PyTasklet_New(nullptr, function) : nullptr);
    return tasklet && args && PyTasklet_Call(tasklet.get(), args.get(), nullptr) == 0;
}

const VnCLSID kOutputSinkClass = VnMakeCLSID("app", "PyEvents", 1);

PyObject* ViewROTBrowser(PyObject* self, PyObject* args);

const VnMethodDef kSinkMethods[] = {
    {"ViewROTBrowser", Bracketed<ViewROTBrowser>, 1, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// Hands everything Python prints to the host that installed it.
class OutputSink final : public VnStaticObject<IPythonEvents> {
public:
    const VnTypeInfo* GetTypeInfo() override;
    void Output(int error, const char* text) override {
        if (host) {
            const QString written = QString::fromUtf8(text);
            if (error)
                host->WriteError(written);
            else
                host->Write(written);
            return;
        }
        // the host has gone: what the shut-down prints is kept for the "OOPS!" box
        shutdownOutput += QString::fromUtf8(text);
        fputs(text, stderr);
    }
    TScriptHost* host = nullptr;
    QString shutdownOutput;
    bool testbool = false;
};

OutputSink gOutputSink;

const VnTypeInfo* OutputSink::GetTypeInfo() {
    static VnMemberDescriptor members[] = {
        {"testbool", kVnBool, 0, 1, nullptr, "A descripotoin of testobool", 3, nullptr, {0, 1, 0}},
        {},
    };
    static const VnTypeInfo* type = [] {
        const char* start = reinterpret_cast<const char*>(static_cast<IRoot*>(&gOutputSink));
        members[0].offset =
            static_cast<int32_t>(reinterpret_cast<const char*>(&gOutputSink.testbool) - start);
        static const VnTypeInfo info = {
            &kOutputSinkClass, nullptr, Interfaces(), members, kSinkMethods, nullptr, 0};
        return &info;
    }();
    return type;
}

PyObject* ViewROTBrowser(PyObject*, PyObject*) {
    if (gOutputSink.host) gOutputSink.host->ShowWebPage();
    Py_RETURN_NONE;
}

// Makes the module importable with its doc string and its objects in their order.
void AddModule(const TScriptModule& module) {
    PyObject* made = PyImport_AddModule(module.name);  // borrowed
    if (!made) {
        PyOS->ReportError(0);
        return;
    }
    if (module.doc) PyModule_AddStringConstant(made, "__doc__", module.doc);
    for (const auto& [name, object] : module.objects) AddScriptObject(made, name, object);
}

// How deeply Qt's event loops are nested: a tasklet that opened a dialog cannot wait in it.
int EventLoopDepth(void*) { return QThread::currentThread()->loopLevel(); }

}  // namespace

TScriptHost::TScriptHost() = default;

TScriptHost::~TScriptHost() {
    mShuttingDown = true;
    PyTasklet_SetLoopDepth(nullptr, nullptr);
    TheMacro().SetHost(nullptr);
    if (gInputHost == this) gInputHost = nullptr;
    // output no console has shown waits with what the runtime's shut-down prints
    gOutputSink.shutdownOutput += TakePendingOutput();
    if (gOutputSink.host == this) gOutputSink.host = nullptr;
}

IRoot* TheOutputSink() { return &gOutputSink; }

QString TakeShutdownOutput() {
    QString text = gOutputSink.shutdownOutput;
    gOutputSink.shutdownOutput.clear();
    return text;
}

void TScriptHost::SetShell(IShell* shell) {
    mShell = shell;
    if (shell) mBatchRun = shell->IsBatchRun();
}

bool TScriptHost::Start(const TScriptModule& module) {
    // the output goes to the console before anything can print
    gOutputSink.host = this;
    gInputHost = this;
    PyOS->SetEventSink(&gOutputSink);
    PyTasklet_SetLoopDepth(EventLoopDepth, nullptr);
    AddModule(module);
    TheMacro().SetHost(this);
    if (!mw::SettingFlag(mw::keys::kUseAppPath, "0")) ApplyStoredResourceDir();
    ReplaceInput();
    for (const QString& line :
         {QString("import autoexec"), QString("import vorn"), QString("import %1").arg(module.name),
          QString("rot = vorn.os.CreateInstance(\"vorn.Rot\")")})
        RunLine(line);
    RefreshErrors();
    return true;
}

// A stored folder that has gone (an installed copy moved, a folder deleted) leaves the
// runtime's own, with one line in the error log.
void TScriptHost::ApplyStoredResourceDir() {
    const QString resdir = mw::ReadSetting(mw::keys::kResourceDir, "");
    if (resdir.isEmpty()) return;
    if (QFileInfo(resdir).isDir()) {
        VnOS->SetPath(kVnPathResource, resdir.toUtf8().constData());
        return;
    }
    VnOS->SetError(-1, nullptr, "The stored resource folder %s does not exist; using %s",
                   resdir.toUtf8().constData(), VnOS->GetPath(kVnPathResource));
}

void TScriptHost::RunLine(const QString& text, bool echo) {
    Write("> " + text + "\r\n");
    PyRef function = PyRef::Steal(PyCFunction_New(&kRunString, nullptr));
    StartTasklet(function.get(), PyRef::Steal(Py_BuildValue("(sO)", text.toUtf8().constData(),
                                                            echo ? Py_True : Py_False)));
}

QStringList TScriptHost::Complete(const QString& code) {
    const PyGILState_STATE gil = PyGILState_Ensure();
    const bool errorBefore = VnOS->HasError(0);
    const QStringList found = CompleteNames(code);
    // what failed while completing is not the user's error: nothing is printed or kept
    PyErr_Clear();
    if (!errorBefore && VnOS->HasError(0)) VnOS->SetError(0, nullptr, nullptr);
    PyGILState_Release(gil);
    return found;
}

// Paths are taken as they are: on this system "\\" is a character of a file name.
void TScriptHost::RunScriptFile(const QString& path) { RunScriptPath(QFile::encodeName(path)); }

void TScriptHost::RunScriptPath(const QByteArray& path) {
    PyRef pyos = PyRef::Steal(PyImport_ImportModule("vorn.pyos"));
    PyRef exec = PyRef::Steal(pyos ? PyObject_GetAttrString(pyos.get(), "ExecFile") : nullptr);
    // bytes that are not UTF-8 travel as surrogate escapes, which ExecFile turns back into them
    PyRef name = PyRef::Steal(PyUnicode_DecodeFSDefaultAndSize(path.constData(), path.size()));
    if (!StartTasklet(exec.get(), PyRef::Steal(name ? PyTuple_Pack(1, name.get()) : nullptr))) {
        PyOS->ReportError(0);
        RefreshErrors();
    }
}

void TScriptHost::Write(const QString& text) {
    TmConsoleWindow* console = mConsole.data();
    const bool held = !console || mShuttingDown;
    // a batch run's output is echoed to the terminal, for the pipeline that ran it; an
    // interactive run's stays in the console, or the exit's box
    if (mBatchRun) {
        fputs(text.toUtf8().constData(), stdout);
        fflush(stdout);
    }
    if (held) {
        if (!text.isEmpty()) mPendingWrites << text;  // write by write, so each keeps its kind
        return;
    }
    if (!mPendingWrites.isEmpty())
        for (const QString& write : std::exchange(mPendingWrites, {})) console->Queue(write);
    if (!text.isEmpty()) {
        console->Queue(text);
        return;
    }
    // an empty write shows what it can now and brings the view to the end; a long backlog
    // follows over the next turns instead of freezing the tool
    console->Flush();
    console->Append("");
}

QString TScriptHost::PendingOutput() const { return mPendingWrites.join(QString()); }

QString TScriptHost::TakePendingOutput() {
    return std::exchange(mPendingWrites, {}).join(QString());
}

void TScriptHost::RefreshErrors() {
    // without the error log the error stays pending until it exists
    if (!VnOS->HasError(0)) return;
    if (mErrorLog) mErrorLog->Record();
}

void TScriptHost::DropFiles(const QStringList& files) {
    if (mShell) mShell->OpenFiles(files);
}

void TScriptHost::ShowWebPage() {
    if (mShell) mShell->ShowPlace(TShellPlace::WebPage);
}

void TScriptHost::ShowConsole() {
    if (!mShell) return;
    mShell->ShowPlace(TShellPlace::ConsolePage);
    if (mConsole) mConsole->Input()->setFocus();
}

void TScriptHost::SetErrorLog(TmErrorLog* log) { mErrorLog = log; }

bool TScriptHost::CanAsk() const { return mShell && !mBatchRun && !mShuttingDown; }

bool TScriptHost::AskForInput(const QString& prompt, QString* answer) {
    if (!CanAsk()) return false;
    bool ok = false;
    *answer = QInputDialog::getText(mShell->DialogParent(), "Python input", prompt,
                                    QLineEdit::Normal, QString(), &ok);
    if (ok) Write(prompt + *answer + "\r\n");  // as a terminal would show the exchange
    return ok;
}

void TScriptHost::KeepErrorForExit(const QString& what) {
    mShuttingDown = true;  // nothing shows the console any more: it goes to the exit's box
    if (!VnOS->HasError(0)) return;
    char* text = nullptr;
    VnOS->GetErrorText(&text);
    Write(what + ": " + QString::fromUtf8(text ? text : "") + "\r\n");
    VnOS->Free(text);
    VnOS->SetError(0, nullptr, nullptr);
}

void TScriptHost::SetConsole(TmConsoleWindow* console) {
    mConsole = console;
    Write("");  // what waited for a console shows first
}
