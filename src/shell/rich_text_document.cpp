#include "shell/rich_text_document.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace mw {

namespace {

// Sets only what the run states, so the rest comes from the document's default font.
QTextCharFormat FormatOf(const RichText& text, const RichRun& run) {
    QTextCharFormat format;
    if (run.bold) format.setFontWeight(QFont::Bold);
    if (run.italic) format.setFontItalic(true);
    if (run.underline) format.setFontUnderline(true);
    if (const std::string& family = text.FontName(run); !family.empty())
        format.setFontFamilies(QStringList{QString::fromStdString(family)});
    if (run.points > 0) format.setFontPointSize(run.points);
    if (const auto color = text.Color(run))
        format.setForeground(QColor(color->red, color->green, color->blue));
    return format;
}

}  // namespace

void AppendRichText(QTextCursor& cursor, const RichText& text) {
    cursor.beginEditBlock();
    for (size_t i = 0; i < text.paragraphs.size(); ++i) {
        if (i > 0) cursor.insertBlock(cursor.blockFormat(), QTextCharFormat());
        for (const RichRun& run : text.paragraphs[i].runs) {
            QString chunk = QString::fromStdString(run.text);
            chunk.replace(QLatin1Char('\n'), QChar::LineSeparator);  // "\n" would start a block
            cursor.insertText(chunk, FormatOf(text, run));
        }
    }
    cursor.endEditBlock();
}

QTextDocument* ToDocument(const RichText& text, QObject* parent) {
    auto* document = new QTextDocument(parent);
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    AppendRichText(cursor, text);
    document->setUndoRedoEnabled(true);
    document->setModified(false);  // loaded, not typed: closing it asks nothing
    return document;
}

}  // namespace mw
