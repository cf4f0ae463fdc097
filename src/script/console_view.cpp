#include "script/console_view.h"

#include <QFontDatabase>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "core/rtf_reader.h"
#include "shell/rich_text_document.h"

namespace {

// Rich writes are framed as a whole document in Arial 10 pt.
constexpr char kRichHead[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1039{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"
    "\\viewkind4\\uc1\\pard\\f0\\fs20 ";

// Marks a block that continues the line above it.
constexpr int kFoldProperty = QTextFormat::UserProperty;
// Marks the first block as the note of dropped lines.
constexpr int kNoteProperty = QTextFormat::UserProperty + 1;

bool IsFold(const QTextBlock& block) { return block.blockFormat().boolProperty(kFoldProperty); }

QTextBlockFormat FoldFormat() {
    QTextBlockFormat format;
    format.setProperty(kFoldProperty, true);
    return format;
}

// Line ends as the document wants them: "\r\n" is one break and a stray "\r" none.
QString PlainLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.remove(QLatin1Char('\r'));
    return text;
}

// What the document takes as the start of a new block: here, the end of a line.
bool IsLineEnd(QChar c) {
    return c == QLatin1Char('\n') || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) ||
           c == QChar(0xFDD1);
}

qsizetype LineEnd(const QString& text, qsizetype from) {
    for (qsizetype i = from; i < text.size(); ++i)
        if (IsLineEnd(text[i])) return i;
    return -1;
}

// Whether every line of `text` fits a row, the first one in `room` characters.
bool FitsRows(const QString& text, qsizetype room) {
    qsizetype length = 0;
    for (const QChar c : text) {
        if (IsLineEnd(c)) {
            length = 0;
            room = TConsoleView::kFoldWidth;
        } else if (++length > room) {
            return false;
        }
    }
    return true;
}

// The selected part of one block's text.
QString SelectedPart(const QTextBlock& block, int start, int end) {
    const int from = std::max(start, block.position()) - block.position();
    const int to = std::min(end, block.position() + block.length() - 1) - block.position();
    return to > from ? block.text().mid(from, to - from) : QString();
}

}  // namespace

TConsoleView::TConsoleView(QWidget* parent) : QPlainTextEdit(parent) {
    mPlainFormat.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    mNoteFormat = mPlainFormat;
    mNoteFormat.setFontItalic(true);
    mNoteFormat.setForeground(Qt::gray);
}

void TConsoleView::Insert(QTextCursor& cursor, const QString& text, bool rich) {
    ForgetIfCleared();
    if (rich)
        InsertRich(cursor, text);
    else
        InsertPlain(cursor, text);
}

void TConsoleView::ForgetIfCleared() {
    if (!document()->isEmpty()) return;
    mFolds = 0;
    mDropped = 0;
}

void TConsoleView::InsertPlain(QTextCursor& cursor, const QString& text) {
    const QString lines = PlainLines(text);
    if (!IsFold(cursor.block()) && FitsRows(lines, kFoldWidth - cursor.positionInBlock())) {
        cursor.insertText(lines, mPlainFormat);  // new blocks take the format of a line's
        return;
    }
    for (qsizetype start = 0;;) {
        const qsizetype end = LineEnd(lines, start);
        AppendFolded(cursor, QStringView(lines).mid(start, (end < 0 ? lines.size() : end) - start));
        if (end < 0) return;
        cursor.insertBlock(QTextBlockFormat(), mPlainFormat);
        start = end + 1;
    }
}

void TConsoleView::AppendFolded(QTextCursor& cursor, QStringView piece) {
    while (!piece.isEmpty()) {
        qsizetype take = std::min(kFoldWidth - cursor.positionInBlock(), piece.size());
        // a row never ends between the two halves of a character
        if (take > 0 && take < piece.size() && piece[take - 1].isHighSurrogate()) --take;
        if (take <= 0) {
            cursor.insertBlock(FoldFormat(), mPlainFormat);
            ++mFolds;
            continue;
        }
        cursor.insertText(piece.first(take).toString(), mPlainFormat);
        piece = piece.sliced(take);
    }
}

void TConsoleView::InsertRich(QTextCursor& cursor, const QString& text) {
    const QByteArray rtf = kRichHead + text.toUtf8() + "\\par}";
    const QTextBlock before = cursor.block();
    mw::AppendRichText(cursor, mw::ParseRtf(mw::Bytes(rtf)));
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());  // the closing \par
    // paragraphs take the format of the block they follow: after a folded row they are lines
    for (QTextBlock block = before.next(); block.isValid(); block = block.next()) {
        if (!IsFold(block)) continue;
        QTextCursor(block).setBlockFormat(QTextBlockFormat());
        --mFolds;
    }
}

qsizetype TConsoleView::Lines() {
    ForgetIfCleared();
    const QTextDocument* doc = document();
    const bool emptyLast = doc->lastBlock().length() <= 1;
    return doc->blockCount() - mFolds - (mDropped ? 1 : 0) - (emptyLast ? 1 : 0);
}

QTextBlock TConsoleView::FirstLine() const {
    const QTextBlock first = document()->firstBlock();
    return mDropped ? first.next() : first;
}

void TConsoleView::DropOldest() {
    const qsizetype excess = Lines() - mScrollback;
    if (excess <= 0) return;
    // the block that starts the first line kept
    QTextBlock kept = FirstLine();
    qsizetype lines = 0, folds = 0;
    for (; kept.isValid(); kept = kept.next()) {
        if (IsFold(kept)) {
            ++folds;
        } else if (lines++ == excess) {
            break;
        }
    }
    if (!kept.isValid()) return;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(FirstLine().position());
    cursor.setPosition(kept.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    mFolds -= folds;
    mDropped += excess;
    ShowNote(cursor);
    cursor.endEditBlock();
}

void TConsoleView::DropAll(qint64 alsoDropped) {
    const qsizetype lines = Lines();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(FirstLine().position());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    mFolds = 0;
    mDropped += lines + alsoDropped;
    if (mDropped) ShowNote(cursor);
    cursor.endEditBlock();
}

qint64 TConsoleView::Dropped() {
    ForgetIfCleared();
    return mDropped;
}

void TConsoleView::ShowNote(QTextCursor& cursor) {
    const QString note =
        QString("[%1 older line%2 dropped]").arg(mDropped).arg(mDropped == 1 ? "" : "s");
    cursor.setPosition(0);
    if (!document()->firstBlock().blockFormat().hasProperty(kNoteProperty)) {
        cursor.insertBlock(QTextBlockFormat(), mPlainFormat);  // the old first line moves down
        cursor.setPosition(0);
        QTextBlockFormat noteFormat;
        noteFormat.setProperty(kNoteProperty, true);
        cursor.setBlockFormat(noteFormat);
    }
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(note, mNoteFormat);
}

QString TConsoleView::LineOf(const QTextBlock& block) {
    QTextBlock first = block;
    while (IsFold(first) && first.previous().isValid()) first = first.previous();
    QString line = first.text();
    for (QTextBlock row = first.next(); row.isValid() && IsFold(row); row = row.next())
        line += row.text();
    return line;
}

QMimeData* TConsoleView::createMimeDataFromSelection() const {
    const QTextCursor selection = textCursor();
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    QString text;
    for (QTextBlock block = document()->findBlock(start);
         block.isValid() && block.position() <= end; block = block.next()) {
        if (block.position() > start && !IsFold(block)) text += QLatin1Char('\n');
        text += SelectedPart(block, start, end);
    }
    // as the view's own copy gives them: line breaks inside a rich paragraph and plain spaces
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    auto* mime = new QMimeData;
    mime->setText(text);
    return mime;
}
