#include "view3d/navigation.h"

#include "vorn/pyos.h"

bool TNavigation::Make(IRoot* device, bool reload) {
    PyRef module = PyRef::Steal(PyImport_ImportModule("navigation"));
    if (module && reload) module = PyRef::Steal(PyImport_ReloadModule(module.get()));
    if (!module) {
        PyOS->ReportError(0);
        return false;
    }
    PyRef wrapped = PyRef::Steal(PyOS->Wrap(device, -1));
    PyRef made;
    if (wrapped)
        made = PyRef::Steal(PyObject_CallMethod(module.get(), "Navigation", "O", wrapped.get()));
    if (!made) PyErr_Clear();  // a module without a working Navigation leaves the window inert
    mObject = made;
    return true;
}

void TNavigation::Destroy() {
    // let go first, so an event the call causes finds no navigation
    PyRef object = std::move(mObject);
    if (!object) return;
    PyRef result = PyRef::Steal(PyObject_CallMethod(object.get(), "Destroy", nullptr));
    if (!result) PyOS->ReportError(0);
}

void TNavigation::Call(const char* method, std::initializer_list<int> args) {
    PyRef object = mObject;  // held through the call: the script may reload the module meanwhile
    if (!object) return;
    PyRef tuple = PyRef::Steal(PyTuple_New(static_cast<Py_ssize_t>(args.size())));
    Py_ssize_t i = 0;
    for (int value : args) PyTuple_SET_ITEM(tuple.get(), i++, PyLong_FromLong(value));
    PyRef function = PyRef::Steal(PyObject_GetAttrString(object.get(), method));
    PyRef result;
    if (function) result = PyRef::Steal(PyObject_CallObject(function.get(), tuple.get()));
    if (!result) PyOS->ReportError(0);
}
