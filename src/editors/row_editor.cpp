#include "editors/row_editor.h"

#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include "core/value_text.h"
#include "core/vorn_string.h"
#include "editors/form_tools.h"
#include "editors/tm_edit_line.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/os.h"

namespace {
constexpr int kTextIndent = 2;
constexpr int kNameIndent = 20;
}  // namespace

void TEditorKit::SetEditLine(TmEditLine* form) { mEditLine = form; }

TmEditLine* TEditorKit::EditLine() const { return mEditLine; }

void TEditorKit::ReportRefusal(const QString& member) const {
    char* raw = nullptr;
    mw::VornString why;
    if (VnOS->GetErrorText(&raw)) why.adopt(raw);
    const QString text = QString::fromUtf8(why.c_str()).trimmed();
    mShell.SetStatusText(
        0, text.isEmpty() ? member + " was not changed" : member + " was not changed: " + text);
    mOutput.RefreshErrors();
}

void TEditorKit::AddForm(QWidget* form) {
    if (form) mForms.append(form);
}

int TEditorKit::RunModal(QDialog& form) {
    const QPointer<QWidget> back = QApplication::focusWidget();
    int result = QDialog::Rejected;
    {
        TBrowserWork::Open open(*mWork);  // scripts may browse while the form shows
        result = ExecModalForm(form, mShell.DialogParent());
    }
    if (back) back->setFocus();
    return result;
}

TRowEditor::TRowEditor(const mw::MemberValue& value, TEditorKit& kit) : mValue(value), mKit(kit) {}

TRowEditor::~TRowEditor() = default;

QWidget* TRowEditor::CreateControl(QWidget*) { return nullptr; }

void TRowEditor::ShowInControl(QWidget*) {}

bool TRowEditor::StoreFromControl(QWidget*) { return false; }

void TRowEditor::BeginEdit() {}

TMemberTarget TRowEditor::Target() const { return TMemberTarget::Of(mOwner.get(), mValue); }

void TRowEditor::Draw(int column, QPainter& painter, const QRect& rect, bool selected) {
    const QRect text = rect.adjusted(kTextIndent, 0, 0, 0);
    if (column == 1) {
        char buffer[kTextSize];
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::fromUtf8(GetText(buffer, sizeof buffer)));
        return;
    }
    if (column != 0) return;
    const QPalette& palette = QApplication::palette();
    painter.fillRect(rect, selected ? palette.highlight() : palette.button());
    const QIcon image = mKit.Shell().Image(mIcon);
    const QRect iconRect(rect.left() + kTextIndent, rect.top() + (rect.height() - 16) / 2, 16, 16);
    image.paint(&painter, iconRect, Qt::AlignCenter,
                IsEditable() ? QIcon::Normal : QIcon::Disabled);
    painter.setPen(selected ? palette.highlightedText().color() : palette.buttonText().color());
    painter.drawText(rect.adjusted(kNameIndent, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromUtf8(mValue.desc && mValue.desc->name ? mValue.desc->name : ""));
}

const char* TRowEditor::GetText(char* buffer, std::size_t size) {
    return mw::ValueToText(mValue, buffer, size);
}

QString TRowEditor::Description() const {
    return QString::fromUtf8(mValue.desc && mValue.desc->description ? mValue.desc->description
                                                                     : "");
}
