#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class TmMain;

// Batch mode: `mosswick --batch FILE...` runs the files after start-up as dropped scripts would,
// waits until every tasklet has ended, then closes the main window.
class TBatchRun : public QObject {
    Q_OBJECT
public:
    // True for a batch run; `files` receives the files after --batch, made absolute.
    static bool FromCommandLine(int argc, char** argv, QStringList* files);

    // `waiting` tells whether something outside the runtime may still wake a tasklet.
    TBatchRun(TmMain& main, QStringList files, std::function<bool()> waiting = {},
              QObject* parent = nullptr);
    // Starts the files; the main window closes once all tasklets have ended.
    void Start();
    // 0, or 1 when a script or a tasklet raised, or tasklets waited for nothing.
    int ExitStatus() const { return mStatus; }

private:
    void Watch();

    QPointer<TmMain> mMain;
    QStringList mFiles;
    std::function<bool()> mWaiting;
    long mFailuresBefore = 0;
    int mStatus = 0;
};
