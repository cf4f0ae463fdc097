#include "platform/virtual_keys.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWheelEvent>

namespace mw {

namespace {

// Qt keys qtFirst..qtLast give vkFirst onwards; keypad rows apply only to keypad keys.
struct KeyRange {
    int qtFirst;
    int qtLast;
    int vkFirst;
    bool keypad;
};

constexpr KeyRange Key(int qt, int vk, bool keypad = false) { return {qt, qt, vk, keypad}; }

// Keypad rows come first so they win over the main keyboard's keys with the same Qt key.
constexpr KeyRange kKeys[] = {
    {Qt::Key_0, Qt::Key_9, 96, true},
    Key(Qt::Key_Asterisk, 106, true),
    Key(Qt::Key_Plus, 107, true),
    Key(Qt::Key_Minus, 109, true),
    Key(Qt::Key_Period, 110, true),
    Key(Qt::Key_Comma, 110, true),  // the decimal key of layouts with a decimal comma
    Key(Qt::Key_Slash, 111, true),

    {Qt::Key_A, Qt::Key_Z, 65, false},
    {'a', 'z', 65, false},
    {Qt::Key_0, Qt::Key_9, 48, false},
    {Qt::Key_F1, Qt::Key_F24, 112, false},
    Key(Qt::Key_Backspace, 8),
    Key(Qt::Key_Tab, 9),
    Key(Qt::Key_Backtab, 9),
    Key(Qt::Key_Clear, 12),
    Key(Qt::Key_Return, 13),
    Key(Qt::Key_Enter, 13),
    Key(Qt::Key_Shift, 16),
    Key(Qt::Key_Control, 17),
    Key(Qt::Key_Alt, 18),
    Key(Qt::Key_AltGr, 18),
    Key(Qt::Key_Pause, 19),
    Key(Qt::Key_CapsLock, 20),
    Key(Qt::Key_Escape, 27),
    Key(Qt::Key_Space, 32),
    Key(Qt::Key_PageUp, 33),
    Key(Qt::Key_PageDown, 34),
    Key(Qt::Key_End, 35),
    Key(Qt::Key_Home, 36),
    Key(Qt::Key_Left, 37),
    Key(Qt::Key_Up, 38),
    Key(Qt::Key_Right, 39),
    Key(Qt::Key_Down, 40),
    Key(Qt::Key_Print, 44),
    Key(Qt::Key_SysReq, 44),  // Alt+Print
    Key(Qt::Key_Insert, 45),
    Key(Qt::Key_Delete, 46),
    Key(Qt::Key_Meta, 91),
    Key(Qt::Key_Super_L, 91),
    Key(Qt::Key_Super_R, 92),
    Key(Qt::Key_Menu, 93),
    Key(Qt::Key_NumLock, 144),
    Key(Qt::Key_ScrollLock, 145),

    // Punctuation and its shifted characters, as on a US keyboard.
    Key(Qt::Key_ParenRight, 48),
    Key(Qt::Key_Exclam, 49),
    Key(Qt::Key_At, 50),
    Key(Qt::Key_NumberSign, 51),
    Key(Qt::Key_Dollar, 52),
    Key(Qt::Key_Percent, 53),
    Key(Qt::Key_AsciiCircum, 54),
    Key(Qt::Key_Ampersand, 55),
    Key(Qt::Key_Asterisk, 56),
    Key(Qt::Key_ParenLeft, 57),
    Key(Qt::Key_Semicolon, 186),
    Key(Qt::Key_Colon, 186),
    Key(Qt::Key_Equal, 187),
    Key(Qt::Key_Plus, 187),
    Key(Qt::Key_Comma, 188),
    Key(Qt::Key_Less, 188),
    Key(Qt::Key_Minus, 189),
    Key(Qt::Key_Underscore, 189),
    Key(Qt::Key_Period, 190),
    Key(Qt::Key_Greater, 190),
    Key(Qt::Key_Slash, 191),
    Key(Qt::Key_Question, 191),
    Key(Qt::Key_QuoteLeft, 192),
    Key(Qt::Key_AsciiTilde, 192),
    Key(Qt::Key_BracketLeft, 219),
    Key(Qt::Key_BraceLeft, 219),
    Key(Qt::Key_Backslash, 220),
    Key(Qt::Key_Bar, 220),
    Key(Qt::Key_BracketRight, 221),
    Key(Qt::Key_BraceRight, 221),
    Key(Qt::Key_Apostrophe, 222),
    Key(Qt::Key_QuoteDbl, 222),
};

constexpr quint32 kKeysymMetaRight = 0xffe8;
constexpr quint32 kKeysymSuperRight = 0xffec;

}  // namespace

int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers mods, quint32 nativeVirtualKey) {
    const bool keypad = mods.testFlag(Qt::KeypadModifier);
    for (const KeyRange& range : kKeys) {
        if (range.keypad && !keypad) continue;
        if (qtKey < range.qtFirst || qtKey > range.qtLast) continue;
        const int vk = range.vkFirst + (qtKey - range.qtFirst);
        // X11 may report the right Windows key as Meta; its keysym still says which one.
        if (vk == 91 &&
            (nativeVirtualKey == kKeysymMetaRight || nativeVirtualKey == kKeysymSuperRight))
            return 92;
        return vk;
    }
    return 0;
}

int ShiftState(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons, bool doubleClick) {
    int state = 0;
    if (mods.testFlag(Qt::ShiftModifier)) state |= 1;
    if (mods.testFlag(Qt::AltModifier)) state |= 2;
    if (mods.testFlag(Qt::ControlModifier)) state |= 4;
    if (buttons.testFlag(Qt::LeftButton)) state |= 8;
    if (buttons.testFlag(Qt::RightButton)) state |= 16;
    if (buttons.testFlag(Qt::MiddleButton)) state |= 32;
    if (doubleClick) state |= 64;
    return state;
}

int ShiftStateOf(const QInputEvent& event) {
    if (const auto* mouse = dynamic_cast<const QMouseEvent*>(&event))
        return ShiftState(mouse->modifiers(), mouse->buttons(),
                          mouse->type() == QEvent::MouseButtonDblClick);
    if (const auto* wheel = dynamic_cast<const QWheelEvent*>(&event))
        return ShiftState(wheel->modifiers(), wheel->buttons(), false);
    return ShiftState(event.modifiers(), QGuiApplication::mouseButtons(), false);
}

}  // namespace mw
