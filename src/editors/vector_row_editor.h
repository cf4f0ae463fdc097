#pragma once

#include <array>
#include <memory>

#include "editors/ref_row_editor.h"

class IKxVector;

// The row of a member holding a vector: shows x, y and z and edits them in the vector form,
// which writes every change into the member while it is open; Cancel puts the old value back.
class TVectorRowEditor : public TRefRowEditor {
public:
    QString EditorName() const override { return "vector editor"; }
    TVectorRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    void BeginEdit() override;
    const char* GetText(char* buffer, std::size_t size) override;

private:
    // Asked for at every use: a script may give the member another vector while the row exists.
    VnRef<IKxVector> Vector() const;
};
