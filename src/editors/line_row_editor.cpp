#include "editors/line_row_editor.h"

#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLocale>
#include <QSpinBox>

#include "core/member_value.h"
#include "core/value_text.h"
#include "core/vorn_string.h"
#include "editors/tm_edit_line.h"
#include "platform/file_filter.h"
#include "shell/ioutput.h"
#include "vorn/rot.h"

namespace {

const char* const kShownProperty = "shownValue";  // what a spin box showed when the edit began

bool IsBool(const mw::MemberValue& value) { return value.desc && value.desc->type == kVnBool; }

}  // namespace

TLineRowEditor::TLineRowEditor(const mw::MemberValue& value, TEditorKit& kit)
    : TRowEditor(value, kit) {}

bool TLineRowEditor::EditsInPlace() const {
    return mValue.desc && mValue.desc->type != kVnROTReference;  // a file dialog picks those
}

QWidget* TLineRowEditor::CreateControl(QWidget* parent) {
    if (!EditsInPlace()) return nullptr;
    if (IsBool(mValue)) return TmEditLine::NewCheck(parent);
    double minimum = 0, maximum = 0, step = 0;
    if (mw::MemberRange(mValue.desc, &minimum, &maximum, &step))
        return TmEditLine::NewSpin(parent, mValue.desc->type == kVnLong, minimum, maximum, step);
    return TmEditLine::NewEdit(parent);
}

void TLineRowEditor::ShowInControl(QWidget* control) {
    if (!mValue.value) return;
    char buffer[kTextSize];
    const char* text = GetText(buffer, sizeof buffer);
    if (auto* check = qobject_cast<QCheckBox*>(control)) {
        check->setChecked(*static_cast<unsigned char*>(mValue.value) != 0);
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) {
        const double number = QString::fromUtf8(text).toDouble();
        if (auto* whole = qobject_cast<QSpinBox*>(spin)) whole->setValue(static_cast<int>(number));
        if (auto* real = qobject_cast<QDoubleSpinBox*>(spin)) real->setValue(number);
        spin->setProperty(kShownProperty, spin->text());
        spin->selectAll();
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(QString::fromUtf8(text));
        edit->selectAll();
    }
}

bool TLineRowEditor::StoreFromControl(QWidget* control) {
    if (!mValue.value) return false;
    if (auto* check = qobject_cast<QCheckBox*>(control)) {
        const unsigned char on = check->isChecked() ? 1 : 0;
        TMemberEdit edit = StartEdit();
        return edit.Apply([on](const mw::MemberValue& value) {
            *static_cast<unsigned char*>(value.value) = on;
            return true;
        });
    }
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) {
        // a value the box only rounded for showing is kept as it is
        if (spin->text() == spin->property(kShownProperty).toString()) return true;
        return CommitText(spin->text().toUtf8());
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return CommitText(edit->text().toUtf8());
    return false;
}

bool TLineRowEditor::CommitText(const QByteArray& text) {
    TMemberEdit edit = StartEdit();
    std::string why;
    if (!mw::CheckTypedText(mValue, text.constData(), &why)) {
        edit.Refuse(QString::fromStdString(why));
        return false;
    }
    return edit.Apply(
        [&text](const mw::MemberValue& value) { return mw::TextToValue(value, text.constData()); });
}

// A ROT reference is picked as a file; the dialog may outlive this editor, the edit does not
// need it.
void TLineRowEditor::BeginEdit() {
    TmEditLine* form = mKit.EditLine();
    if (!form || !mValue.desc || !mValue.value || mValue.desc->type != kVnROTReference) return;
    QFileDialog* dialog = form->OpenDialog();
    const VnChoice* entry = mw::FileDialogEntry(mValue.desc);
    dialog->setWindowTitle(
        QString::fromUtf8(entry && entry->name ? entry->name : "Open something"));
    dialog->setNameFilter(mw::ToQtFilter(QString::fromUtf8(
        entry && entry->description ? entry->description : "All Files (*.*)|*.*")));
    TMemberEdit edit = StartEdit();
    TEditorKit& kit = mKit;
    if (kit.RunModal(*dialog) != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    char* moniker = nullptr;
    const QByteArray path = dialog->selectedFiles().first().toUtf8();
    if (!VnROT->PathToMoniker(path.constData(), &moniker)) {
        kit.Output().RefreshErrors();  // the member keeps its reference
        return;
    }
    mw::VornString text;
    text.adopt(moniker);
    edit.Apply(
        [&text](const mw::MemberValue& value) { return mw::TextToValue(value, text.c_str()); });
}
