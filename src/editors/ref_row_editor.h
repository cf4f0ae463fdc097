#pragma once

#include "editors/row_editor.h"

// The row of an object member: shows what the member holds (the object's own Python text when
// it gives one). The object is read from the member at every paint, so a row never points at an
// object the member has let go of.
class TRefRowEditor : public TRowEditor {
public:
    TRefRowEditor(const mw::MemberValue& value, TEditorKit& kit, int icon = 43);
    void BeginEdit() override {}
    const char* GetText(char* buffer, std::size_t size) override;
};

// The row of a member with a table of named choices: shows the name of the choice it holds.
class TChooserRowEditor : public TRowEditor {
public:
    TChooserRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    void BeginEdit() override {}
    const char* GetText(char* buffer, std::size_t size) override;
};
