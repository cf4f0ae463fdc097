#pragma once

#include <qnamespace.h>

#include <QtGlobal>

class QInputEvent;

namespace mw {

// The Windows virtual-key code scripts expect for a Qt key (US layout for punctuation, with
// its shifted characters on the same key); 0 for keys without one. `nativeVirtualKey` is the
// X11 keysym of the event, which tells the right Meta key from the left.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers mods, quint32 nativeVirtualKey = 0);

// Sum of 1 Shift, 2 Alt, 4 Ctrl, 8 left, 16 right, 32 middle button and 64 double click.
int ShiftState(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons, bool doubleClick);

// The shift state of a key, mouse or wheel event: a key event takes the buttons held at the
// time, a double click adds 64.
int ShiftStateOf(const QInputEvent& event);

}  // namespace mw
