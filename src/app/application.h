#pragma once

#include <QApplication>

// The application object. No exception escapes an event handler: one that does is handed to
// the exception handler instead of ending the program, and user input asks for an idle pass.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // What happens to the message of an exception that escaped a handler.
    static void HandleException(const QString& message);
};
