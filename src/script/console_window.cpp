#include "script/console_window.h"

#include <QAbstractItemView>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSaveFile>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "script/script_host.h"
#include "shell/ishell.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "vorn/os.h"

namespace {

bool IsRich(const QString& text) { return text.startsWith(QLatin1Char('@')); }

// The line ends a write adds to the queue's count.
qsizetype LineEnds(const QString& text, bool rich) {
    return rich ? 1 : text.count(QLatin1Char('\n'));
}

// A setting's text as an error line shows it: quoted, and cut when long.
QString Quoted(const QString& value) {
    return '"' + (value.size() > 40 ? value.left(40) + "..." : value) + '"';
}

// What a name is made of.
bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// A history entry as one line of the kept file: line ends and backslashes escaped.
QString EscapedLine(const QString& entry) {
    QString line;
    for (QChar c : entry) {
        if (c == QLatin1Char('\\'))
            line += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            line += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            line += QLatin1String("\\r");
        else
            line += c;
    }
    return line;
}

QString UnescapedLine(const QString& line) {
    QString entry;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != QLatin1Char('\\') || i + 1 == line.size()) {
            entry += line[i];
            continue;
        }
        const QChar next = line[++i];
        entry += next == QLatin1Char('n')   ? QChar('\n')
                 : next == QLatin1Char('r') ? QChar('\r')
                                            : next;
    }
    return entry;
}

bool IsBlankOrControl(QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }

}  // namespace

TmConsoleWindow::TmConsoleWindow(IShell& shell, TScriptHost& host, QWidget* parent)
    : QWidget(parent), mShell(shell), mHost(host) {
    setObjectName("mConsoleWindow");
    hide();
    mConsolePanel = new QWidget;
    mConsolePanel->setObjectName("mConsolePanel");
    auto* layout = new QVBoxLayout(mConsolePanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    mConsole = new TConsoleView(mConsolePanel);
    mConsole->setObjectName("mConsole");
    // what rich output does not name is the sans-serif 10 pt it is written for; plain output
    // names its monospaced font
    QFont rich = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    rich.setPointSize(10);
    mConsole->setFont(rich);
    // a log: lines are read, selected and taken back into the input, never edited in place
    mConsole->setReadOnly(true);
    mConsole->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    mConsole->document()->setUndoRedoEnabled(false);  // a log: undoing output makes no sense
    mConsole->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mConsole, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        std::unique_ptr<QMenu> menu(MakePopupMenu());
        menu->exec(mConsole->viewport()->mapToGlobal(at));
    });
    mInput = new QLineEdit(mConsolePanel);
    mInput->setObjectName("mInput");
    mInput->setFixedHeight(21);
    layout->addWidget(mConsole, 1);
    layout->addWidget(mInput);
    // Tab's candidates: filtered by what is typed while the list is open, case-sensitive as
    // Python is; the filter on the list comes after the completer's, so it sees keys first
    mCompleter = new QCompleter(mInput);
    mCandidates = new QStringListModel(mCompleter);
    mCompleter->setModel(mCandidates);
    mCompleter->setCaseSensitivity(Qt::CaseSensitive);
    mCompleter->setWidget(mInput);
    mCompleter->popup()->setObjectName("mCandidates");
    mCompleter->popup()->installEventFilter(this);
    connect(mCompleter, qOverload<const QString&>(&QCompleter::activated), this,
            &TmConsoleWindow::ReplaceName);  // a click on a candidate
    // typing, Backspace and the arrows all move the caret, and the list follows the name
    connect(mInput, &QLineEdit::cursorPositionChanged, this, [this] {
        if (mCompleter->popup()->isVisible()) ShowCandidates();
    });
    mFlushTimer.setSingleShot(true);
    connect(&mFlushTimer, &QTimer::timeout, this, &TmConsoleWindow::FlushTurn);
    mInput->installEventFilter(this);
    mConsole->installEventFilter(this);
    // the view follows new output unless the user has scrolled up to read
    QScrollBar* bar = mConsole->verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (mFollow) bar->setValue(maximum);
    });
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { mFollow = value >= bar->maximum(); });
    FormCreate();
}

