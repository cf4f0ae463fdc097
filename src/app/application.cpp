#include "app/application.h"

#include <exception>
#include <utility>

#include "app/idle_driver.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Mosswick");
    setOrganizationName("Mosswick");
}

void TApplication::SetExceptionHandler(std::function<void(const QString&)> handler) {
    mExceptionHandler = std::move(handler);
}

void TApplication::SetIdleDriver(TIdleDriver* driver) { mIdle = driver; }

void TApplication::KickIdle() {
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    if (app && app->mIdle) app->mIdle->Kick();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::Drop:
        case QEvent::FocusOut:
            if (mIdle) mIdle->Kick();
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
    if (mExceptionHandler) mExceptionHandler(message);
}
