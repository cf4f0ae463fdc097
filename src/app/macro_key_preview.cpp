#include "app/macro_key_preview.h"

#include <QKeyEvent>

#include "platform/virtual_keys.h"
#include "script/macro.h"

TMacroKeyPreview::TMacroKeyPreview(QObject* parent) : QObject(parent) {
    setObjectName("mMacroKeyPreview");
}

bool TMacroKeyPreview::eventFilter(QObject*, QEvent* e) {
    const QEvent::Type type = e->type();
    if (type == QEvent::KeyRelease) mAnswered = false;
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    // one answer per press: its override, the press itself and their propagation share it
    if (!mAnswered || key->key() != mKey || key->modifiers() != mMods) {
        if (!TheMacro().HasKeyPreview()) return false;
        mAnswer = Answer(key);
        mAnswered = true;
        mKey = key->key();
        mMods = key->modifiers();
    }
    if (mAnswer) e->accept();  // an accepted override keeps the shortcut from firing
    return mAnswer;
}

bool TMacroKeyPreview::Answer(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers();
    const int vk = mw::VirtualKeyFromQt(key->key(), mods, key->nativeVirtualKey());
    return vk && TheMacro().PreviewKey(vk, mods & Qt::ShiftModifier, mods & Qt::ControlModifier,
                                       mods & Qt::AltModifier);
}
