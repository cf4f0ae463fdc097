#pragma once

#include "editors/row_editor.h"

// The editor of plain values: numbers, texts and times in a text field over the cell, numbers
// with a range in a spin box, bools in a check box that stores at once, and ROT references
// through a file dialog.
class TLineRowEditor : public TRowEditor {
public:
    QString EditorName() const override { return "text editor"; }
    TLineRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    bool EditsInPlace() const override;
    QWidget* CreateControl(QWidget* parent) override;
    void ShowInControl(QWidget* control) override;
    bool StoreFromControl(QWidget* control) override;
    void BeginEdit() override;

private:
    // Stores a typed text; one that does not read as the member's type, or lies outside its
    // range, is refused and the member keeps its value.
    bool CommitText(const QByteArray& text);
};
