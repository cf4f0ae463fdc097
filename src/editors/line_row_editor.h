#pragma once

#include "editors/row_editor.h"

// The in-place editor of plain values: numbers, texts, times and Python members in the text
// field, bools in the check box, and ROT references through a file dialog.
class TLineRowEditor : public TRowEditor {
public:
    TLineRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    void BeginEdit() override;
    void EndEdit(bool cancel) override;

private:
    void PickRotReference();
    // Stores the field's text; a text that does not read as the member's type is refused and
    // the member keeps its value.
    void CommitText();
};
