#include "editors/chooser_row_editor.h"

#include "core/value_text.h"
#include "editors/tm_chooser_pick.h"

TChooserRowEditor::TChooserRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRowEditor(value, kit) {}

const char* TChooserRowEditor::GetText(char* buffer, std::size_t size) {
    for (const VnChoice* c = mw::ChoiceTable(mValue.desc); c && c->name; ++c) {
        const mw::MemberValue choice{mValue.desc, const_cast<unsigned char*>(c->value.bytes)};
        if (mw::CompareValues(choice, mValue) == 0) {
            return mw::CopyText(buffer, size, c->name);
        }
    }
    return mw::ValueToText(mValue, buffer, size);
}

void TChooserRowEditor::BeginEdit() {
    auto* dialog = mKit.FormOf<TmChooserPick>();
    if (!dialog || !mValue.value) return;
    // taken before the dialog writes the current choice, so Undo gives back a value that
    // matched none
    TMemberEdit edit = StartEdit();
    dialog->Run(edit);
}
