#include "editors/line_row_editor.h"

#include <QFileDialog>

#include "core/member_value.h"
#include "core/value_text.h"
#include "core/vorn_string.h"
#include "editors/tm_edit_line.h"
#include "platform/file_filter.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/rot.h"

TLineRowEditor::TLineRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRowEditor(value, kit) {
    if (TmEditLine* form = kit.EditLine())
        mControl = value.desc && value.desc->type == kVnBool ? static_cast<QWidget*>(form->Check())
                                                             : static_cast<QWidget*>(form->Edit());
}

void TLineRowEditor::BeginEdit() {
    TmEditLine* form = mKit.EditLine();
    if (!form || !mValue.desc || !mValue.value) return;
    switch (mValue.desc->type) {
        case kVnBool:
            form->Check()->setChecked(*static_cast<unsigned char*>(mValue.value) != 0);
            break;
        case kVnROTReference:
            PickRotReference();
            return;
        default: {
            char buffer[kTextSize];
            form->Edit()->setText(QString::fromUtf8(GetText(buffer, sizeof buffer)));
            form->Edit()->selectAll();
            break;
        }
    }
    TRowEditor::BeginEdit();
}

void TLineRowEditor::PickRotReference() {
    QFileDialog* dialog = mKit.EditLine()->OpenDialog();
    const VnChoice* entry = mw::FileDialogEntry(mValue.desc);
    dialog->setWindowTitle(
        QString::fromUtf8(entry && entry->name ? entry->name : "Open something"));
    dialog->setNameFilter(mw::ToQtFilter(QString::fromUtf8(
        entry && entry->description ? entry->description : "All Files (*.*)|*.*")));
    int result = QDialog::Rejected;
    if (!RunModal(*dialog, &result)) return;  // the grid was rebuilt while the dialog showed
    if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    char* moniker = nullptr;
    const QByteArray path = dialog->selectedFiles().first().toUtf8();
    if (!VnROT->PathToMoniker(path.constData(), &moniker)) {
        mKit.Output().RefreshErrors();  // the member keeps its reference
        return;
    }
    mw::VornString text;
    text.adopt(moniker);
    const TMemberState before = Taken();
    mw::TextToValue(mValue, text.c_str());
    NotifyOwner(this);
    RecordChange(before);
}

void TLineRowEditor::EndEdit(bool cancel) {
    if (gCurrentEditor == this) gCurrentEditor = nullptr;
    TmEditLine* form = mKit.EditLine();
    if (!cancel && form && mValue.value) {
        if (mValue.desc->type == kVnBool) {
            const TMemberState before = Taken();
            *static_cast<unsigned char*>(mValue.value) = form->Check()->isChecked() ? 1 : 0;
            NotifyOwner(this);
            RecordChange(before);
        } else {
            CommitText();
        }
    }
    if (mControl) mControl->hide();
}

void TLineRowEditor::CommitText() {
    const QByteArray text = mKit.EditLine()->Edit()->text().toUtf8();
    std::string why;
    if (!mw::CheckTypedText(mValue, text.constData(), &why)) {
        mKit.Shell().SetStatusText(
            0,
            QString("%1 was not changed: %2").arg(mValue.desc->name, QString::fromStdString(why)));
        return;
    }
    const TMemberState before = Taken();
    if (!mw::TextToValue(mValue, text.constData())) {
        mKit.Output().RefreshErrors();  // a Python member says why it refused
        return;
    }
    NotifyOwner(this);
    RecordChange(before);
}
