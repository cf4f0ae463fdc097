#pragma once

#include <QObject>
#include <QTimer>

class TmMain;

// Runs the main window's idle pass whenever the runtime has work due (as soon as it is due,
// never spinning while nothing is) and after every burst of user input, so the runtime keeps
// running while the tool waits for the user. The runtime's wake-ups reach the main window as
// its private message.
class TIdleDriver : public QObject {
    Q_OBJECT
public:
    explicit TIdleDriver(TmMain& main, QObject* parent = nullptr);
    ~TIdleDriver() override;
    // Asks for an idle pass as soon as the event queue has been handled.
    void Kick();
    int Passes() const { return mPasses; }

private:
    void Pass();
    TmMain& mMain;
    QTimer mTimer;
    int mPasses = 0;
};
