#include "browser/snapshot_py.h"

#include <QStringList>
#include <algorithm>
#include <memory>

#include "browser/browser_model.h"
#include "browser/tm_vorn_browser.h"
#include "browser/vorn_browser_py.h"
#include "editors/row_editor.h"
#include "editors/snapshot.h"
#include "vorn/pyos.h"
#include "vorn/writers.h"

namespace {

struct SnapshotObject {
    PyObject_HEAD std::shared_ptr<TSnapshot>* snapshot;
};

PyObject* gSnapshotType = nullptr;

const TSnapshot* SnapshotOf(PyObject* self) {
    auto* object = reinterpret_cast<SnapshotObject*>(self);
    return object->snapshot ? object->snapshot->get() : nullptr;
}

PyObject* Text(const QString& text) { return PyUnicode_FromString(text.toUtf8().constData()); }

PyObject* Compare(PyObject* self, PyObject*) {
    const std::vector<TChangeRow> rows = SnapshotOf(self)->Compare();
    PyRef list = PyRef::Steal(PyList_New(0));
    for (const TChangeRow& row : rows) {
        PyRef item = PyRef::Steal(Py_BuildValue("(NNNN)", Text(row.path), Text(row.then),
                                                Text(row.now), Text(row.writer)));
        if (!list || !item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
    }
    return list.release();
}

// The paths a script names, or null for all; false with a Python error when it names no paths.
bool PathsOf(PyObject* paths, std::unique_ptr<QStringList>* out) {
    if (paths == Py_None) return true;
    PyRef items = PyRef::Steal(PySequence_Fast(paths, "paths must be a sequence of str or None"));
    if (!items) return false;
    *out = std::make_unique<QStringList>();
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        const char* text = PyUnicode_AsUTF8(PySequence_Fast_GET_ITEM(items.get(), i));
        if (!text) return false;
        (*out)->append(QString::fromUtf8(text));
    }
    return true;
}

PyObject* Revert(PyObject* self, PyObject* args) {
    PyObject* paths = Py_None;
    if (!PyArg_ParseTuple(args, "|O:Revert", &paths)) return nullptr;
    std::unique_ptr<QStringList> wanted;
    if (!PathsOf(paths, &wanted)) return nullptr;
    TmVornBrowser* browser = TheBrowserPy().Browser();
    if (!browser) return PyErr_Format(PyExc_RuntimeError, "the browser has gone");
    const TSnapshot* snapshot = SnapshotOf(self);
    std::vector<TChangeRow> rows = snapshot->Compare();
    if (wanted)
        rows.erase(
            std::remove_if(rows.begin(), rows.end(),
                           [&](const TChangeRow& row) { return !wanted->contains(row.path); }),
            rows.end());
    const int count = snapshot->Revert(rows, browser->Kit().History(), "Revert changes");
    if (PyErr_Occurred()) return nullptr;
    return PyLong_FromLong(count);
}

PyObject* Save(PyObject* self, PyObject* args) {
    const char* path = nullptr;
    if (!PyArg_ParseTuple(args, "s:Save", &path)) return nullptr;
    QString why;
    if (!SnapshotOf(self)->Save(QString::fromUtf8(path), &why))
        return PyErr_Format(PyExc_OSError, "%s", why.toUtf8().constData());
    Py_RETURN_NONE;
}

void Dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete reinterpret_cast<SnapshotObject*>(self)->snapshot;
    type->tp_free(self);
    Py_DECREF(type);
}

PyMethodDef kSnapshotMethods[] = {
    {"Compare", Compare, METH_NOARGS,
     "Compare()\n--\n\n"
     "Lists every value that differs from the live world now: (path, then, now, writer)"},
    {"Revert", Revert, METH_VARARGS,
     "Revert(paths=None, /)\n--\n\n"
     "Puts back the values at the paths Compare lists (None: all) as one undo step; answers "
     "how many went back"},
    {"Save", Save, METH_VARARGS,
     "Save(path, /)\n--\n\n"
     "Writes the snapshot as a branch file"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kSnapshotSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(Dealloc)},
    {Py_tp_methods, kSnapshotMethods},
    {Py_tp_doc, const_cast<char*>("The state of an object and everything below it at one "
                                  "moment, or as a branch file holds it.")},
    {0, nullptr},
};

PyType_Spec kSnapshotSpec = {"app.Snapshot", sizeof(SnapshotObject), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                             kSnapshotSlots};

PyObject* Wrap(std::shared_ptr<TSnapshot> snapshot) {
    if (!gSnapshotType) gSnapshotType = PyType_FromSpec(&kSnapshotSpec);
    if (!gSnapshotType) return nullptr;
    auto* object = PyObject_New(SnapshotObject, reinterpret_cast<PyTypeObject*>(gSnapshotType));
    if (!object) return nullptr;
    object->snapshot = new std::shared_ptr<TSnapshot>(std::move(snapshot));
    return reinterpret_cast<PyObject*>(object);
}

IRoot* ObjectArgument(PyObject* value) {
    IRoot* object = PyOS->Unwrap(value);
    if (!object) PyErr_SetString(PyExc_TypeError, "a vorn.Object is needed");
    return object;
}

}  // namespace

namespace browser {

PyObject* ChangedByCall(PyObject*, PyObject* args) {
    PyObject* value = nullptr;
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "Os:ChangedBy", &value, &name)) return nullptr;
    IRoot* object = ObjectArgument(value);
    if (!object) return nullptr;
    const VnMemberDescriptor* member = mw::MemberNamed(object, name).desc;
    if (!member) return PyErr_Format(PyExc_AttributeError, "the object has no member '%s'", name);
    VnWriter writer{};
    if (!VnGetWriter(object, member, &writer)) Py_RETURN_NONE;
    return Py_BuildValue("(ssd)", writer.kind, writer.where,
                         static_cast<double>(writer.time) / kVnTicksPerSecond);
}

PyObject* SnapshotCall(PyObject*, PyObject* args) {
    PyObject* value = nullptr;
    if (!PyArg_ParseTuple(args, "O:Snapshot", &value)) return nullptr;
    IRoot* object = ObjectArgument(value);
    if (!object) return nullptr;
    QString why;
    std::shared_ptr<TSnapshot> snapshot = TSnapshot::Take(object, QString(), &why);
    if (!snapshot) return PyErr_Format(PyExc_RuntimeError, "%s", why.toUtf8().constData());
    return Wrap(std::move(snapshot));
}

PyObject* LoadSnapshotCall(PyObject*, PyObject* args) {
    const char* path = nullptr;
    PyObject* value = Py_None;
    if (!PyArg_ParseTuple(args, "s|O:LoadSnapshot", &path, &value)) return nullptr;
    IRoot* object = nullptr;
    if (value != Py_None) {
        object = ObjectArgument(value);
        if (!object) return nullptr;
    } else if (TmVornBrowser* browser = TheBrowserPy().Browser()) {
        const TBrowserNode* node = browser->Selected();
        object = node ? TBrowserModel::NodeObject(node) : nullptr;
    }
    QString why;
    std::shared_ptr<TSnapshot> snapshot =
        TSnapshot::Load(QString::fromUtf8(path), object, QString(), &why);
    if (!snapshot) return PyErr_Format(PyExc_RuntimeError, "%s", why.toUtf8().constData());
    return Wrap(std::move(snapshot));
}

}  // namespace browser
