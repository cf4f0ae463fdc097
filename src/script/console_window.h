#pragma once

#include <QCompleter>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "script/console_view.h"

class IShell;
class QMenu;
class QStringListModel;
class TScriptHost;

// The Python console: an output view above a one-line input. The form itself never shows; its
// panel lives in the main window's bottom panel.
class TmConsoleWindow : public QWidget {
    Q_OBJECT
public:
    TmConsoleWindow(IShell& shell, TScriptHost& host, QWidget* parent = nullptr);
    ~TmConsoleWindow() override;

    void FormCreate();
    // Takes the scrollback from the setting "console_scrollback" and drops what is shown past it;
    // a value that is not a positive whole number is shown as an error line and the default
    // applies.
    void ReadSettings();
    // Shows one write now: "@..." is rich text, anything else plain; the view follows the end.
    void Append(const QString& text);
    // Collects a write; collected writes are shown, in order, on the next turns of the event loop.
    // Past twice the scrollback the oldest queued lines are dropped, and all that is shown, so
    // catching up never costs more than the scrollback.
    void Queue(const QString& text);
    // The line ends waiting to be shown.
    qsizetype QueuedLines() const { return mQueuedLines; }
    // Shows one turn's share of the collected writes now; the rest follows on the next turns.
    void Flush();
    // How long one turn of the event loop may spend inserting queued output, so that long output
    // never freezes the tool; the characters per turn follow from the cost of the last turn.
    static constexpr qint64 kTurnNanoseconds = 16'000'000;

    QWidget* ConsolePanel() const { return mConsolePanel; }
    QLineEdit* Input() const { return mInput; }
    TConsoleView* Console() const { return mConsole; }
    // Lists the candidates when Tab finds several; its popup is shown under the caret.
    QCompleter* Completer() const { return mCompleter; }

    // The console's popup menu: the view's own entries and the "Echo Values" check box, which
    // switches the setting "console_echo". The caller owns it.
    QMenu* MakePopupMenu();
    // Takes the kept history in, after what the history holds, when "console_history" is on.
    void LoadHistory();
    // The file the history is kept in while the setting "console_history" is on.
    static QString HistoryPath();
    // The most entries the kept history holds; older ones are dropped when it is written.
    static constexpr int kKeptHistory = 1000;

    QStringList History;
    int HistoryIndex = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mInputKeyDown(int key);
    void mConsoleKeyDown(int key);
    // Writes the last kKeptHistory entries in place of the kept file, whole or not at all.
    void SaveHistory();
    // Adds a line run from the input at the history's end, without an earlier copy of it.
    void Remember(const QString& text);
    // Tab in the input: completes the name before the caret. False when only blanks are before
    // the caret, where Tab keeps its usual meaning.
    bool CompleteName();
    // The name (letters, digits, "_") that ends at the caret: the part completion replaces.
    QString NameBeforeCaret() const;
    // Replaces the name before the caret with `text`.
    void ReplaceName(const QString& text);
    // Shows the candidates that begin with the name before the caret, the first one current;
    // closes the list when there are none or the name no longer begins with the one Tab
    // completed.
    void ShowCandidates();
    // Takes the current candidate of the list (if any) and closes it.
    void PickCandidate();
    // Neighbouring plain writes are joined; a rich write stays one entry. Its kind is kept with
    // it, so the rest of a plain write cut between turns is never taken for rich text.
    struct QueuedWrite {
        QString text;
        bool rich = false;
    };

    IShell& mShell;
    TScriptHost& mHost;
    QPointer<QWidget> mConsolePanel;
    QPointer<QLineEdit> mInput;
    QPointer<TConsoleView> mConsole;
    QPointer<QCompleter> mCompleter;
    QStringListModel* mCandidates = nullptr;  // owned by the completer
    QString mCompletedName;   // the name Tab completed; the list is of its candidates
    int mCompletedStart = 0;  // where that name starts in the input
    QList<QueuedWrite> mQueued;
    qsizetype mQueuedLines = 0;  // line ends in mQueued, a rich write counting as one
    qsizetype mTurnChars = 4 * 1024;
    bool mFollow = true;  // the view is at the end and follows new output
    QTimer mFlushTimer;
    // Inserts queued output from the front, about `budget` characters, in one edit; answers how
    // many it inserted.
    qsizetype FlushSome(qsizetype budget);
    // How much of the front write to insert with `room` characters left in this turn: up to a
    // line end a little past the room, else the room (a long line goes on over the next turns).
    static qsizetype TakeFromFront(const QueuedWrite& front, qsizetype room);
    // Drops the oldest queued lines down to the scrollback, and everything shown before them.
    void DropQueued();
    void PostFlush();
    void FlushTurn();
};
