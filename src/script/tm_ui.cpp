#include "script/tm_ui.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "platform/file_dialog.h"
#include "platform/file_filter.h"
#include "platform/fixed_layout.h"
#include "shell/ishell.h"
#include "vorn/os.h"

namespace {

// Images of the shared list that popup entries show, from the first entry on.
constexpr int kFirstPopupImage = 44;

// Where started programs run: the runtime's base folder, made when it is missing.
QString WorkingFolder() {
    QString folder = QString::fromUtf8(VnOS->GetPath(kVnPathBase));
    if (folder.endsWith('/')) folder.chop(1);
    QDir().mkpath(folder);
    return folder;
}

// The program `file` names, when it is one: a path to an executable file, or a name found on
// the search path. Empty for documents and URLs.
QString ProgramOf(const QString& file) {
    if (file.contains('/')) {
        const QFileInfo info(file);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(file);
}

}  // namespace

TmUI::TmUI(IShell& shell, QWidget* parent) : QDialog(parent), mShell(shell) {
    setObjectName("mUI");
    setWindowTitle("Question");
    auto* column = new QVBoxLayout(this);
    mQuestion = new QLabel(this);
    mQuestion->setObjectName("mQuestion");
    mQuestion->setWordWrap(true);
    mQuestion->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // the answer follows the prompt
    mQuestion->setMinimumSize(273, 40);
    mList = new QListWidget(this);
    mList->setObjectName("mList");
    mList->hide();
    mAnswer = new QLineEdit(this);
    mAnswer->setObjectName("mAnswer");
    QHBoxLayout* buttons = mw::OkCancelRow(this, &mOK, &mCancel);
    column->addWidget(mQuestion);
    column->addWidget(mList, 1);
    column->addWidget(mAnswer);
    column->addStretch();  // without the list, the room left goes above the buttons
    column->addLayout(buttons);
    resize(306, 220);
    setTabOrder(mAnswer, mOK);
    setTabOrder(mOK, mCancel);
    setTabOrder(mCancel, mList);
    connect(mList, &QListWidget::currentRowChanged, this, [this] { mListClick(); });
    connect(mList, &QListWidget::itemDoubleClicked, this, [this] { mListDblClick(); });
    mPopup = new QMenu(this);
    mPopup->setObjectName("mPopup");
}

TmUI::~TmUI() {
    // the program's end must not reach a form that is going; its waiting tasklet ends at exit
    if (mPendingProcess) mPendingProcess->disconnect(this);
    delete mOpenDlg;
    delete mSaveDlg;
}

std::optional<QString> TmUI::Ask(const QString& question, const QString& answer) {
    const QScopedValueRollback<bool> asking(mAsking, true);
    mQuestion->setText(question);
    mList->hide();
    mAnswer->show();
    mAnswer->setText(answer);
    mAnswer->setFocus();
    if (exec() != Accepted) return std::nullopt;
    return mAnswer->text();
}

std::optional<int> TmUI::AskList(const QString& question, const QStringList& entries, int index,
                                 PyObject* callback) {
    const QScopedValueRollback<bool> asking(mAsking, true);  // the callback may ask again
    mListCallback = PyRef::Borrow(callback);
    mQuestion->setText(question);
    mAnswer->hide();
    mList->show();
    {
        const QSignalBlocker quiet(mList);  // the callback hears of the chosen entry only
        mList->clear();
        mList->addItems(entries);
        // the view's own call also tells it that "none" is chosen on purpose; otherwise it makes
        // the first entry current when it takes the focus, and OK would answer that entry
        mList->setCurrentIndex(mList->model()->index(index, 0));
    }
    if (index >= 0) mListClick();
    mList->setFocus();
    if (exec() != Accepted) return std::nullopt;
    return mList->currentRow();
}

void TmUI::mListClick() {
    if (!mListCallback) return;
    PyRef keep = mListCallback;  // the callback may start another list
    PyRef result = PyRef::Steal(PyObject_CallFunction(keep.get(), "i", mList->currentRow()));
    if (!result) PyOS->ReportError(0);
}

void TmUI::mListDblClick() { accept(); }

QFileDialog* TmUI::OpenDialog() {
    if (!mOpenDlg)
        mOpenDlg = mw::NewFileDialog(mShell.DialogParent(), "mOpenDlg", "All files (*)",
                                     mw::FileChoice::Open);
    return mOpenDlg;
}

QFileDialog* TmUI::SaveDialog() {
    if (!mSaveDlg)
        mSaveDlg = mw::NewFileDialog(mShell.DialogParent(), "mSaveDlg", "All files (*)",
                                     mw::FileChoice::Save);
    return mSaveDlg;
}

std::optional<QString> TmUI::AskFile(bool save, const QString& title, const QString& file,
                                     const QString& filter, const QString& folder) {
    const QScopedValueRollback<bool> asking(mAsking, true);
    QFileDialog* dialog = save ? SaveDialog() : OpenDialog();
    dialog->setWindowTitle(title);
    dialog->setNameFilter(mw::ToQtFilter(filter));
    if (!folder.isEmpty()) dialog->setDirectory(QDir::toNativeSeparators(folder));
    dialog->selectFile(file);
    if (dialog->exec() != Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog->selectedFiles().first());
}

std::optional<int> TmUI::PopupMenu(int x, int y, const QStringList& entries) {
    const QScopedValueRollback<bool> asking(mAsking, true);
    mPopup->clear();
    for (int i = 0; i < entries.size(); ++i) {
        QAction* entry = mPopup->addAction(mShell.Image(i + kFirstPopupImage), entries[i]);
        entry->setData(i);
    }
    mChosenItem = mPopup->exec(QPoint(x, y));
    if (!mChosenItem) return std::nullopt;
    return mChosenItem->data().toInt();
}

bool TmUI::Execute(const QString& file, const QString& parameters, const QString& verb, bool wait) {
    const QString program = verb.isEmpty() ? ProgramOf(file) : QString();
    // a document, a URL or an explicit verb goes to the desktop's opener, never to a shell;
    // what is none of them cannot be started (the opener would fail later, unseen)
    const bool opens = QFileInfo::exists(file) || QUrl(file).scheme().size() > 1;
    if (program.isEmpty() && !opens) return false;
    const QString run = program.isEmpty() ? QString("xdg-open") : program;
    const QStringList arguments =
        program.isEmpty() ? QStringList{file} : QProcess::splitCommand(parameters);
    const QString folder = WorkingFolder();
    if (!wait) return QProcess::startDetached(run, arguments, folder);
    auto* process = new QProcess(this);
    process->setObjectName("mPendingProcess");
    process->setWorkingDirectory(folder);
    process->start(run, arguments);
    // only what is refused at once is known here; the rest is reported to the waiting tasklet
    if (process->state() == QProcess::NotRunning) {
        delete process;
        return false;
    }
    connect(process, &QProcess::finished, this, [this, process] { ProcessEnded(process, true); });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart || error == QProcess::Crashed)
            ProcessEnded(process, error == QProcess::Crashed);
    });
    mPendingProcess = process;
    return true;
}

PyObject* TmUI::WaitForProcess(VnTasklet tasklet) {
    if (!mPendingProcess) Py_RETURN_NONE;
    const QPointer<TmUI> self = this;  // the form may be gone when the wait ends, at exit
    mPendingTasklet = tasklet;
    PyObject* value = PyOS->BlockTasklet(tasklet);
    if (self && self->mPendingTasklet == tasklet) self->mPendingTasklet = nullptr;  // refused
    return value;
}

void TmUI::ProcessEnded(QProcess* process, bool started) {
    // a crash is told twice; the second must not end a program started since
    if (process != mPendingProcess) return;
    process->deleteLater();
    mPendingProcess = nullptr;
    const VnTasklet waiting = std::exchange(mPendingTasklet, nullptr);
    if (waiting) PyOS->ResumeTasklet(waiting, started ? nullptr : Py_False);
}
