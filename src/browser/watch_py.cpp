#include "browser/watch_py.h"

#include "browser/browser_model.h"
#include "browser/python_path.h"
#include "browser/tm_vorn_browser.h"
#include "browser/vorn_browser_py.h"
#include "core/class_id.h"
#include "vorn/os.h"
#include "vorn/pyos.h"
#include "watch/watch_list.h"

namespace watch_py {

namespace {

// The path from a registered object is kept; an object none reaches names its class and lives
// for the run.
QString PathOf(PyObject* owner, const char* name, bool* kept) {
    IRoot* object = PyOS->Unwrap(owner);
    PyErr_Clear();
    const QString step = "." + QString::fromUtf8(name);
    QString path = browser::RegisteredPath(object);
    TmVornBrowser* browser = TheBrowserPy().Browser();
    if (path.isEmpty() && browser) path = browser->Model().PathFromTable(object, owner);
    *kept = !path.isEmpty();
    if (*kept) return path + step;
    const QString type = object ? QString::fromStdString(mw::ClassName(object))
                                : QString::fromUtf8(Py_TYPE(owner)->tp_name);
    return "<" + type + ">" + step;
}

const TWatch* WatchAt(int index) {
    const TWatch* watch = TWatchList::Shared().At(index);
    if (!watch) PyErr_Format(PyExc_IndexError, "there is no watch %d", index);
    return watch;
}

PyObject* SampleValue(const TSampleRing& ring, std::size_t i) {
    if (ring.Channels() == 1) return PyFloat_FromDouble(ring.Value(i, 0));
    PyObject* values = PyTuple_New(ring.Channels());
    for (int c = 0; values && c < ring.Channels(); ++c)
        PyTuple_SET_ITEM(values, c, PyFloat_FromDouble(ring.Value(i, c)));
    return values;
}

}  // namespace

PyObject* Watch(PyObject*, PyObject* args) {
    PyObject* owner = nullptr;
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "Os:Watch", &owner, &name)) return nullptr;
    TWatchTarget target = TWatchTarget::Named(owner, name);
    if (!target.IsSet())
        return PyErr_Format(PyExc_AttributeError, "%s has no member or attribute '%s'",
                            Py_TYPE(owner)->tp_name, name);
    bool kept = false;
    const QString path = PathOf(owner, name, &kept);
    return PyLong_FromLong(TWatchList::Shared().AddBound(path, std::move(target), kept));
}

PyObject* Unwatch(PyObject*, PyObject* args) {
    int index = 0;
    if (!PyArg_ParseTuple(args, "i:Unwatch", &index)) return nullptr;
    if (!WatchAt(index)) return nullptr;
    TWatchList::Shared().Remove(index);
    Py_RETURN_NONE;
}

PyObject* WatchList(PyObject*, PyObject* args) {
    if (!PyArg_ParseTuple(args, ":WatchList")) return nullptr;
    const TWatchList& list = TWatchList::Shared();
    PyRef result = PyRef::Steal(PyList_New(0));
    for (int i = 0; result && i < list.Count(); ++i) {
        const TWatch* watch = list.At(i);
        PyRef entry = PyRef::Steal(Py_BuildValue("(ss)", watch->Path().toUtf8().constData(),
                                                 watch->Text().toUtf8().constData()));
        if (!entry || PyList_Append(result.get(), entry.get()) < 0) return nullptr;
    }
    return result.release();
}

PyObject* WatchSamples(PyObject*, PyObject* args) {
    int index = 0;
    if (!PyArg_ParseTuple(args, "i:WatchSamples", &index)) return nullptr;
    const TWatch* watch = WatchAt(index);
    if (!watch) return nullptr;
    const TSampleRing* ring = watch->Ring();
    const std::size_t count = ring ? ring->Size() : 0;
    PyRef result = PyRef::Steal(PyList_New(static_cast<Py_ssize_t>(count)));
    for (std::size_t i = 0; result && i < count; ++i) {
        PyObject* sample = Py_BuildValue("(dN)", ring->Time(i), SampleValue(*ring, i));
        if (!sample) return nullptr;
        PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), sample);
    }
    return result.release();
}

PyObject* WatchCondition(PyObject*, PyObject* args) {
    int index = 0;
    const char* text = "";
    if (!PyArg_ParseTuple(args, "is:WatchCondition", &index, &text)) return nullptr;
    if (!WatchAt(index)) return nullptr;
    QString why;
    if (!TWatchList::Shared().SetCondition(index, QString::fromUtf8(text), &why))
        return PyErr_Format(PyExc_SyntaxError, "%s", why.toUtf8().constData());
    Py_RETURN_NONE;
}

}  // namespace watch_py