TmConsoleWindow::~TmConsoleWindow() { delete mConsolePanel; }

void TmConsoleWindow::FormCreate() {
    if (QWidget* bottom = mShell.Place(TShellPlace::BottomPanel)) {
        mConsolePanel->setParent(bottom);
        bottom->layout()->addWidget(mConsolePanel);
    }
    mHost.SetConsole(this);
    ReadSettings();
    LoadHistory();
}

QMenu* TmConsoleWindow::MakePopupMenu() {
    QMenu* menu = mConsole->createStandardContextMenu();
    menu->setObjectName("mConsolePopup");
    menu->addSeparator();
    QAction* echo = menu->addAction("&Echo Values");
    echo->setObjectName("mEchoValuesItem");
    echo->setCheckable(true);
    echo->setChecked(mw::SettingFlag(mw::keys::kConsoleEcho, "0"));
    connect(echo, &QAction::toggled, echo,
            [](bool on) { mw::WriteFlag(mw::keys::kConsoleEcho, on); });
    return menu;
}

QString TmConsoleWindow::HistoryPath() {
    const char* base = VnOS->GetPath(kVnPathBase);
    return QDir(QString::fromUtf8(base ? base : "")).filePath("console_history.txt");
}

void TmConsoleWindow::LoadHistory() {
    if (!mw::SettingFlag(mw::keys::kConsoleHistory, "0")) return;
    QFile file(HistoryPath());
    if (!file.open(QIODevice::ReadOnly)) return;  // none kept yet
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines.mid(std::max<qsizetype>(0, lines.size() - kKeptHistory)))
        Remember(UnescapedLine(line));
}

void TmConsoleWindow::SaveHistory() {
    if (!mw::SettingFlag(mw::keys::kConsoleHistory, "0")) return;
    QDir().mkpath(QFileInfo(HistoryPath()).path());
    QSaveFile file(HistoryPath());
    QByteArray text;
    for (const QString& entry : History.mid(std::max<qsizetype>(0, History.size() - kKeptHistory)))
        text += EscapedLine(entry).toUtf8() + '\n';
    // the old file stays whole when this one cannot be written
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        Queue("console_history: cannot write " + HistoryPath() + ": " + file.errorString() +
              "\r\n");
}

void TmConsoleWindow::Remember(const QString& text) {
    for (int i = History.size() - 1; i >= 0; --i)
        if (History[i].compare(text, Qt::CaseInsensitive) == 0) History.removeAt(i);
    History << text;
    HistoryIndex = History.size();
}

void TmConsoleWindow::ReadSettings() {
    const QString value = mw::ReadSetting(mw::keys::kConsoleScrollback, "100000");
    bool ok = false;
    const int lines = value.trimmed().toInt(&ok);
    const bool good = ok && lines > 0;
    mConsole->SetScrollback(good ? lines : TConsoleView::kDefaultScrollback);
    mConsole->DropOldest();  // a smaller scrollback applies to what is shown at once
    if (good) return;
    Queue(QString("console_scrollback: %1 is not a positive whole number of lines; keeping the "
                  "last %2 lines\r\n")
              .arg(Quoted(value))
              .arg(TConsoleView::kDefaultScrollback));
}

void TmConsoleWindow::Append(const QString& text) {
    if (!mConsole) return;
    QTextCursor cursor = mConsole->textCursor();
    cursor.movePosition(QTextCursor::End);
    mConsole->setTextCursor(cursor);
    mConsole->ensureCursorVisible();
    if (text.isEmpty()) return;
    mConsole->Insert(cursor, text, IsRich(text));
    mConsole->DropOldest();
    cursor.movePosition(QTextCursor::End);
    mConsole->setTextCursor(cursor);
    mConsole->ensureCursorVisible();
}

void TmConsoleWindow::Queue(const QString& text) {
    if (text.isEmpty()) return;
    const bool rich = IsRich(text);
    if (!rich && !mQueued.isEmpty() && !mQueued.last().rich)
        mQueued.last().text += text;
    else
        mQueued.append({text, rich});
    mQueuedLines += LineEnds(text, rich);
    // dropping in batches keeps the cost of a write constant
    if (mConsole && mQueuedLines > 2 * qsizetype(mConsole->Scrollback())) DropQueued();
    PostFlush();
}

