#include "browser/vorn_browser_py.h"

#include "browser/browser_model.h"
#include "browser/snapshot_py.h"
#include "browser/tm_vorn_browser.h"
#include "browser/watch_py.h"
#include "core/python_value.h"
#include "editors/browser_work.h"
#include "script/script_object.h"

namespace {

const VnCLSID kClass = VnMakeCLSID("mosswick", "VornBrowserPy", 1);
const VnMemberDescriptor kNoMembers[] = {{}};

TVornBrowserPy gBrowserPy;

TmVornBrowser* BrowserOf(PyObject* self) {
    auto* object = VnSelf<TVornBrowserPy>(self);
    return (object ? object : &gBrowserPy)->Browser();
}

// The object a node shows, as scripts see it: a wrapper, the Python object itself, or None.
PyObject* NodeValue(const TBrowserNode* node) {
    if (node && node->HasData()) {
        if (IRoot* object = mw::MemberObject(node->value)) return PyOS->Wrap(object, -1);
        if (PyObject* python = mw::MemberPython(node->value)) return Py_NewRef(python);
    }
    Py_RETURN_NONE;
}

PyObject* GetSelected(PyObject* self, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":GetSelected")) return nullptr;
    TmVornBrowser* browser = BrowserOf(self);
    return NodeValue(browser ? browser->Selected() : nullptr);
}

PyObject* GetSelectedParent(PyObject* self, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":GetSelectedParent")) return nullptr;
    TmVornBrowser* browser = BrowserOf(self);
    const TBrowserNode* node = browser ? browser->Selected() : nullptr;
    return NodeValue(node ? node->parent : nullptr);
}

PyObject* GetSelectedType(PyObject* self, PyObject*) {
    TmVornBrowser* browser = BrowserOf(self);
    const TBrowserNode* node = browser ? browser->Selected() : nullptr;
    if (!node) return VnOS->SetError(-1, &kClass, "No object selected.");
    if (!node->HasData()) return VnOS->SetError(-1, &kClass, "Object has no info?!?");
    return MemberDictionary(node->value.desc, true);
}

// The browser as a script may change it, or null with a Python error while the browser is
// inside its own work (the script runs from it, or waits inside it on another tasklet).
TmVornBrowser* ChangeableBrowser(PyObject* self, const char* call, bool* refused) {
    TmVornBrowser* browser = BrowserOf(self);
    if (!browser && TheBrowserPy().HadBrowser()) {
        RaiseToolClosing();  // the window and its browser have gone
        *refused = true;
        return nullptr;
    }
    *refused = browser && !browser->Work().RefuseScriptCall(call);
    return *refused ? nullptr : browser;
}

PyObject* Browse(PyObject* self, PyObject* args) {
    PyObject* value = nullptr;
    const char* label = "";
    if (!PyArg_ParseTuple(args, "O|s:Browse", &value, &label)) return nullptr;
    bool refused = false;
    if (TmVornBrowser* browser = ChangeableBrowser(self, "app.browser.Browse", &refused)) {
        TBrowserWork::Scope work(browser->Work());
        IRoot* object = PyOS->Unwrap(value);
        browser->Browse(object, object ? nullptr : value, QString::fromUtf8(label), true);
    }
    if (refused) return nullptr;
    Py_RETURN_NONE;
}

PyObject* Expand(PyObject* self, PyObject* args) {
    int all = 0;
    if (!PyArg_ParseTuple(args, "|i:Expand", &all)) return nullptr;
    bool refused = false;
    if (TmVornBrowser* browser = ChangeableBrowser(self, "app.browser.Expand", &refused)) {
        TBrowserWork::Scope work(browser->Work());
        if (all)
            browser->ExpandEverything();
        else
            browser->ExpandSelected();
    }
    if (refused) return nullptr;
    Py_RETURN_NONE;
}

PyObject* Collapse(PyObject* self, PyObject* args) {
    int all = 0;
    if (!PyArg_ParseTuple(args, "|i:Collapse", &all)) return nullptr;
    bool refused = false;
    if (TmVornBrowser* browser = ChangeableBrowser(self, "app.browser.Collapse", &refused)) {
        TBrowserWork::Scope work(browser->Work());
        if (all)
            browser->CollapseEverything();
        else
            browser->CollapseSelectedParent();
    }
    if (refused) return nullptr;
    Py_RETURN_NONE;
}

