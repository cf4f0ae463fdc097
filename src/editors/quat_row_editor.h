#pragma once

#include <array>
#include <memory>

#include "editors/ref_row_editor.h"

class IKxQuaternion;

// The row of a member holding a rotation: shows its x, y, z and w and edits it by yaw, pitch and
// roll in the rotation form, which writes every change into the member while it is open; Cancel
// puts the old value back.
class TQuatRowEditor : public TRefRowEditor {
public:
    QString EditorName() const override { return "rotation editor"; }
    TQuatRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    void BeginEdit() override;
    const char* GetText(char* buffer, std::size_t size) override;

private:
    // Asked for at every use: a script may give the member another rotation while the row exists.
    VnRef<IKxQuaternion> Rotation() const;
};