void TmConsoleWindow::DropQueued() {
    qsizetype drop = mQueuedLines - mConsole->Scrollback();
    qint64 dropped = 0;
    while (drop > 0 && !mQueued.isEmpty()) {
        QueuedWrite& front = mQueued.first();
        const qsizetype ends = LineEnds(front.text, front.rich);
        if (ends <= drop) {
            mQueued.removeFirst();
            drop -= ends;
            dropped += ends;
            continue;
        }
        qsizetype end = -1;
        for (qsizetype i = 0; i < drop; ++i) end = front.text.indexOf(QLatin1Char('\n'), end + 1);
        front.text.remove(0, end + 1);
        dropped += drop;
        drop = 0;
    }
    mQueuedLines -= dropped;
    // what stays queued fills the scrollback: all that is shown is older
    mConsole->DropAll(dropped);
}

void TmConsoleWindow::PostFlush() {
    // a timer rather than a posted call: input and other timers get their turn between turns
    if (!mFlushTimer.isActive()) mFlushTimer.start(0);
}

void TmConsoleWindow::FlushTurn() {
    QElapsedTimer clock;
    clock.start();
    const qsizetype inserted = FlushSome(mTurnChars);
    const qint64 spent = std::max<qint64>(clock.nsecsElapsed(), 1);
    if (inserted > 0) {
        // aim the next turn at the time budget, from what this one cost per character; one cheap
        // turn says little about the next, so the share at most doubles
        const double perChar = double(spent) / double(inserted);
        const qsizetype most = std::min<qsizetype>(2 * mTurnChars, 4 * 1024 * 1024);
        mTurnChars = std::clamp<qsizetype>(qsizetype(kTurnNanoseconds / perChar), 1024, most);
    }
    if (!mQueued.isEmpty()) PostFlush();  // the rest follows on the next turn
}

void TmConsoleWindow::Flush() { FlushTurn(); }

qsizetype TmConsoleWindow::FlushSome(qsizetype budget) {
    if (mQueued.isEmpty() || !mConsole) return 0;
    if (mQueuedLines > mConsole->Scrollback()) DropQueued();  // never shown: not inserted at all
    QTextCursor cursor(mConsole->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    qsizetype inserted = 0;
    while (!mQueued.isEmpty() && inserted < budget) {
        QueuedWrite& front = mQueued.first();
        const qsizetype take = TakeFromFront(front, budget - inserted);
        if (take < front.text.size()) {
            const QString part = front.text.left(take);
            mConsole->Insert(cursor, part, false);
            mQueuedLines -= LineEnds(part, false);
            front.text.remove(0, take);
        } else {
            mConsole->Insert(cursor, front.text, front.rich);
            mQueuedLines -= LineEnds(front.text, front.rich);
            mQueued.removeFirst();
        }
        inserted += take;
    }
    cursor.endEditBlock();
    mConsole->DropOldest();  // a change of its own, at the top
    cursor.movePosition(QTextCursor::End);
    if (mFollow) {
        mConsole->setTextCursor(cursor);
        mConsole->verticalScrollBar()->setValue(mConsole->verticalScrollBar()->maximum());
    }
    return inserted;
}

bool TmConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == mInput) return mInputKeyDown(key);
    if (mCompleter && watched == mCompleter->popup()) {
        if (key != Qt::Key_Tab && key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;  // the completer moves in the list, closes it or passes typing on
        PickCandidate();
        return true;
    }
    if (watched == mConsole && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        mConsoleKeyDown(key);
        return true;  // the line goes to the input; the log stays as it was
    }
    return false;
}

