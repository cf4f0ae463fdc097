#include "editors/vector_row_editor.h"

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
    TmVectorPick* form = mKit.FormOf<TmVectorPick>();
    if (!form || !Vector()) return;
    TMemberEdit edit = StartEdit();
    form->Run(edit);
}

const char* TVectorRowEditor::GetText(char* buffer, std::size_t size) {
    VnRef<IKxVector> vector = Vector();
    if (!vector || !buffer || size == 0) return TRefRowEditor::GetText(buffer, size);
    const float* xyz = vector->GetValue();
    std::snprintf(buffer, size, "%s, %s, %s", ThreeDecimals(xyz[0]).c_str(),
                  ThreeDecimals(xyz[1]).c_str(), ThreeDecimals(xyz[2]).c_str());
    return buffer;
}
