#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `answer` on the next modal widget that opens, from inside its own event loop, so a test
// can answer a dialog it is about to open. Gives up with a warning after ten seconds.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
    const QPointer<QWidget> before = QApplication::activeModalWidget();
    auto* timer = new QTimer(qApp);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool opened = modal && modal != before && modal->isVisible();
        if (!opened && !clock.hasExpired(10000)) return;
        timer->stop();
        timer->deleteLater();
        if (opened) {
            answer(modal);
        } else {
            qWarning("AnswerNextModal: no modal widget opened");
        }
    });
    timer->start(10);
}