bool TmConsoleWindow::mInputKeyDown(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            const QString text = mInput->text();
            if (text.isEmpty()) {
                mHost.Write("");
                return true;
            }
            Remember(text);
            SaveHistory();
            mHost.RunLine(text, mw::SettingFlag(mw::keys::kConsoleEcho, "0"));
            mInput->clear();
            return true;
        }
        case Qt::Key_Up:
            if (HistoryIndex > 0) mInput->setText(History[--HistoryIndex]);
            mInput->end(false);
            return true;
        case Qt::Key_Down:
            if (HistoryIndex < History.size() - 1) mInput->setText(History[++HistoryIndex]);
            mInput->end(false);
            return true;
        case Qt::Key_Tab:
            return CompleteName();
        case Qt::Key_F11:
            mInput->setText(mInput->text() + "app.browser.GetSelected()");
            mInput->end(false);
            return true;
        default:
            return false;
    }
}

bool TmConsoleWindow::CompleteName() {
    const QString code = mInput->text().left(mInput->cursorPosition());
    if (code.trimmed().isEmpty()) return false;
    const QString name = NameBeforeCaret();
    const bool after = name.isEmpty() && code.endsWith(QLatin1Char('.'));  // all attributes
    QStringList found = name.isEmpty() && !after ? QStringList() : mHost.Complete(code);
    found.sort();
    found.removeDuplicates();
    if (found.size() == 1) ReplaceName(found.first());
    if (found.size() < 2) return true;
    QString common = found.first();
    for (const QString& candidate : std::as_const(found))
        while (!candidate.startsWith(common)) common.chop(1);
    if (common.size() > name.size() && common.startsWith(name)) ReplaceName(common);
    mCompletedName = name;
    mCompletedStart = mInput->cursorPosition() - int(NameBeforeCaret().size());
    mCandidates->setStringList(found);
    ShowCandidates();
    return true;
}

QString TmConsoleWindow::NameBeforeCaret() const {
    const QString text = mInput->text();
    const int caret = mInput->cursorPosition();
    int start = caret;
    while (start > 0 && IsNameChar(text[start - 1])) --start;
    return text.mid(start, caret - start);
}

void TmConsoleWindow::ReplaceName(const QString& text) {
    const int length = int(NameBeforeCaret().size());
    mInput->setSelection(mInput->cursorPosition() - length, length);
    mInput->insert(text);  // one step the input's undo takes back
}

void TmConsoleWindow::ShowCandidates() {
    QAbstractItemView* list = mCompleter->popup();
    const QString name = NameBeforeCaret();
    const int start = mInput->cursorPosition() - int(name.size());
    if (start != mCompletedStart || !name.startsWith(mCompletedName)) {
        list->hide();
        return;
    }
    mCompleter->setCompletionPrefix(name);
    if (mCompleter->completionCount() == 0) {
        list->hide();
        return;
    }
    // under the caret, as wide as the longest candidate
    QRect under = mInput->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    under.setWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width() +
                   2 * list->frameWidth());
    mCompleter->complete(under);
    list->setCurrentIndex(mCompleter->completionModel()->index(0, 0));
}

void TmConsoleWindow::PickCandidate() {
    QAbstractItemView* list = mCompleter->popup();
    const QModelIndex current = list->currentIndex();
    list->hide();
    if (current.isValid()) ReplaceName(current.data().toString());
}

qsizetype TmConsoleWindow::TakeFromFront(const QueuedWrite& front, qsizetype room) {
    if (front.rich || front.text.size() <= room) return front.text.size();
    const qsizetype end = front.text.indexOf(QLatin1Char('\n'), room - 1);
    if (end >= 0 && end < room + TConsoleView::kFoldWidth) return end + 1;
    // a row is cut between characters, never between the halves of one
    return front.text[room - 1].isHighSurrogate() ? room + 1 : room;
}

void TmConsoleWindow::mConsoleKeyDown(int) {
    QString line = TConsoleView::LineOf(mConsole->textCursor().block());
    if (line.startsWith(QLatin1String("> "))) line.remove(0, 2);
    qsizetype first = 0, last = line.size();
    while (first < last && IsBlankOrControl(line[first])) ++first;
    while (last > first && IsBlankOrControl(line[last - 1])) --last;
    mInput->setText(line.mid(first, last - first));
    mHost.ShowConsole();
    mInput->end(false);
}
