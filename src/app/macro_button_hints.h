#pragma once

#include <QObject>

class QToolButton;

// Makes a hovered macro button show its script's name and run it, or disables it when its
// tag names no script.
class TMacroButtonHints : public QObject {
    Q_OBJECT
public:
    explicit TMacroButtonHints(QObject* parent);

    bool eventFilter(QObject* watched, QEvent* e) override;
    static void Prepare(QToolButton* button);
};
