#include "app/py_ui.h"

#include <pwd.h>
#include <unistd.h>

#include <QAction>
#include <QGuiApplication>
#include <QWidget>
#include <climits>
#include <ctime>

#include "platform/message_box.h"
#include "script/script_object.h"
#include "script/tm_ui.h"
#include "shell/ishell.h"
#include "web/tm_ie.h"

namespace {

const VnCLSID kClass = VnMakeCLSID("app", "PyUI", 1);
const VnMemberDescriptor kNoMembers[] = {{}};

TPyUI gUI;

PyObject* Text(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return PyUnicode_DecodeUTF8(utf8.constData(), utf8.size(), "surrogateescape");
}

QString FromUtf8(const char* text) { return QString::fromUtf8(text ? text : ""); }

// What comes of a dialog a script asks for before it is shown.
enum class Gate { Show, NoAnswer, Refused };

// The tool closing refuses the dialog, a batch run answers it as closed (writing `question`),
// and a question of the shared form already open refuses another (the form shows one at a
// time).
Gate BeforeDialog(const QString& question, bool usesForm) {
    IShell* shell = gUI.Shell();
    if (!shell) {
        RaiseToolClosing();
        return Gate::Refused;
    }
    if (NoAnswerInBatch(*shell, question)) return Gate::NoAnswer;
    TmUI* dialog = gUI.Dialog();
    if (usesForm && dialog && dialog->IsAsking()) {
        VnOS->SetError(-1, &kClass, "Another question is open");
        return Gate::Refused;
    }
    return Gate::Show;
}

PyObject* ShellExecute(PyObject*, PyObject* args) {
    int wait = 0;
    const char* file = nullptr;
    const char* parameters = "";
    const char* verb = "";
    if (!PyArg_ParseTuple(args, "is|ss:ShellExecute", &wait, &file, &parameters, &verb))
        return nullptr;
    if (!gUI.Shell()) return RaiseToolClosing();
    TmUI* dialog = gUI.Dialog();
    if (!dialog || dialog->IsWaiting()) return VnOS->SetError(-1, &kClass, "Another task pending ");
    VnTasklet tasklet = PyOS->CurrentTasklet();
    if (wait && !tasklet)
        return VnOS->SetError(-1, &kClass, "Only a tasklet can wait for a program");
    if (!dialog->Execute(FromUtf8(file), FromUtf8(parameters), FromUtf8(verb), wait))
        return VnOS->SetError(-2, &kClass, "Couldn't start process");
    if (!wait) Py_RETURN_NONE;
    PyRef ended = PyRef::Steal(dialog->WaitForProcess(tasklet));
    if (!ended) return nullptr;
    if (ended.get() == Py_False) return VnOS->SetError(-2, &kClass, "Couldn't start process");
    Py_RETURN_NONE;
}

PyObject* Navigate(PyObject*, PyObject* args) {
    const char* url = nullptr;
    if (!PyArg_ParseTuple(args, "s:Navigate", &url)) return nullptr;
    if (!gUI.Shell()) return RaiseToolClosing();
    TmIE* web = gUI.WebView();
    if (!web || !web->Navigate(FromUtf8(url))) return nullptr;  // the pending error says why
    Py_RETURN_NONE;
}

PyObject* SetIEHandler(PyObject*, PyObject* args) {
    PyObject* handler = nullptr;
    if (!PyArg_ParseTuple(args, "O:SetIEHandler", &handler)) return nullptr;
    if (!gUI.Shell()) return RaiseToolClosing();
    if (TmIE* web = gUI.WebView()) web->SetHandler(handler);
    Py_RETURN_NONE;
}

PyObject* Ask(PyObject*, PyObject* args) {
    const char* question = nullptr;
    const char* answer = "";
    if (!PyArg_ParseTuple(args, "s|s:Ask", &question, &answer)) return nullptr;
    const Gate gate = BeforeDialog("Ask: " + FromUtf8(question), true);
    if (gate != Gate::Show) return gate == Gate::NoAnswer ? Py_NewRef(Py_None) : nullptr;
    TmUI* dialog = gUI.Dialog();
    const auto typed = dialog ? dialog->Ask(FromUtf8(question), FromUtf8(answer)) : std::nullopt;
    if (!typed) Py_RETURN_NONE;
    return Text(*typed);
}

PyObject* AskMsgBox(PyObject*, PyObject* args) {
    const char* text = nullptr;
    const char* caption = "";
    int flags = 0;
    if (!PyArg_ParseTuple(args, "s|si:AskMsgBox", &text, &caption, &flags)) return nullptr;
    const auto how = static_cast<unsigned>(flags);
    const QString titled = *caption ? FromUtf8(caption) + ": " + FromUtf8(text) : FromUtf8(text);
    const Gate gate = BeforeDialog("AskMsgBox: " + titled, false);
    if (gate == Gate::Refused) return nullptr;
    if (gate == Gate::NoAnswer) return PyLong_FromLong(mw::MessageBoxClosedId(how));
    return PyLong_FromLong(
        mw::ShowMessageBox(gUI.Shell()->DialogParent(), FromUtf8(text), FromUtf8(caption), how));
}

// The str() of each entry of a list; false with the Python error set when one has none.
bool EntryTexts(PyObject* list, QStringList* texts) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        PyRef text = PyRef::Steal(PyObject_Str(PyList_GET_ITEM(list, i)));
        const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (!utf8) return false;
        *texts << QString::fromUtf8(utf8);
    }
    return true;
}

