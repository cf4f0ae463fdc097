#include "app/macro_button_hints.h"

#include <QEvent>
#include <QToolButton>

#include "script/macro.h"

TMacroButtonHints::TMacroButtonHints(QObject* parent) : QObject(parent) {
    setObjectName("mMacroButtonHints");
}

bool TMacroButtonHints::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Enter || e->type() == QEvent::MouseMove)
        if (auto* button = qobject_cast<QToolButton*>(watched)) Prepare(button);
    return false;
}

void TMacroButtonHints::Prepare(QToolButton* button) {
    const int n = button->property("tag").toInt();
    if (n >= TheMacro().ScriptList.size()) {
        button->setEnabled(false);
        return;
    }
    button->setEnabled(true);
    button->setToolTip(TheMacro().ScriptList[n].section('/', -1));
    if (button->property("macroConnected").toBool()) return;
    button->setProperty("macroConnected", true);
    connect(button, &QToolButton::clicked, button,
            [button] { TheMacro().RunScriptIndex(button->property("tag").toInt()); });
}
