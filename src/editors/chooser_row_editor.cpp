#include "editors/chooser_row_editor.h"

#include <QApplication>
#include <algorithm>
#include <cstring>

#include "core/value_text.h"
#include "editors/tm_chooser_pick.h"

TChooserRowEditor::TChooserRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRowEditor(value, kit) {}

std::size_t TChooserRowEditor::Size() const {
    const int size = mValue.desc ? mValue.desc->size : 0;
    return static_cast<std::size_t>(std::clamp(size, 0, 8));
}

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
    auto* dialog = mKit.FormNamed<TmChooserPick>("mChooserPick");
    if (!dialog || !mValue.value) return;
    gReturnFocus = QApplication::focusWidget();
    std::memcpy(mSaved, mValue.value, Size());
    // taken before Fill writes the current choice, so Undo gives back a value that matched none
    const TMemberState before = Taken();
    if (dialog->Fill(*this)) EditInForm(*dialog, before);
}

void TChooserRowEditor::EndEdit(bool cancel) {
    if (gCurrentEditor == this) gCurrentEditor = nullptr;
    if (gReturnFocus) gReturnFocus->setFocus();
    // the value goes back as it was; the grid's periodic redraw shows it
    if (cancel && mValue.value) std::memcpy(mValue.value, mSaved, Size());
}
