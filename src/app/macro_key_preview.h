#pragma once

#include <QObject>

class QKeyEvent;

// Hands every key, before any shortcut sees it, to the macros' key previewer; a key it takes
// goes no further.
class TMacroKeyPreview : public QObject {
    Q_OBJECT
public:
    explicit TMacroKeyPreview(QObject* parent);

    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The previewer's answer for this key, asked once per press.
    bool Answer(const QKeyEvent* key);

    bool mAnswered = false;
    bool mAnswer = false;
    int mKey = 0;
    Qt::KeyboardModifiers mMods;
};
