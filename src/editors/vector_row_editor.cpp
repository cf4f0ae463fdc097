#include "editors/vector_row_editor.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "editors/form_tools.h"
#include "editors/tm_vector_pick.h"
#include "shell/images.h"
#include "shell/ishell.h"
#include "vorn/kalix.h"

namespace {
constexpr int kVectorIcon = mw::images::kVector;
}  // namespace

TVectorRowEditor::TVectorRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRefRowEditor(value, kit, kVectorIcon) {}

VnRef<IKxVector> TVectorRowEditor::Vector() const {
    return VnQuery<IKxVector>(mw::MemberObject(mValue));
}

void TVectorRowEditor::BeginEdit() {
    TmVectorPick* form = mKit.FormNamed<TmVectorPick>("mVectorPick");
    VnRef<IKxVector> vector = Vector();
    if (!form || !vector) return;
    gReturnFocus = QApplication::focusWidget();
    // the form acts on the current editor, which a second double-click on a cell does not place
    gCurrentEditor = this;
    std::memcpy(mSaved.data(), vector->GetValue(), sizeof mSaved);
    vector.reset();
    mEditing = true;
    form->ShowValue(mSaved.data());
    EditInForm(*form);
}

const char* TVectorRowEditor::GetText(char* buffer, std::size_t size) {
    VnRef<IKxVector> vector = Vector();
    if (!vector || !buffer || size == 0) return TRefRowEditor::GetText(buffer, size);
    const float* xyz = vector->GetValue();
    std::snprintf(buffer, size, "%s, %s, %s", ThreeDecimals(xyz[0]).c_str(),
                  ThreeDecimals(xyz[1]).c_str(), ThreeDecimals(xyz[2]).c_str());
    return buffer;
}

void TVectorRowEditor::EndEdit(bool cancel) {
    gCurrentEditor = nullptr;
    if (gReturnFocus) gReturnFocus->setFocus();
    if (!mEditing) return;
    mEditing = false;
    // the old value goes back unannounced: the grid's periodic redraw shows it
    if (cancel)
        if (VnRef<IKxVector> vector = Vector())
            std::memcpy(vector->EditValue(), mSaved.data(), sizeof mSaved);
}
