#include "editors/quat_row_editor.h"

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
    TmQuatPick* form = mKit.FormOf<TmQuatPick>();
    if (!form || !Rotation()) return;
    TMemberEdit edit = StartEdit();
    form->Run(edit);
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
