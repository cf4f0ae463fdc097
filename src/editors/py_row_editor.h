#pragma once

#include <QByteArray>

#include "editors/row_editor.h"

// The in-place editor of a Python value that a dictionary, a sequence or an object's attribute
// holds. It keeps the value, its container and its key alive while the row exists.
class TPyRowEditor : public TRowEditor {
public:
    QString EditorName() const override { return "Python value editor"; }
    TPyRowEditor(PyObject* value, PyObject* container, PyObject* key, const QString& keyText,
                 bool readOnly, TEditorKit& kit);
    ~TPyRowEditor() override;
    bool EditsInPlace() const override { return true; }
    QWidget* CreateControl(QWidget* parent) override;
    void ShowInControl(QWidget* control) override;
    bool StoreFromControl(QWidget* control) override;

    PyObject* Value() const { return mSlot; }
    PyObject* Container() const { return mContainer.get(); }
    PyObject* Key() const { return mKey.get(); }

private:
    // A new value of the current value's type read from the text; none for other types, or
    // when the text does not read as that type (the status bar says why).
    PyRef ValueFromText(const QByteArray& text);
    // Stores into the container; false with the Python error printed to the console.
    bool Store(PyObject* newValue);
    // What the container holds under the key now, or none.
    PyRef Reread();

    VnMemberDescriptor mDesc{};
    QByteArray mName;
    QByteArray mTypeName;
    PyObject* mSlot = nullptr;  // one reference; the member value points at this slot
    PyRef mContainer;
    PyRef mKey;
};
