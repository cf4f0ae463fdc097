#include "editors/row_editor.h"

#include <QAbstractItemView>
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

TRowEditor* gCurrentEditor = nullptr;
QPointer<QWidget> gReturnFocus;

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

QWidget* TEditorKit::FindForm(const char* name) const {
    for (const QPointer<QWidget>& form : mForms)
        if (form && form->objectName() == QLatin1String(name)) return form;
    return nullptr;
}

TRowEditor::TRowEditor(const mw::MemberValue& value, TEditorKit& kit) : mValue(value), mKit(kit) {}

TRowEditor::~TRowEditor() { Retiring(); }

void TRowEditor::Retiring() {
    if (gCurrentEditor != this) return;
    // cleared first: hiding the control moves the focus, which would commit into a row that goes
    gCurrentEditor = nullptr;
    if (mControl && mControl->isVisible()) mControl->hide();
}

void TRowEditor::BeginEdit() {
    if (!mControl) return;
    gReturnFocus = QApplication::focusWidget();
    QWidget* panel = mKit.Shell().Place(TShellPlace::RightPanel);
    mControl->setParent(panel);
    mControl->setGeometry(mCell.left() + 1, mCell.top() + 1, mCell.width() - 2, mCell.height() - 2);
    mControl->show();
    mControl->raise();
    mControl->setFocus();
}

void TRowEditor::Place(const QRect& rect) {
    mCell = rect;
    gCurrentEditor = this;
}

void TRowEditor::Draw(int column, QPainter& painter, const QRect& rect) {
    const QRect text = rect.adjusted(kTextIndent, 0, 0, 0);
    if (column == 1) {
        char buffer[kTextSize];
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::fromUtf8(GetText(buffer, sizeof buffer)));
        return;
    }
    if (column != 0) return;
    const QPalette& palette = QApplication::palette();
    painter.fillRect(rect, palette.button());
    const QIcon image = mKit.Shell().Image(mIcon);
    const QRect iconRect(rect.left() + kTextIndent, rect.top() + (rect.height() - 16) / 2, 16, 16);
    image.paint(&painter, iconRect, Qt::AlignCenter,
                IsEditable() ? QIcon::Normal : QIcon::Disabled);
    painter.setPen(palette.buttonText().color());
    painter.drawText(rect.adjusted(kNameIndent, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromUtf8(mValue.desc && mValue.desc->name ? mValue.desc->name : ""));
}

const char* TRowEditor::GetText(char* buffer, std::size_t size) {
    return mw::ValueToText(mValue, buffer, size);
}

void TRowEditor::EndEdit(bool) {
    if (gCurrentEditor == this) gCurrentEditor = nullptr;
    if (mControl) mControl->hide();
}

bool TRowEditor::RunModal(QDialog& form, int* result) {
    const std::weak_ptr<char> alive = mAlive;
    {
        // scripts may browse while the form shows: this editor may go, and is checked below
        TBrowserWork::Open open(mKit.Work());
        *result = ExecModalForm(form, mKit.Shell().DialogParent());
    }
    return !alive.expired();  // nothing of the editor is read before this is known
}

void TRowEditor::EditInForm(QDialog& form, const TMemberState& before) {
    int result = 0;
    if (!RunModal(form, &result)) return;
    const bool accepted = result == QDialog::Accepted;
    EndEdit(!accepted);
    if (accepted) RecordChange(before);
}

void TRowEditor::RecordChange(const TMemberState& before) {
    if (mOwner) mKit.History().RecordMember(mOwner.get(), mValue, before);
}

QString TRowEditor::Description() const {
    return QString::fromUtf8(mValue.desc && mValue.desc->description ? mValue.desc->description
                                                                     : "");
}

void Changed(TRowEditor* editor) {
    if (!editor) return;
    if (editor->mGrid && editor->mGrid->model() && editor->mRow >= 0) {
        QModelIndex index = editor->mGrid->model()->index(editor->mRow, 1);
        editor->mGrid->viewport()->update(editor->mGrid->visualRect(index));
    }
    NotifyOwner(editor);
}

void NotifyOwner(TRowEditor* editor) {
    if (!editor || !editor->mNotify) return;
    if (!editor->mNotify->MemberChanged(editor->mValue.value))
        editor->mKit.Output().RefreshErrors();
}
