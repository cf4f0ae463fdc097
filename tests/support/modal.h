#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

// Runs `answer` on the next widget `current` reports (one that was not current before and is
// visible), from inside that widget's own event loop. Gives up with a warning after ten seconds.
inline void AnswerNext(std::function<QWidget*()> current, std::function<void(QWidget*)> answer) {
    const QPointer<QWidget> before = current();
    auto* timer = new QTimer(qApp);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* widget = current();
        const bool opened = widget && widget != before && widget->isVisible();
        if (!opened && !clock.hasExpired(10000)) return;
        timer->stop();
        timer->deleteLater();
        if (opened) {
            answer(widget);
        } else {
            qWarning("AnswerNext: no modal widget or popup opened");
        }
    });
    timer->start(10);
}

// Runs `answer` on the next modal widget that opens, so a test can answer a dialog it is about
// to open.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
    AnswerNext(&QApplication::activeModalWidget, std::move(answer));
}

// The same for the next popup (a menu shown by exec()), which is no modal widget.
inline void AnswerNextPopup(std::function<void(QWidget*)> answer) {
    AnswerNext(&QApplication::activePopupWidget, std::move(answer));
}

// Puts `name` in a file dialog's name line, as a user types it. selectFile() leaves that line
// alone while it has the focus, so a dialog that took the focus first would keep its old name.
inline void TypeFileName(QFileDialog& dialog, const QString& name) {
    if (auto* line = dialog.findChild<QLineEdit*>("fileNameEdit"))
        line->setText(name);
    else
        dialog.selectFile(name);
}
