#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "shell/ioutput.h"
#include "vorn/iroot.h"

class IShell;
class TmConsoleWindow;
class TmErrorLog;

// A module for scripts as the host registers it: its name, its doc string and its static script
// objects (name, object) in the order scripts meet them.
struct TScriptModule {
    const char* name = nullptr;
    const char* doc = nullptr;
    std::vector<std::pair<const char*, IRoot*>> objects;
};

// The scripting host: registers the module "app", runs the start-up statements, every line the
// user runs and every script file in a tasklet of its own, and routes all output. It is made
// before the main window and outlives it and every form that uses it; it serves the window
// only while that is attached.
class TScriptHost final : public IOutput {
public:
    TScriptHost();
    ~TScriptHost() override;
    TScriptHost(const TScriptHost&) = delete;
    TScriptHost& operator=(const TScriptHost&) = delete;

    // The main window it shows output in and asks through; null once the window goes, after
    // which its output waits for the exit's box.
    void SetShell(IShell* shell);

    // Registers `module` as it is handed over, then runs the start-up statements, which import
    // it.
    bool Start(const TScriptModule& module);
    // Echoes "> " and the text, then runs it in a new tasklet; with `echo`, an expression's value
    // other than None is printed as its repr, as Python's interactive prompt does.
    void RunLine(const QString& text, bool echo = false);
    // The names that complete the word before the caret, `code` being the input up to it (see
    // CompleteNames). Runs at once on the calling tasklet, under the interpreter's lock; a
    // failing completion answers what it found until then and leaves no error behind, neither
    // Python's nor the runtime's.
    QStringList Complete(const QString& code);
    // Runs a script file in a new tasklet through vorn.pyos.ExecFile.
    void RunScriptFile(const QString& path);
    // The same for a path given as the file system's bytes, which need not be UTF-8.
    void RunScriptPath(const QByteArray& path);
    void Write(const QString& text) override;
    void WriteError(const QString& text) { Write(text); }
    // Moves the runtime's pending error on (into the error log once it exists).
    void RefreshErrors() override;
    void DropFiles(const QStringList& files);
    void ShowConsole();
    // Shows the browsing panels and brings the web view's page to the front.
    void ShowWebPage();
    // Asks the user for a line for a script's input(); false when there is no one to ask or the
    // user declined.
    bool AskForInput(const QString& prompt, QString* answer);
    // Whether a user is there to answer AskForInput.
    bool CanAsk() const;
    // From now on output waits for the exit's box; the runtime's pending error, if any, goes
    // there with `what` before it.
    void KeepErrorForExit(const QString& what);

    // The console and the error log are made after the host; output waits until they exist.
    void SetConsole(TmConsoleWindow* console);
    void SetErrorLog(TmErrorLog* log);

    // Output held while nothing can show it.
    QString PendingOutput() const;
    QString TakePendingOutput();

private:
    void ApplyStoredResourceDir();

    IShell* mShell = nullptr;
    bool mBatchRun = false;  // as the shell said while it was there
    QPointer<TmConsoleWindow> mConsole;
    QPointer<TmErrorLog> mErrorLog;
    QStringList mPendingWrites;
    bool mShuttingDown = false;
};

// The output sink: what every print reaches, with the one script method ViewROTBrowser. The
// runtime hands it to no script; tests reach it here.
IRoot* TheOutputSink();

// What was printed after the host went (while the runtime shut down), and output that never
// reached a console; shown in the "OOPS!" box. Empties it.
QString TakeShutdownOutput();
