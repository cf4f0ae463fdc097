#include "app/application.h"

#include <exception>

#include "app/forms.h"
#include "app/idle_driver.h"
#include "app/tm_main.h"
#include "script/script_host.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Mosswick");
    setOrganizationName("Mosswick");
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::Drop:
        case QEvent::FocusOut:
            if (IdleDriver()) IdleDriver()->Kick();
            break;
        default:
            break;
    }
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleException(QString::fromUtf8(e.what()));
    } catch (...) {
        HandleException("An unknown exception");
    }
    return false;
}

void TApplication::HandleException(const QString& message) {
    // the browser shows it once it exists; until then the console (or the terminal) does
    if (mMain && mMain->ScriptHost()) mMain->ScriptHost()->Write(message + "\r\n");
}
