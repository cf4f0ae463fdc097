#pragma once

#include <cstdint>

#include "editors/row_editor.h"

// The row of a member with a table of named choices: shows the name of the choice it holds and
// edits it in the chooser dialog, one choice or a set of bits, written live; Cancel gives the
// value back.
class TChooserRowEditor : public TRowEditor {
public:
    QString EditorName() const override { return "choice editor"; }
    TChooserRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    void BeginEdit() override;
    const char* GetText(char* buffer, std::size_t size) override;
};
