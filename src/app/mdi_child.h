#pragma once

#include <QMessageBox>
#include <QSize>
#include <QWidget>

class QTextEdit;
class IShell;

// A text window: shows a file, rich text formatted, plain text as it is. Typed text is saved as
// plain UTF-8 text, and closing a changed window asks first.
class TMDIChild : public QWidget {
    Q_OBJECT
public:
    // `shell` (may be null) parents the questions and says whether anyone can answer them.
    explicit TMDIChild(IShell* shell = nullptr, QWidget* parent = nullptr);
    // Loads the file; a file that cannot be read shows why instead of its text.
    void LoadFile(const QString& path);
    QTextEdit* Editor() const { return mEdit; }

    // The file the window holds exactly as its text; empty when Save must ask for a name.
    QString FilePath() const { return mPath; }
    bool IsModified() const;
    // Writes the text to the window's file, or asks for a name as SaveAs does when it has none;
    // false when nothing was written.
    bool Save();
    bool SaveAs();
    // Asks Save, Discard or Cancel when the text changed; true when the window may close.
    bool MayClose();

    static constexpr qint64 kLargestFile = 64 * 1024 * 1024;
    // The size a new text window opens at, frame and caption included, when the area has room.
    static constexpr QSize kOpenSize{495, 445};

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    bool ShowText(const QByteArray& bytes);
    QString AskFileName();
    QMessageBox::StandardButton AskToSave();
    bool WriteTo(const QString& path);
    void Tell(const QString& text);
    bool NoOneAnswers(const QString& question);

    IShell* mShell;
    QTextEdit* mEdit;
    QString mPath;
};