PyObject* AskList(PyObject*, PyObject* args) {
    const char* question = nullptr;
    PyObject* list = nullptr;
    int index = -1;
    PyObject* callback = nullptr;
    if (!PyArg_ParseTuple(args, "sO!|iO:AskList", &question, &PyList_Type, &list, &index,
                          &callback))
        return nullptr;
    if (PyList_GET_SIZE(list) == 0) return VnOS->SetError(-1, &kClass, "List has no entries");
    QStringList entries;
    if (!EntryTexts(list, &entries)) return nullptr;
    const Gate gate = BeforeDialog("AskList: " + FromUtf8(question), true);
    if (gate != Gate::Show) return gate == Gate::NoAnswer ? Py_NewRef(Py_None) : nullptr;
    TmUI* dialog = gUI.Dialog();
    const auto chosen =
        dialog ? dialog->AskList(FromUtf8(question), entries, index, callback) : std::nullopt;
    if (!chosen) Py_RETURN_NONE;
    return PyLong_FromLong(*chosen);
}

PyObject* AskFile(PyObject* args, bool save, const char* format) {
    const char* title = "Save File";
    const char* file = "";
    const char* filter = "All files (*.*)|*.*";
    const char* folder = "";
    if (!PyArg_ParseTuple(args, format, &title, &file, &filter, &folder)) return nullptr;
    const Gate gate =
        BeforeDialog((save ? "AskFileSave: " : "AskFileOpen: ") + FromUtf8(title), true);
    if (gate != Gate::Show) return gate == Gate::NoAnswer ? Py_NewRef(Py_None) : nullptr;
    TmUI* dialog = gUI.Dialog();
    const auto chosen = dialog ? dialog->AskFile(save, FromUtf8(title), FromUtf8(file),
                                                 FromUtf8(filter), FromUtf8(folder))
                               : std::nullopt;
    if (!chosen) Py_RETURN_NONE;
    return Text(*chosen);
}

PyObject* AskFileSave(PyObject*, PyObject* args) {
    return AskFile(args, true, "|ssss:AskFileSave");
}

PyObject* AskFileOpen(PyObject*, PyObject* args) {
    return AskFile(args, false, "|ssss:AskFileOpen");
}

PyObject* ReloadNavigation(PyObject*, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":ReloadNavigation")) return nullptr;
    if (!gUI.Shell()) return RaiseToolClosing();
    gUI.ReloadNavigation();
    Py_RETURN_NONE;
}

PyObject* PopupMenu(PyObject*, PyObject* args) {
    int x = 0, y = 0;
    PyObject* entries = nullptr;
    if (!PyArg_ParseTuple(args, "iiO:PopupMenu", &x, &y, &entries)) return nullptr;
    if (!PyList_Check(entries)) return VnOS->SetError(-1, &kClass, "Invalid args");
    QStringList captions;
    if (!EntryTexts(entries, &captions)) return nullptr;
    const Gate gate = BeforeDialog("PopupMenu: " + captions.join(" | "), true);
    if (gate != Gate::Show) return gate == Gate::NoAnswer ? Py_NewRef(Py_None) : nullptr;
    TmUI* dialog = gUI.Dialog();
    const auto chosen = dialog ? dialog->PopupMenu(x, y, captions) : std::nullopt;
    if (!chosen) Py_RETURN_NONE;  // dismissed
    return PyLong_FromLong(*chosen);
}

