#pragma once

#include <QApplication>
#include <QPointer>
#include <functional>

class TIdleDriver;

// The application object. No exception escapes an event handler: one that does is handed to
// the exception handler instead of ending the program, and user input asks for an idle pass.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // What happens to the message of an exception that escaped a handler; none: it is dropped.
    void SetExceptionHandler(std::function<void(const QString&)> handler);
    void SetIdleDriver(TIdleDriver* driver);
    // Asks the running application's idle driver for a pass; nothing without one.
    static void KickIdle();

private:
    void HandleException(const QString& message);

    std::function<void(const QString&)> mExceptionHandler;
    QPointer<TIdleDriver> mIdle;
};
