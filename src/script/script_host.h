#pragma once

#include <QString>
#include <QStringList>

class TmMain;

// The scripting host: registers the module "app", runs the start-up statements, every line the
// user runs and every script file in a tasklet of its own, and routes all output.
class TScriptHost {
public:
    explicit TScriptHost(TmMain* main);
    ~TScriptHost();
    TScriptHost(const TScriptHost&) = delete;
    TScriptHost& operator=(const TScriptHost&) = delete;

    bool Start();
    // Echoes "> " and the text, then runs it in a new tasklet.
    void RunLine(const QString& text);
    // Runs a script file in a new tasklet through vorn.pyos.ExecFile.
    void RunScriptFile(const QString& path);
    void Write(const QString& text);
    void WriteError(const QString& text) { Write(text); }
    // Moves the runtime's pending error on (into the error log once it exists).
    void RefreshErrors();
    void DropFiles(const QStringList& files);
    void ShowConsole();

    // Output held while nothing can show it.
    QString PendingOutput() const;
    QString TakePendingOutput();

private:
    TmMain* mMain;
    QStringList mPendingWrites;
    bool mShuttingDown = false;
};

// What was printed after the host went (while the runtime shut down), and output that never
// reached a console; shown in the "OOPS!" box. Empties it.
QString TakeShutdownOutput();