PyObject* SetStatusText(PyObject*, PyObject* args) {
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:SetStatusText", &text)) return nullptr;
    IShell* shell = gUI.Shell();
    if (!shell) return RaiseToolClosing();
    shell->SetStatusText(0, FromUtf8(text));
    Py_RETURN_NONE;
}

PyObject* GetMainWindowHandle(PyObject*, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":GetMainWindowHandle")) return nullptr;
    IShell* shell = gUI.Shell();
    if (!shell) return RaiseToolClosing();
    QWidget* window = shell->DialogParent();
    return PyLong_FromUnsignedLongLong(window ? static_cast<unsigned long long>(window->winId())
                                              : 0ULL);
}

PyObject* FormatTypeInfo(PyObject*, PyObject* args) {
    PyObject* wrapper = nullptr;
    if (!PyArg_ParseTuple(args, "O!:FormatTypeInfo", PyOS->WrapperType(), &wrapper)) return nullptr;
    IRoot* object = PyOS->Unwrap(wrapper);
    const VnTypeInfo* type = object ? object->GetTypeInfo() : nullptr;
    PyRef info = PyRef::Steal(PyDict_New());
    PyRef interfaces = PyRef::Steal(PyDict_New());
    PyRef members = PyRef::Steal(PyDict_New());
    PyRef methods = PyRef::Steal(PyDict_New());
    if (!info || !interfaces || !members || !methods) return nullptr;
    if (type && type->clsid) {
        const VnCLSID& id = *type->clsid;
        PyRef module = PyRef::Steal(
            PyUnicode_FromStringAndSize(id.module, strnlen(id.module, sizeof id.module)));
        PyRef name =
            PyRef::Steal(PyUnicode_FromStringAndSize(id.name, strnlen(id.name, sizeof id.name)));
        PyRef version = PyRef::Steal(PyLong_FromLong(id.version));
        PyRef description =
            PyRef::Steal(PyUnicode_FromString(type->description ? type->description : ""));
        if (!module || !name || !version || !description ||
            PyDict_SetItemString(info.get(), "module", module.get()) ||
            PyDict_SetItemString(info.get(), "classname", name.get()) ||
            PyDict_SetItemString(info.get(), "version", version.get()) ||
            PyDict_SetItemString(info.get(), "description", description.get()))
            return nullptr;
    }
    for (const VnTypeInfo* t = type; t; t = t->base) {
        for (const VnInterfaceEntry* e = t->interfaces; e && e->iid; ++e) {
            PyRef version = PyRef::Steal(PyLong_FromLong(e->iid->version));
            if (!version ||
                PyDict_SetItemString(interfaces.get(), InterfaceName(e->iid), version.get()))
                return nullptr;
        }
        for (const VnMemberDescriptor* m = t->members; m && m->name && *m->name; ++m) {
            PyRef member = PyRef::Steal(MemberDictionary(m, false));
            if (!member || PyDict_SetItemString(members.get(), m->name, member.get()))
                return nullptr;
        }
        for (const VnMethodDef* m = t->methods; m && m->name; ++m) {
            PyRef doc = PyRef::Steal(PyUnicode_FromString(MethodDocText(*m)));
            if (!doc || PyDict_SetItemString(methods.get(), m->name, doc.get())) return nullptr;
        }
    }
    return PyTuple_Pack(4, info.get(), interfaces.get(), members.get(), methods.get());
}

PyObject* GetComputerTime(PyObject*, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":GetComputerTime")) return nullptr;
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d\n", kDays[local.tm_wday],
                  kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
    return PyUnicode_FromString(text);
}

PyObject* GetLoggedOnUser(PyObject*, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":GetLoggedOnUser")) return nullptr;
    const passwd* user = getpwuid(geteuid());
    return PyUnicode_DecodeFSDefault(user && user->pw_name ? user->pw_name : "");
}

