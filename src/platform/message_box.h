#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace mw {

// Answers of a message box, numbered as the scripts compare them.
enum MessageBoxId : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7
};

// Flags of a message box as scripts and stored data give them: a button set, an icon and a
// default button, added together.
enum MessageBoxFlag : unsigned {
    kMbOk = 0,
    kMbOkCancel = 1,
    kMbAbortRetryIgnore = 2,
    kMbYesNoCancel = 3,
    kMbYesNo = 4,
    kMbRetryCancel = 5,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbDefaultButton2 = 0x100,
    kMbDefaultButton3 = 0x200,
};

// What a set of message-box flags asks for.
struct MessageBoxLayout {
    QList<QMessageBox::StandardButton> buttons;  // in the order the flags number them
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // Pressed by Escape or the close button; NoButton when the box cannot be dismissed.
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

// Button set (low 4 bits, unknown sets give OK), icon (0xF0) and default button (0xF00).
MessageBoxLayout MessageBoxLayoutFromFlags(unsigned flags);

// The id a button answers with; 0 for buttons the flags never make.
int MessageBoxIdFromButton(QMessageBox::StandardButton button);

// The id a box laid out by `flags` answers when it ends without a choice: its escape button's,
// or Abort's when it offers no way out.
int MessageBoxClosedId(unsigned flags);

// Shows a modal box laid out by `flags` and answers the id of the button chosen. `text` is
// shown as plain text; `owner` may be null.
int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);

}  // namespace mw
