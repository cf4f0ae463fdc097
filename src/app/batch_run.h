#pragma once

#include <QStringList>

// Batch mode: `mosswick --batch FILE...` runs the files after start-up as dropped scripts would,
// waits until every tasklet has ended, then closes the main window.
class TBatchRun {
public:
    // The files after --batch on the command line, or none when it is not a batch run.
    static QStringList FilesFrom(int argc, char** argv);
    static bool Active();
    // Starts the files; the main window closes once all tasklets have ended.
    static void Start(const QStringList& files);
    // 0, or 1 when a script or a tasklet raised.
    static int ExitStatus();
};
