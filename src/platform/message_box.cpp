#include "platform/message_box.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <algorithm>
#include <iterator>

namespace mw {

namespace {

// A message box that ignores Escape and closing when its buttons offer no way out.
class FlagsMessageBox : public QMessageBox {
public:
    FlagsMessageBox(QWidget* owner, bool dismissable)
        : QMessageBox(owner), mDismissable(dismissable) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!mDismissable && event->matches(QKeySequence::Cancel)) return;
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!mDismissable) return event->ignore();
        QMessageBox::closeEvent(event);
    }

private:
    bool mDismissable;
};

}  // namespace

MessageBoxLayout MessageBoxLayoutFromFlags(unsigned flags) {
    using B = QMessageBox;
    MessageBoxLayout layout;
    switch (flags & 0xF) {
        case 1:
            layout.buttons = {B::Ok, B::Cancel};
            layout.escapeButton = B::Cancel;
            break;
        case 2:  // no Escape or close: one of the three must be chosen
            layout.buttons = {B::Abort, B::Retry, B::Ignore};
            break;
        case 3:
            layout.buttons = {B::Yes, B::No, B::Cancel};
            layout.escapeButton = B::Cancel;
            break;
        case 4:
            layout.buttons = {B::Yes, B::No};
            layout.escapeButton = B::No;
            break;
        case 5:
            layout.buttons = {B::Retry, B::Cancel};
            layout.escapeButton = B::Cancel;
            break;
        default:
            layout.buttons = {B::Ok};
            layout.escapeButton = B::Ok;
            break;
    }
    static constexpr QMessageBox::Icon kIcons[] = {B::NoIcon, B::Critical, B::Question, B::Warning,
                                                   B::Information};
    const unsigned icon = (flags & 0xF0) >> 4;
    if (icon < std::size(kIcons)) layout.icon = kIcons[icon];
    const int defaultIndex = static_cast<int>((flags & 0xF00) >> 8);
    layout.defaultButton = layout.buttons.value(defaultIndex, layout.buttons.first());
    return layout;
}

int MessageBoxIdFromButton(QMessageBox::StandardButton button) {
    // Indexed by id: the button each id stands for.
    static constexpr QMessageBox::StandardButton kButtons[] = {
        QMessageBox::NoButton, QMessageBox::Ok,     QMessageBox::Cancel, QMessageBox::Abort,
        QMessageBox::Retry,    QMessageBox::Ignore, QMessageBox::Yes,    QMessageBox::No};
    const auto* found = std::find(std::begin(kButtons), std::end(kButtons), button);
    return found == std::end(kButtons) ? 0 : static_cast<int>(found - std::begin(kButtons));
}

int MessageBoxClosedId(unsigned flags) {
    const QMessageBox::StandardButton escape = MessageBoxLayoutFromFlags(flags).escapeButton;
    return MessageBoxIdFromButton(escape != QMessageBox::NoButton ? escape : QMessageBox::Abort);
}

int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
    const MessageBoxLayout layout = MessageBoxLayoutFromFlags(flags);
    const bool dismissable = layout.escapeButton != QMessageBox::NoButton;
    // On the heap: an owner closed while the box runs deletes the box with it.
    QPointer<FlagsMessageBox> box = new FlagsMessageBox(owner, dismissable);
    box->setWindowTitle(caption);
    box->setTextFormat(Qt::PlainText);  // script text is never markup
    box->setText(text);
    box->setIcon(layout.icon);
    for (QMessageBox::StandardButton button : layout.buttons) box->addButton(button);
    box->setDefaultButton(layout.defaultButton);
    if (dismissable) box->setEscapeButton(layout.escapeButton);
    box->setWindowFlag(Qt::WindowCloseButtonHint, dismissable);
    box->exec();
    int id = 0;
    if (box) {
        id = MessageBoxIdFromButton(box->standardButton(box->clickedButton()));
        delete box;
    }
    return id ? id : MessageBoxClosedId(flags);
}

}  // namespace mw
