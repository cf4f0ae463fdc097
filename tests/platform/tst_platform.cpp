// Platform helpers: message-box flags and answers, file dialog filters, key codes, shift state.
#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

#include "modal.h"
#include "platform/file_filter.h"
#include "platform/message_box.h"
#include "platform/virtual_keys.h"

using namespace mw;
using B = QMessageBox;

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void layout_data() {
        // buttons in order, then the default, the escape button and the icon
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<QList<int>>("expected");
        const auto row = [](const char* name, unsigned flags, QList<int> expected) {
            QTest::newRow(name) << flags << expected;
        };
        row("OK", 0x0, {B::Ok, B::Ok, B::Ok, B::NoIcon});
        row("OK/Cancel, error", 0x11, {B::Ok, B::Cancel, B::Ok, B::Cancel, B::Critical});
        row("Abort/Retry/Ignore, question, third default", 0x222,
            {B::Abort, B::Retry, B::Ignore, B::Ignore, B::NoButton, B::Question});
        row("Yes/No/Cancel, warning, second default", 0x133,
            {B::Yes, B::No, B::Cancel, B::No, B::Cancel, B::Warning});
        row("Yes/No, information", 0x44, {B::Yes, B::No, B::Yes, B::No, B::Information});
        row("Retry/Cancel, second default", 0x105,
            {B::Retry, B::Cancel, B::Cancel, B::Cancel, B::NoIcon});
        row("unknown set is OK", 0x6, {B::Ok, B::Ok, B::Ok, B::NoIcon});
        row("default past the buttons is the first", 0x304, {B::Yes, B::No, B::Yes, B::No, 0});
        row("unknown icon, higher bits ignored", 0x1054, {B::Yes, B::No, B::Yes, B::No, 0});
    }
    void layout() {
        // Catches masks that overlap (icon bits read as buttons) and off-by-one default indexes.
        QFETCH(unsigned, flags);
        QFETCH(QList<int>, expected);
        const MessageBoxLayout l = MessageBoxLayoutFromFlags(flags);
        QList<int> got(l.buttons.begin(), l.buttons.end());
        QCOMPARE(got << l.defaultButton << l.escapeButton << l.icon, expected);
    }

    void ids() {
        // Catches a swapped or missing result id, which scripts compare as plain numbers.
        QList<int> got;
        for (auto b : {B::Ok, B::Cancel, B::Abort, B::Retry, B::Ignore, B::Yes, B::No, B::Save})
            got << MessageBoxIdFromButton(b);
        QCOMPARE(got, QList<int>({1, 2, 3, 4, 5, 6, 7, 0}));
    }

    void shown_data() {
        // steps: "Escape", "Return", "close", "delete owner", "Yes" or "Retry"
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("id");
        QTest::newRow("Yes clicked") << 0x24u << QStringList{"Yes"} << 6;
        QTest::newRow("Escape on Yes/No/Cancel") << 0x3u << QStringList{"Escape"} << 2;
        QTest::newRow("Escape on Yes/No") << 0x4u << QStringList{"Escape"} << 7;
        QTest::newRow("close on OK") << 0x30u << QStringList{"close"} << 1;
        QTest::newRow("Return takes the second default") << 0x103u << QStringList{"Return"} << 7;
        QTest::newRow("Abort/Retry/Ignore stays open")
            << 0x2u << QStringList{"Escape", "close", "Retry"} << 4;
        QTest::newRow("owner deleted") << 0x1u << QStringList{"delete owner"} << 2;
    }
    void shown() {
        // Catches a box that ignores its flags, answers Qt's codes, shows the text as markup,
        // closes where it must not, or is deleted twice when its owner goes away.
        QFETCH(unsigned, flags);
        QFETCH(QStringList, steps);
        QFETCH(int, id);
        QPointer<QWidget> owner = new QWidget;
        owner->show();
        QString seen;
        bool closedEarly = false;
        AnswerNextModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) return w->close(), void();
            seen = box->windowTitle() + '|' + box->text() + '|' +
                   QString::number(box->textFormat() == Qt::PlainText);
            for (const QString& step : steps) {
                closedEarly = closedEarly || !box->isVisible();
                if (step == "Escape" || step == "Return") {
                    QTest::keyClick(box, step == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
                } else if (step == "close") {
                    box->close();
                } else if (step == "delete owner") {
                    delete owner;
                } else if (auto* button = box->button(step == "Yes" ? B::Yes : B::Retry)) {
                    QTest::mouseClick(button, Qt::LeftButton);
                } else {
                    box->done(0);  // a missing button fails the test below instead of hanging
                }
            }
        });
        QCOMPARE(ShowMessageBox(owner, "<b>a</b> & b", "Caption", flags), id);
        QVERIFY(!closedEarly);
        QCOMPARE(seen, QString("Caption|<b>a</b> & b|1"));
        delete owner;
    }

    void filter_data() {
        QTest::addColumn<QString>("windows");
        QTest::addColumn<QString>("qt");
        QTest::newRow("two filters, *.* as *") << "Name|*.a;*.b|All files (*.*)|*.*"
                                               << "Name (*.a *.b);;All files (*.*) (*)";
        QTest::newRow("description ends with the patterns") << "Text (*.txt)|*.txt"
                                                            << "Text (*.txt)";
        QTest::newRow("description ends with the ;-list") << "Pictures (*.png;*.bmp)|*.png;*.bmp"
                                                          << "Pictures (*.png;*.bmp) (*.png *.bmp)";
        QTest::newRow("trailing bar") << "Text|*.txt|"
                                      << "Text (*.txt)";
        QTest::newRow("description without patterns") << "Text|*.txt|Other"
                                                      << "Text (*.txt);;Other (*)";
        QTest::newRow("empty input") << ""
                                     << "All files (*)";
        QTest::newRow("empty patterns") << "Any||Text|*.txt"
                                        << "Any (*);;Text (*.txt)";
        QTest::newRow("spaces around ;") << "Code| *.cpp ; *.h ;"
                                         << "Code (*.cpp *.h)";
    }
    void filter() {
        // Catches ";"-lists or "*.*" left in the group the dialog reads, and malformed input
        // giving empty or shifted filters.
        QFETCH(QString, windows);
        QFETCH(QString, qt);
        QCOMPARE(ToQtFilter(windows), qt);
    }

    void keys_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("mods");
        QTest::addColumn<uint>("native");
        QTest::addColumn<QList<int>>("codes");
        using namespace Qt;
        const auto row = [](const char* name, QList<int> keys, QList<int> codes, int mods = 0,
                            uint native = 0) {
            QTest::newRow(name) << keys << mods << native << codes;
        };
        row("letters, digits, F-keys", {Key_A, Key_Z, Key_0, Key_9, Key_F1, Key_F24},
            {65, 90, 48, 57, 112, 135});
        row("editing and moving",
            {Key_Backspace, Key_Backtab, Key_Return, Key_Escape, Key_Space, Key_PageUp, Key_Down,
             Key_Print, Key_Delete},
            {8, 9, 13, 27, 32, 33, 40, 44, 46});
        row("modifiers and locks",
            {Key_Shift, Key_Control, Key_Alt, Key_Pause, Key_CapsLock, Key_Meta, Key_Menu,
             Key_NumLock, Key_ScrollLock},
            {16, 17, 18, 19, 20, 91, 93, 144, 145});
        row("right Meta by keysym", {Key_Meta}, {92}, 0, 0xffec);
        row("keypad",
            {Key_0, Key_9, Key_Asterisk, Key_Plus, Key_Minus, Key_Period, Key_Slash, Key_Enter,
             Key_Home},
            {96, 105, 106, 107, 109, 110, 111, 13, 36}, KeypadModifier);
        row("US punctuation",
            {Key_Semicolon, Key_Equal, Key_Comma, Key_Minus, Key_Period, Key_Slash, Key_QuoteLeft,
             Key_BracketLeft, Key_Backslash, Key_BracketRight, Key_Apostrophe},
            {186, 187, 188, 189, 190, 191, 192, 219, 220, 221, 222});
        row("shifted US punctuation",
            {Key_Colon, Key_Plus, Key_Less, Key_Underscore, Key_Greater, Key_Question,
             Key_AsciiTilde, Key_BraceLeft, Key_Bar, Key_BraceRight, Key_QuoteDbl},
            {186, 187, 188, 189, 190, 191, 192, 219, 220, 221, 222}, ShiftModifier);
        row("shifted digits",
            {Key_Exclam, Key_At, Key_NumberSign, Key_Dollar, Key_Percent, Key_AsciiCircum,
             Key_Ampersand, Key_Asterisk, Key_ParenLeft, Key_ParenRight},
            {49, 50, 51, 52, 53, 54, 55, 56, 57, 48}, ShiftModifier);
        row("unknown", {Key_Adiaeresis, Key_VolumeUp, Key_unknown}, {0, 0, 0});
    }
    void keys() {
        // Catches wrong or shifted table rows, keypad keys read as the main keyboard's and the
        // reverse, and unknown keys given a code.
        QFETCH(QList<int>, keys);
        QFETCH(int, mods);
        QFETCH(uint, native);
        QFETCH(QList<int>, codes);
        QList<int> got;
        for (int key : keys) got << VirtualKeyFromQt(key, Qt::KeyboardModifiers(mods), native);
        QCOMPARE(got, codes);
    }

    void shift_state_data() {
        QTest::addColumn<int>("mods");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<int>("state");
        QTest::newRow("Meta and keypad ignored")
            << int(Qt::MetaModifier | Qt::KeypadModifier) << 0 << false << 0;
        QTest::newRow("Shift, Ctrl")
            << int(Qt::ShiftModifier | Qt::ControlModifier) << 0 << false << 5;
        QTest::newRow("Alt, right") << int(Qt::AltModifier) << int(Qt::RightButton) << false << 18;
        QTest::newRow("left, middle, double")
            << 0 << int(Qt::LeftButton | Qt::MiddleButton) << true << 104;
    }
    void shift_state() {
        // Catches swapped Alt and Ctrl bits or buttons, which scripts test as numbers.
        QFETCH(int, mods);
        QFETCH(int, buttons);
        QFETCH(bool, doubleClick);
        QFETCH(int, state);
        QCOMPARE(ShiftState(Qt::KeyboardModifiers(mods), Qt::MouseButtons(buttons), doubleClick),
                 state);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
