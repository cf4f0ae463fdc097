#include "editors/quat_row_editor.h"

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editors/form_tools.h"
#include "editors/tm_quat_pick.h"
#include "shell/images.h"
#include "shell/ishell.h"
#include "vorn/kalix.h"

namespace {
constexpr int kRotationIcon = mw::images::kVector;
}  // namespace

TQuatRowEditor::TQuatRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRefRowEditor(value, kit, kRotationIcon) {}

VnRef<IKxQuaternion> TQuatRowEditor::Rotation() const {
    return VnQuery<IKxQuaternion>(mw::MemberObject(mValue));
}

void TQuatRowEditor::BeginEdit() {
    TmQuatPick* form = mKit.FormNamed<TmQuatPick>("mQuatPick");
    VnRef<IKxQuaternion> rotation = Rotation();
    if (!form || !rotation) return;
    gReturnFocus = QApplication::focusWidget();
    // the form acts on the current editor, which a second double-click on a cell does not place
    gCurrentEditor = this;
    std::memcpy(mSaved.data(), rotation->GetValue(), sizeof mSaved);
    float yaw = 0, pitch = 0, roll = 0;
    rotation->GetYawPitchRoll(&yaw, &pitch, &roll);
    rotation.reset();
    // the yaw slider runs from 0 to a full turn: a yaw the engine gives as negative is the
    // same turn from 0 up, not 0 (touching another slider would otherwise lose it)
    if (yaw < 0) yaw += 2 * static_cast<float>(M_PI);
    mEditing = true;
    form->ShowAngles(yaw, pitch, roll);
    EditInForm(*form);
}

const char* TQuatRowEditor::GetText(char* buffer, std::size_t size) {
    VnRef<IKxQuaternion> rotation = Rotation();
    if (!rotation || !buffer || size == 0) return TRefRowEditor::GetText(buffer, size);
    const float* xyzw = rotation->GetValue();
    std::snprintf(buffer, size, "(%s, %s, %s) %s", ThreeDecimals(xyzw[0]).c_str(),
                  ThreeDecimals(xyzw[1]).c_str(), ThreeDecimals(xyzw[2]).c_str(),
                  ThreeDecimals(xyzw[3]).c_str());
    return buffer;
}

void TQuatRowEditor::EndEdit(bool cancel) {
    gCurrentEditor = nullptr;
    if (gReturnFocus) gReturnFocus->setFocus();
    if (!mEditing) return;
    mEditing = false;
    // the old value goes back unannounced: the grid's periodic redraw shows it
    if (cancel)
        if (VnRef<IKxQuaternion> rotation = Rotation())
            std::memcpy(rotation->EditValue(), mSaved.data(), sizeof mSaved);
}
