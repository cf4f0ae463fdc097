#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <optional>

#include "vorn/py_ref.h"
#include "vorn/pyos.h"

class IShell;
class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

// The one dialog behind the scripts' questions, lists, file dialogs and popup menus, and the
// keeper of the one program a script may wait for.
class TmUI : public QDialog {
    Q_OBJECT
public:
    explicit TmUI(IShell& shell, QWidget* parent = nullptr);
    ~TmUI() override;

    // The answer typed, or none when the user cancelled.
    std::optional<QString> Ask(const QString& question, const QString& answer);
    // The index chosen (-1 when none is selected), or none when the user cancelled. The
    // callback, when given, is called with the selected index as it changes; it is held until
    // the next list.
    std::optional<int> AskList(const QString& question, const QStringList& entries, int index,
                               PyObject* callback);
    // The file chosen, or none. `filter` is "Name|*.a;*.b|...".
    std::optional<QString> AskFile(bool save, const QString& title, const QString& file,
                                   const QString& filter, const QString& folder);
    // The index of the entry chosen, or none when the menu was dismissed.
    std::optional<int> PopupMenu(int x, int y, const QStringList& entries);

    // Starts `file`: a program with its parameters split as a user would type them (never
    // through a shell), or, for a document, a URL or the verb "open", the desktop's opener.
    // With `wait`, the program is kept as the pending one until it ends. False when nothing
    // could be started.
    bool Execute(const QString& file, const QString& parameters, const QString& verb, bool wait);
    // A program is pending, or a tasklet waits for one.
    bool IsWaiting() const { return mPendingProcess || mPendingTasklet; }
    // The calling tasklet waits for the pending program to end; answers None when it ran, False
    // when it could not start, or null with the Python error of a refused wait.
    PyObject* WaitForProcess(VnTasklet tasklet);
    // A question, list, file dialog or popup menu of this form is open; it cannot open twice.
    bool IsAsking() const { return mAsking; }

    void mListClick();
    void mListDblClick();

    QLabel* Question() const { return mQuestion; }
    QLineEdit* Answer() const { return mAnswer; }
    QListWidget* List() const { return mList; }
    QMenu* Popup() const { return mPopup; }
    // The file dialogs are made when first used: making them costs the start a few
    // milliseconds each.
    QFileDialog* OpenDialog();
    QFileDialog* SaveDialog();

private:
    // Resumes the tasklet waiting for the pending program, which has ended or never started.
    void ProcessEnded(QProcess* process, bool started);

    IShell& mShell;
    QLabel* mQuestion;
    QLineEdit* mAnswer;
    QListWidget* mList;
    QPushButton* mOK;
    QPushButton* mCancel;
    QPointer<QFileDialog> mOpenDlg;
    QPointer<QFileDialog> mSaveDlg;
    QMenu* mPopup;
    QAction* mChosenItem = nullptr;
    PyRef mListCallback;  // held: a callback made inline would otherwise be freed meanwhile
    QPointer<QProcess> mPendingProcess;
    VnTasklet mPendingTasklet = nullptr;
    bool mAsking = false;
};