PyObject* GetComputerName(PyObject*, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":GetComputerName")) return nullptr;
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) name[0] = 0;
    name[15] = 0;  // as long as a computer name may be
    return PyUnicode_DecodeFSDefault(name);
}

PyObject* SetAppTitle(PyObject*, PyObject* args) {
    const char* title = nullptr;
    const char* caption = nullptr;
    if (!PyArg_ParseTuple(args, "s|s:SetAppTitle", &title, &caption)) return nullptr;
    IShell* shell = gUI.Shell();
    if (!shell) return RaiseToolClosing();
    QGuiApplication::setApplicationDisplayName(FromUtf8(title));
    if (QWidget* window = shell->DialogParent())
        window->setWindowTitle(FromUtf8(caption ? caption : title));
    Py_RETURN_NONE;
}

const VnMethodDef kMethods[] = {
    {"ShellExecute", Bracketed<ShellExecute>, 1,
     "ShellExecute(wait, file, parameters='', verb='', /)\n--\n\n"
     "ShellExecute"},
    {"Navigate", Bracketed<Navigate>, 1,
     "Navigate(url, /)\n--\n\n"
     "Navigate"},
    {"SetIEHandler", Bracketed<SetIEHandler>, 1,
     "SetIEHandler(handler, /)\n--\n\n"
     "SetIEHandler"},
    {"Ask", Bracketed<Ask>, 1,
     "Ask(question, answer='', /)\n--\n\n"
     "Asks a question"},
    {"AskMsgBox", Bracketed<AskMsgBox>, 1,
     "AskMsgBox(text, caption='', flags=0, /)\n--\n\n"
     "Displays a message box"},
    {"AskList", Bracketed<AskList>, 1,
     "AskList(question, items, index=-1, callback=None, /)\n--\n\n"
     "Choose item from list"},
    {"AskFileSave", Bracketed<AskFileSave>, 1,
     "AskFileSave(title='Save File', file='', filter='All files (*.*)|*.*', folder='', /)\n--\n\n"
     "File Save dialog"},
    {"AskFileOpen", Bracketed<AskFileOpen>, 1,
     "AskFileOpen(title='Save File', file='', filter='All files (*.*)|*.*', folder='', /)\n--\n\n"
     "File Open dialog"},
    {"ReloadNavigation", Bracketed<ReloadNavigation>, 1,
     "ReloadNavigation()\n--\n\n"
     "Reload navigation module"},
    {"PopupMenu", Bracketed<PopupMenu>, 1,
     "PopupMenu(x, y, items, /)\n--\n\n"
     "Bring up a popup menu"},
    {"SetStatusText", Bracketed<SetStatusText>, 1,
     "SetStatusText(text, /)\n--\n\n"
     "Puts text in status bar"},
    {"GetMainWindowHandle", Bracketed<GetMainWindowHandle>, 1,
     "GetMainWindowHandle()\n--\n\n"
     "Returns the main window handle as integer"},
    {"FormatTypeInfo", Bracketed<FormatTypeInfo>, 1,
     "FormatTypeInfo(object, /)\n--\n\n"
     "Returns type info for a vorn object"},
    {"GetComputerTime", Bracketed<GetComputerTime>, 1,
     "GetComputerTime()\n--\n\n"
     "Returns computer time as string"},
    {"GetLoggedOnUser", Bracketed<GetLoggedOnUser>, 1,
     "GetLoggedOnUser()\n--\n\n"
     "Returns name of logged on user"},
    {"GetComputerName", Bracketed<GetComputerName>, 1,
     "GetComputerName()\n--\n\n"
     "Returns computer name"},
    {"SetAppTitle", Bracketed<SetAppTitle>, 1,
     "SetAppTitle(title, caption=None, /)\n--\n\n"
     "Sets the title and caption of app"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

const VnTypeInfo* TPyUI::GetTypeInfo() {
    static const VnTypeInfo type = {&kClass, nullptr, Interfaces(), kNoMembers, kMethods,
                                    nullptr, 0};
    return &type;
}

TmIE* TPyUI::WebView() {
    if (!mWebView && mShell) mWebView = new TmIE(*mShell);
    return mWebView;
}

void TPyUI::SetDialog(TmUI* dialog) { mDialog = dialog; }

TmUI* TPyUI::Dialog() const { return mDialog; }

TPyUI& TheUI() { return gUI; }
