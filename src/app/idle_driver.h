#pragma once

#include <QObject>
#include <QTimer>

// Runs the main window's idle pass whenever the runtime has work due (as soon as it is due,
// never spinning while nothing is) and after every burst of user input, so the runtime keeps
// running while the tool waits for the user.
class TIdleDriver : public QObject {
    Q_OBJECT
public:
    explicit TIdleDriver(QObject* parent = nullptr);
    ~TIdleDriver() override;
    // Asks for an idle pass as soon as the event queue has been handled.
    void Kick();
    int Passes() const { return mPasses; }

private:
    void Pass();
    QTimer mTimer;
    int mPasses = 0;
};

// The driver of the running loop; none once it has gone (the "OOPS!" box runs without one).
TIdleDriver* IdleDriver();
