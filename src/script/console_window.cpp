#include "script/console_window.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "app/forms.h"
#include "app/rich_text_document.h"
#include "app/tm_main.h"
#include "core/rtf_reader.h"
#include "script/script_host.h"

namespace {

// Rich writes are framed as a whole document in Arial 10 pt.
constexpr char kRichHead[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1039{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"
    "\\viewkind4\\uc1\\pard\\f0\\fs20 ";

bool IsRich(const QString& text) { return text.startsWith(QLatin1Char('@')); }

// Line ends as the document wants them: "\r\n" is one break and a stray "\r" none.
QString PlainLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.remove(QLatin1Char('\r'));
    return text;
}

bool IsBlankOrControl(QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }

TScriptHost* Host() { return mMain ? mMain->ScriptHost() : nullptr; }

}  // namespace

TmConsoleWindow::TmConsoleWindow(QWidget* parent) : QWidget(parent) {
    setObjectName("mConsoleWindow");
    hide();
    mConsolePanel = new QWidget;
    mConsolePanel->setObjectName("mConsolePanel");
    auto* layout = new QVBoxLayout(mConsolePanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    mConsole = new QTextEdit(mConsolePanel);
    mConsole->setObjectName("mConsole");
    mConsole->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    mConsole->setAcceptRichText(false);
    mConsole->document()->setUndoRedoEnabled(false);  // a log: undoing output makes no sense
    mInput = new QLineEdit(mConsolePanel);
    mInput->setObjectName("mInput");
    mInput->setFixedHeight(21);
    layout->addWidget(mConsole, 1);
    layout->addWidget(mInput);
    mInput->installEventFilter(this);
    mConsole->installEventFilter(this);
    mConsoleWindow = this;
    FormCreate();
}

TmConsoleWindow::~TmConsoleWindow() { delete mConsolePanel; }

void TmConsoleWindow::FormCreate() {
    if (QWidget* bottom = mMain ? mMain->Panel("mPanelBottom") : nullptr) {
        mConsolePanel->setParent(bottom);
        bottom->layout()->addWidget(mConsolePanel);
    }
    if (TScriptHost* host = Host()) host->Write("");
}

void TmConsoleWindow::Insert(QTextCursor& cursor, const QString& text) {
    if (!IsRich(text)) {
        cursor.insertText(PlainLines(text), QTextCharFormat());
        return;
    }
    const QByteArray rtf = kRichHead + text.toUtf8() + "\\par}";
    mw::AppendRichText(cursor, mw::ParseRtf(std::string_view(rtf.constData(), rtf.size())));
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());  // the closing \par
}

void TmConsoleWindow::Append(const QString& text) {
    if (!mConsole) return;
    QTextCursor cursor = mConsole->textCursor();
    cursor.movePosition(QTextCursor::End);
    mConsole->setTextCursor(cursor);
    mConsole->ensureCursorVisible();
    if (text.isEmpty()) return;
    Insert(cursor, text);
    mConsole->setTextCursor(cursor);
    mConsole->ensureCursorVisible();
}

void TmConsoleWindow::Queue(const QString& text) {
    if (text.isEmpty()) return;
    mQueued << text;
    PostFlush();
}

void TmConsoleWindow::PostFlush() {
    if (mFlushPosted) return;
    mFlushPosted = true;
    QTimer::singleShot(0, this, [this] {
        mFlushPosted = false;
        FlushSome(kSliceChars);
        if (!mQueued.isEmpty()) PostFlush();  // the rest follows on the next turn
    });
}

void TmConsoleWindow::Flush() { FlushSome(-1); }

void TmConsoleWindow::FlushSome(qsizetype budget) {
    if (mQueued.isEmpty() || !mConsole) return;
    // whole writes from the front, in order, until the budget is spent
    qsizetype taken = 0, chars = 0;
    while (taken < mQueued.size() && (budget < 0 || chars < budget))
        chars += mQueued[taken++].size();
    const QStringList writes = mQueued.mid(0, taken);
    mQueued.remove(0, taken);
    QScrollBar* bar = mConsole->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextCursor cursor(mConsole->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    QString plain;  // neighbouring plain writes go in as one insertion
    for (const QString& text : writes) {
        if (!IsRich(text)) {
            plain += text;
            continue;
        }
        if (!plain.isEmpty()) Insert(cursor, std::exchange(plain, {}));
        Insert(cursor, text);
    }
    if (!plain.isEmpty()) Insert(cursor, plain);
    cursor.endEditBlock();
    if (!atBottom) return;
    mConsole->setTextCursor(cursor);
    mConsole->ensureCursorVisible();
}

bool TmConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == mInput) return mInputKeyDown(key);
    if (watched == mConsole && (key == Qt::Key_Return || key == Qt::Key_Enter))
        mConsoleKeyDown(key);
    return false;
}

bool TmConsoleWindow::mInputKeyDown(int key) {
    TScriptHost* host = Host();
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            const QString text = mInput->text();
            if (!host) return true;
            if (text.isEmpty()) {
                host->Write("");
                return true;
            }
            for (int i = History.size() - 1; i >= 0; --i)
                if (History[i].compare(text, Qt::CaseInsensitive) == 0) History.removeAt(i);
            History << text;
            HistoryIndex = History.size();
            host->RunLine(text);
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
        case Qt::Key_F11:
            mInput->setText(mInput->text() + "app.browser.GetSelected()");
            mInput->end(false);
            return true;
        default:
            return false;
    }
}

void TmConsoleWindow::mConsoleKeyDown(int) {
    QString line = mConsole->textCursor().block().text();
    if (line.startsWith(QLatin1String("> "))) line.remove(0, 2);
    qsizetype first = 0, last = line.size();
    while (first < last && IsBlankOrControl(line[first])) ++first;
    while (last > first && IsBlankOrControl(line[last - 1])) --last;
    mInput->setText(line.mid(first, last - first));
    if (TScriptHost* host = Host()) host->ShowConsole();
    mInput->end(false);
}
