#include "app/mdi_child.h"

#include <QFile>
#include <QFileInfo>
#include <QTextEdit>
#include <QVBoxLayout>

#include "core/rtf_reader.h"
#include "shell/rich_text_document.h"

TMDIChild::TMDIChild(QWidget* parent) : QWidget(parent), mEdit(new QTextEdit(this)) {
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
    QByteArray bytes = file.readAll();
    if (mw::LooksLikeRtf(mw::Bytes(bytes))) {
        mEdit->setDocument(mw::ToDocument(mw::ParseRtf(mw::Bytes(bytes)), mEdit));
    } else {
        mEdit->setPlainText(QString::fromUtf8(bytes));
    }
}