PyObject* Reveal(PyObject* self, PyObject* args) {
    PyObject* value = nullptr;
    if (!PyArg_ParseTuple(args, "O:Reveal", &value)) return nullptr;
    bool refused = false;
    bool found = false;
    if (TmVornBrowser* browser = ChangeableBrowser(self, "app.browser.Reveal", &refused)) {
        TBrowserWork::Scope work(browser->Work());
        IRoot* object = PyOS->Unwrap(value);
        found = browser->Reveal(object, object ? nullptr : value);
    }
    if (refused) return nullptr;
    return PyBool_FromLong(found);
}

const VnMethodDef kMethods[] = {
    {"GetSelected", Bracketed<GetSelected>, 1,
     "GetSelected()\n--\n\n"
     "Returns the currently selected object in the browser tree"},
    {"GetSelectedParent", Bracketed<GetSelectedParent>, 1,
     "GetSelectedParent()\n--\n\n"
     "Returns the parent of the currently selected object in the browser tree"},
    {"GetSelectedType", Bracketed<GetSelectedType>, 1,
     "GetSelectedType()\n--\n\n"
     "Returns the entry type of the object as defined by the parent."},
    {"Browse", Bracketed<Browse>, 1,
     "Browse(value, label='', /)\n--\n\n"
     "Displays an object in the browser tree"},
    {"Expand", Bracketed<Expand>, 1,
     "Expand(all=0, /)\n--\n\n"
     "Displays all the nodes in the tree"},
    {"Collapse", Bracketed<Collapse>, 1,
     "Collapse(all=0, /)\n--\n\n"
     "Hides all the subnodes in the tree"},
    {"Reveal", Bracketed<Reveal>, 1,
     "Reveal(value, /)\n--\n\n"
     "Shows the object table in the browser tree, opens the shortest way from a registered "
     "object down to the value and selects it; False when no way is found"},
    {"ChangedBy", Bracketed<browser::ChangedByCall>, 1,
     "ChangedBy(obj, name, /)\n--\n\n"
     "Who wrote the member last: (kind, where, clock seconds), or None when no writer is "
     "recorded"},
    {"Snapshot", Bracketed<browser::SnapshotCall>, 1,
     "Snapshot(obj, /)\n--\n\n"
     "Takes a snapshot of the object and everything below it, to compare and revert with"},
    {"LoadSnapshot", Bracketed<browser::LoadSnapshotCall>, 1,
     "LoadSnapshot(path, root=None, /)\n--\n\n"
     "A branch file as a snapshot of root (None: the selected object)"},
    {"Watch", Bracketed<watch_py::Watch>, 1,
     "Watch(object, name, /)\n--\n\n"
     "Watches the member or attribute name of object; returns the watch's index"},
    {"Unwatch", Bracketed<watch_py::Unwatch>, 1,
     "Unwatch(index, /)\n--\n\n"
     "Stops watching the watch at index"},
    {"WatchList", Bracketed<watch_py::WatchList>, 1,
     "WatchList()\n--\n\n"
     "Returns a list of (path, current text) of the watches"},
    {"WatchSamples", Bracketed<watch_py::WatchSamples>, 1,
     "WatchSamples(index, /)\n--\n\n"
     "Returns the samples of a watch as (clock time, value) tuples"},
    {"WatchCondition", Bracketed<watch_py::WatchCondition>, 1,
     "WatchCondition(index, text, /)\n--\n\n"
     "Stops the clock when the expression text of value becomes true; '' removes it"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

const VnTypeInfo* TVornBrowserPy::GetTypeInfo() {
    static const VnTypeInfo type = {&kClass, nullptr, Interfaces(), kNoMembers, kMethods,
                                    nullptr, 0};
    return &type;
}

void TVornBrowserPy::SetBrowser(TmVornBrowser* browser) {
    mBrowser = browser;
    mHadBrowser = mHadBrowser || browser;
}

TmVornBrowser* TVornBrowserPy::Browser() const { return mBrowser; }

TVornBrowserPy& TheBrowserPy() { return gBrowserPy; }
