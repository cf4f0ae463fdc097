#pragma once

#include <QPointer>
#include <QStringList>
#include <QTableWidget>
#include <QWidget>

class IShell;
class TScriptHost;

// The error log: every runtime error that was moved on, with its time, in the main window's
// Errors sheet; the form itself never shows.
class TmErrorLog : public QWidget {
    Q_OBJECT
public:
    TmErrorLog(IShell& shell, TScriptHost& host, QWidget* parent = nullptr);
    ~TmErrorLog() override;

    void FormCreate();
    // Takes the runtime's pending error: shows it in the console and as a new row, then clears it.
    void Record();

    QWidget* ErrorPanel() const { return mErrorPanel; }
    QTableWidget* ErrGrid() const { return mErrGrid; }

    QStringList Errors;

private:
    IShell& mShell;
    TScriptHost& mHost;
    QPointer<QWidget> mErrorPanel;
    QPointer<QTableWidget> mErrGrid;
};
