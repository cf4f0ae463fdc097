#include "editors/py_row_editor.h"

#include <QLineEdit>
#include <string>
#include <utility>

#include "core/value_text.h"
#include "editors/tm_edit_line.h"
#include "shell/ishell.h"
#include "vorn/pyos.h"

namespace {

// The item of a sequence at the position `key` names; none, with the error printed to the
// console, when the key is too big for a position or its __index__ raises.
PyRef ReadPosition(PyObject* sequence, PyObject* key) {
    const Py_ssize_t at = PyNumber_AsSsize_t(key, PyExc_IndexError);
    if (at == -1 && PyErr_Occurred()) {
        PyOS->ReportError(0);
        return {};
    }
    return PyRef::Steal(PySequence_GetItem(sequence, at));
}

}  // namespace

TPyRowEditor::TPyRowEditor(PyObject* value, PyObject* container, PyObject* key,
                           const QString& keyText, bool readOnly, TEditorKit& kit)
    : TRowEditor({}, kit),
      mName(keyText.toUtf8()),
      mTypeName(value ? Py_TYPE(value)->tp_name : ""),
      mSlot(Py_XNewRef(value)),
      mContainer(PyRef::Borrow(container)),
      mKey(PyRef::Borrow(key)) {
    const bool hidden = mName.startsWith('_');
    const bool function = value && Py_IS_TYPE(value, &PyFunction_Type);
    mDesc.name = mName.constData();
    mDesc.type = kVnPythonRef;
    mDesc.description = mTypeName.constData();
    mDesc.editflags = kVnEditOwnDescriptor | (hidden || function || readOnly ? 0u : kVnEditable);
    mValue = {&mDesc, &mSlot};
}

TPyRowEditor::~TPyRowEditor() { Py_CLEAR(mSlot); }

QWidget* TPyRowEditor::CreateControl(QWidget* parent) { return TmEditLine::NewEdit(parent); }

void TPyRowEditor::ShowInControl(QWidget* control) {
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (!edit) return;
    char buffer[kTextSize];
    edit->setText(QString::fromUtf8(GetText(buffer, sizeof buffer)));
    edit->selectAll();
}

// Python values are not taken for the history: the edit writes and announces, nothing more.
bool TPyRowEditor::StoreFromControl(QWidget* control) {
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (!edit || !mContainer || !mKey || !mSlot) return false;
    PyRef made = ValueFromText(edit->text().toUtf8());
    if (!made) return false;
    TMemberEdit change = StartEdit();
    return change.Write([&](const mw::MemberValue&) {
        const bool stored = Store(made.get());
        // the row shows what the container really holds, whatever the store did
        PyRef now = stored ? made : Reread();
        if (now) Py_SETREF(mSlot, now.release());
        return true;  // a refusal was printed into the console, as any script's error
    });
}

PyRef TPyRowEditor::ValueFromText(const QByteArray& text) {
    PyTypeObject* type = Py_TYPE(mSlot);
    if (type == &PyUnicode_Type)
        return PyRef::Steal(PyUnicode_DecodeUTF8(text.constData(), text.size(), "surrogateescape"));
    if (type == &PyBytes_Type)
        return PyRef::Steal(PyBytes_FromStringAndSize(text.constData(), text.size()));
    std::string why;
    int64_t whole = 0;
    double real = 0;
    if (type == &PyLong_Type && mw::ReadWholeNumber(text.constData(), &whole, &why))
        return PyRef::Steal(PyLong_FromLongLong(whole));
    if (type == &PyFloat_Type && mw::ReadRealNumber(text.constData(), &real, &why))
        return PyRef::Steal(PyFloat_FromDouble(real));
    if (!why.empty())
        mKit.Shell().SetStatusText(0,
                                   QString("%1 was not changed: %2")
                                       .arg(QString::fromUtf8(mName), QString::fromStdString(why)));
    return {};  // other types cannot be made from text
}

bool TPyRowEditor::Store(PyObject* newValue) {
    PyObject* container = mContainer.get();
    PyObject* key = mKey.get();
    int result = -1;
    if (PyDict_Check(container)) {
        result = PyObject_SetItem(container, key, newValue);
    } else if (PyUnicode_Check(key) && PyObject_HasAttr(container, key)) {
        result = PyObject_SetAttr(container, key, newValue);
    } else if (PySequence_Check(container)) {
        Py_ssize_t at = PyLong_AsSsize_t(key);
        result = at == -1 && PyErr_Occurred() ? -1 : PySequence_SetItem(container, at, newValue);
    } else {
        PyErr_Format(PyExc_TypeError, "%s cannot take a new value for %s",
                     Py_TYPE(container)->tp_name, mName.constData());
    }
    if (result == 0) return true;
    PyOS->ReportError(0);  // printed into the console, as any script's error
    return false;
}

PyRef TPyRowEditor::Reread() {
    PyObject* container = mContainer.get();
    PyObject* key = mKey.get();
    PyRef now;
    if (PyDict_Check(container))
        now = PyRef::Steal(PyObject_GetItem(container, key));
    else if (PyUnicode_Check(key))
        now = PyRef::Steal(PyObject_GetAttr(container, key));
    else if (PySequence_Check(container))
        now = ReadPosition(container, key);
    if (!now) PyErr_Clear();
    return now;
}
