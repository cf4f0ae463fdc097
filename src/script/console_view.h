#pragma once

#include <QPlainTextEdit>
#include <QTextCharFormat>

class QTextBlock;
class QTextCursor;

// The console's output: a read-only log. A line longer than kFoldWidth characters is shown in
// rows of that width (a block each), so laying it out never freezes the tool; copying and
// LineOf join the rows again, so the text is never cut. Past the scrollback the oldest lines are
// dropped, and a first line notes how many.
class TConsoleView final : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr qsizetype kFoldWidth = 1000;
    static constexpr int kDefaultScrollback = 100000;

    explicit TConsoleView(QWidget* parent = nullptr);

    // Inserts one write at the cursor, at the end of the log: plain text monospaced and folded,
    // rich text ("@..." as RTF) in its own fonts.
    void Insert(QTextCursor& cursor, const QString& text, bool rich);
    // The lines kept; older ones are dropped by DropOldest.
    void SetScrollback(int lines) { mScrollback = lines; }
    int Scrollback() const { return mScrollback; }
    // The lines shown: the note, folded rows and an empty last line are not counted.
    qsizetype Lines();
    // Drops the oldest lines past the scrollback and updates the note.
    void DropOldest();
    // Drops every line shown, and counts `alsoDropped` lines that never were, in the note.
    void DropAll(qint64 alsoDropped);
    // How many lines were dropped since the log was last empty.
    qint64 Dropped();
    // The whole line `block` is a row of, its rows joined.
    static QString LineOf(const QTextBlock& block);

protected:
    // The selection as plain text, with a folded line's rows joined.
    QMimeData* createMimeDataFromSelection() const override;

private:
    // An empty document (a clear) holds no folded rows and no note.
    void ForgetIfCleared();
    void InsertPlain(QTextCursor& cursor, const QString& text);
    // Appends a line's piece at the cursor, starting a new row whenever one is full.
    void AppendFolded(QTextCursor& cursor, QStringView piece);
    void InsertRich(QTextCursor& cursor, const QString& text);
    // The first block after the note.
    QTextBlock FirstLine() const;
    // Shows "[N older lines dropped]" as the first block, adding it on the first drop.
    void ShowNote(QTextCursor& cursor);

    QTextCharFormat mPlainFormat;
    QTextCharFormat mNoteFormat;
    int mScrollback = kDefaultScrollback;
    qsizetype mFolds = 0;  // blocks that continue the line above
    qint64 mDropped = 0;   // lines dropped; a note stands first while this is not 0
};
