#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

class QTextCursor;

// The Python console: an output view above a one-line input. The form itself never shows; its
// panel lives in the main window's bottom panel.
class TmConsoleWindow : public QWidget {
    Q_OBJECT
public:
    explicit TmConsoleWindow(QWidget* parent = nullptr);
    ~TmConsoleWindow() override;

    void FormCreate();
    // Shows one write now: "@..." is rich text, anything else plain; the view follows the end.
    void Append(const QString& text);
    // Collects a write; all collected writes are shown together on the next event-loop turn.
    void Queue(const QString& text);
    // Shows the collected writes now, in one edit.
    void Flush();
    // Characters inserted per turn of the event loop, so long output never freezes the tool.
    static constexpr qsizetype kSliceChars = 128 * 1024;

    QWidget* ConsolePanel() const { return mConsolePanel; }
    QLineEdit* Input() const { return mInput; }
    QTextEdit* Console() const { return mConsole; }

    QStringList History;
    int HistoryIndex = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mInputKeyDown(int key);
    void mConsoleKeyDown(int key);
    // Inserts one write at the cursor, keeping its kind.
    static void Insert(QTextCursor& cursor, const QString& text);

    QPointer<QWidget> mConsolePanel;
    QPointer<QLineEdit> mInput;
    QPointer<QTextEdit> mConsole;
    QStringList mQueued;
    bool mFlushPosted = false;
    void FlushSome(qsizetype budget);
    void PostFlush();
};
