#include "app/mdi_child.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextEdit>
#include <QVBoxLayout>
#include <memory>

#include "core/rtf_reader.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "script/script_object.h"
#include "shell/ishell.h"
#include "shell/rich_text_document.h"

TMDIChild::TMDIChild(IShell* shell, QWidget* parent)
    : QWidget(parent), mShell(shell), mEdit(new QTextEdit(this)) {
    setObjectName("MDIChild");
    setWindowTitle("MDI Child");
    setAttribute(Qt::WA_DeleteOnClose);
    mEdit->setObjectName("RichEdit1");
    mEdit->setLineWrapMode(QTextEdit::WidgetWidth);  // long lines, the read-me's too, wrap
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mEdit);
}

void TMDIChild::LoadFile(const QString& path) {
    QFile file(path);
    mPath.clear();
    // a pipe blocks the open and a device never ends (its size reads 0): only files are read
    if (!QFileInfo(path).isFile()) {
        mEdit->setPlainText(QString("Cannot open %1: it is not a regular file").arg(path));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        mEdit->setPlainText(QString("Cannot open %1: %2").arg(path, file.errorString()));
        return;
    }
    if (file.size() > kLargestFile) {
        mEdit->setPlainText(QString("%1 is %2 MB, too large to show in a text window.")
                                .arg(path)
                                .arg(file.size() / (1024 * 1024)));
        return;
    }
    if (ShowText(file.readAll())) mPath = path;
}

// Shows the bytes; true when the window's plain text is exactly the file's text.
bool TMDIChild::ShowText(const QByteArray& bytes) {
    if (mw::LooksLikeRtf(mw::Bytes(bytes))) {
        mEdit->setDocument(mw::ToDocument(mw::ParseRtf(mw::Bytes(bytes)), mEdit));
        return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    mEdit->setPlainText(text);
    if (utf8.hasError()) return false;
    // the document turns "\r\n" and a few other characters into its own: such a file is not
    // what the window would write back
    return mEdit->toPlainText() == text;
}

bool TMDIChild::IsModified() const { return mEdit->document()->isModified(); }

bool TMDIChild::Save() { return mPath.isEmpty() ? SaveAs() : WriteTo(mPath); }

bool TMDIChild::SaveAs() {
    const QString path = AskFileName();
    return !path.isEmpty() && WriteTo(path);
}

bool TMDIChild::MayClose() {
    if (!IsModified()) return true;
    switch (AskToSave()) {
        case QMessageBox::Save:
            return Save();
        case QMessageBox::Discard:
            mEdit->document()->setModified(false);  // asked once: the tool's close asks no more
            return true;
        default:
            return false;
    }
}

void TMDIChild::closeEvent(QCloseEvent* e) {
    if (MayClose())
        e->accept();
    else
        e->ignore();
}

QString TMDIChild::AskFileName() {
    if (NoOneAnswers("Save As: " + windowTitle())) return QString();
    const std::unique_ptr<QFileDialog> dialog(
        mw::NewFileDialog(mShell ? mShell->DialogParent() : this, "mDlgSaveText",
                          "Text files (*.txt);;All files (*)", mw::FileChoice::Save));
    dialog->setWindowTitle("Save As");
    dialog->setOption(QFileDialog::DontUseNativeDialog);  // the same dialog on every desktop
    if (!mPath.isEmpty()) dialog->selectFile(mPath);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return QString();
    return dialog->selectedFiles().constFirst();
}

QMessageBox::StandardButton TMDIChild::AskToSave() {
    const QString question = QString("Save the changes to %1?").arg(windowTitle());
    // a batch run has no one to ask: it closes as it would without text windows
    if (NoOneAnswers(question)) return QMessageBox::Discard;
    QMessageBox box(QMessageBox::Question, "Mosswick", question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    mShell ? mShell->DialogParent() : this);
    box.setObjectName("mAskSaveText");
    box.setTextFormat(Qt::PlainText);  // a file name is never markup
    // Alt+S and Alt+D answer from the keyboard; Escape cancels
    box.button(QMessageBox::Save)->setText("&Save");
    box.button(QMessageBox::Discard)->setText("&Discard");
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    const auto answer = box.standardButton(box.clickedButton());
    return answer == QMessageBox::NoButton ? QMessageBox::Cancel : answer;
}

bool TMDIChild::WriteTo(const QString& path) {
    // written beside the file and renamed over it: a failed write leaves the old file whole
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(mEdit->toPlainText().toUtf8()) < 0 ||
        !file.commit()) {
        Tell(QString("Cannot save %1: %2").arg(path, file.errorString()));
        return false;
    }
    mPath = path;
    setWindowTitle(path);
    mEdit->document()->setModified(false);
    return true;
}

void TMDIChild::Tell(const QString& text) {
    if (NoOneAnswers(text)) return;
    mw::ShowMessageBox(mShell ? mShell->DialogParent() : this, text, "Save",
                       mw::kMbOk | mw::kMbIconError);
}

bool TMDIChild::NoOneAnswers(const QString& question) {
    return mShell && NoAnswerInBatch(*mShell, question);
}
