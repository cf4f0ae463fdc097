#pragma once

#include "editors/row_editor.h"

// The row of an object member: shows what the member holds (the object's own Python text when
// it gives one) and lets the user pick another object for a pointer member. The object is read
// from the member at every paint, so a row never points at an object the member let go of.
class TRefRowEditor : public TRowEditor {
public:
    QString EditorName() const override { return "object picker"; }
    TRefRowEditor(const mw::MemberValue& value, TEditorKit& kit, int icon = 43);
    void BeginEdit() override;
    const char* GetText(char* buffer, std::size_t size) override;

    // Puts `object` (null: none) into the pointer member, one reference held, and tells the
    // owner. False, with the runtime's error, when it lacks the member's interface.
    bool Store(IRoot* object);
};
