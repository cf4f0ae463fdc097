// The vector and rotation rows on live engine values: their texts, and what opening their forms,
// the fields, sliders and buttons, OK and Cancel leave in the member.
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "core/member_value.h"
#include "editors/quat_row_editor.h"
#include "editors/tm_quat_pick.h"
#include "editors/tm_vector_pick.h"
#include "editors/vector_row_editor.h"
#include "fake_shell.h"
#include "modal.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "test_env.h"
#include "vorn/kalix.h"
#include "vorn/os.h"

namespace {

using Vector = std::array<float, 3>;
using Quat = std::array<float, 4>;
using Positions = std::array<int, 3>;  // yaw, pitch and roll slider positions

VnRef<IRoot> NewObject(const char* name) {
    VnRef<IRoot> object;
    if (!VnOS->CreateInstance(VnMakeCLSID("kalix", name, -1), IID_IRoot, object.out()))
        object.reset();
    return object;
}

mw::MemberValue Member(IRoot* object, const char* name) {
    mw::MemberValue found;
    mw::ForEachMember(object, [&](const mw::MemberValue& value, const VnTypeInfo*) {
        if (std::strcmp(value.desc->name, name) != 0) return true;
        found = value;
        return false;
    });
    return found;
}

// The stored floats, for comparing bit for bit.
template <std::size_t N, class Value>
std::array<float, N> Stored(Value& value) {
    std::array<float, N> floats;
    std::memcpy(floats.data(), value->GetValue(), sizeof floats);
    return floats;
}

template <std::size_t N>
bool SameBits(const std::array<float, N>& a, const std::array<float, N>& b) {
    return std::memcmp(a.data(), b.data(), sizeof a) == 0;
}

// What SetYawPitchRoll stores for these slider positions.
Quat RotationAt(int yaw, int pitch, int roll) {
    VnRef<IRoot> object = NewObject("KxQuaternion");
    VnRef<IKxQuaternion> rotation = VnQuery<IKxQuaternion>(object.get());
    const float k = TmQuatPick::kScale;
    rotation->SetYawPitchRoll(float(yaw) / k, float(pitch) / k, float(roll) / k);
    return Stored<4>(rotation);
}

}  // namespace

class TestVectorQuat : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    FakeShell mShell;
    FakeOutput mOutput;
    std::unique_ptr<TEditorKit> mKit;
    std::unique_ptr<TmVectorPick> mVectorPick;
    std::unique_ptr<TmQuatPick> mQuatPick;
    VnRef<IRoot> mLight;
    VnRef<IRoot> mTransform;
    std::unique_ptr<TRowEditor> mVectorRow;  // the light's "position"
    std::unique_ptr<TRowEditor> mQuatRow;    // the transform's "rotation"
    VnRef<IKxVector> mVector;
    VnRef<IKxQuaternion> mRotation;

    template <class T>
    static T* child(QWidget* form, const char* name) {
        T* found = form->findChild<T*>(name);
        if (!found) qWarning("no %s", name);
        return found;
    }
    // Opens the row's form, runs `act` on it while it is open and closes it with `button`.
    static void edit(TRowEditor& row, const std::function<void(QWidget*)>& act,
                     const char* button) {
        AnswerNextModal([&](QWidget* form) {
            act(form);
            child<QPushButton>(form, button)->click();
        });
        row.BeginEdit();
    }
    void setVector(const Vector& xyz) { std::memcpy(mVector->EditValue(), xyz.data(), 12); }
    Vector vector() { return Stored<3>(mVector); }
    Quat rotation() { return Stored<4>(mRotation); }

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        mLight = NewObject("KxLight");
        mTransform = NewObject("KxTransform");
        QVERIFY(mLight && mTransform);
    }

    // Fresh forms each time: the vector sliders keep their places from one opening to the next.
    void init() {
        mKit = std::make_unique<TEditorKit>(mShell, mOutput);
        mVectorPick = std::make_unique<TmVectorPick>();
        mQuatPick = std::make_unique<TmQuatPick>();
        mKit->AddForm(mVectorPick.get());
        mKit->AddForm(mQuatPick.get());
        const mw::MemberValue position = Member(mLight.get(), "position");
        const mw::MemberValue turn = Member(mTransform.get(), "rotation");
        mVectorRow = CreateRowEditor(position, *mKit);
        mQuatRow = CreateRowEditor(turn, *mKit);
        QVERIFY(dynamic_cast<TVectorRowEditor*>(mVectorRow.get()));
        QVERIFY(dynamic_cast<TQuatRowEditor*>(mQuatRow.get()));
        mVector = VnQuery<IKxVector>(mw::MemberObject(position));
        mRotation = VnQuery<IKxQuaternion>(mw::MemberObject(turn));
        QVERIFY(mVector && mRotation);
    }
    void cleanup() {
        mVectorRow.reset();
        mQuatRow.reset();
        mVectorPick.reset();
        mQuatPick.reset();
        mKit.reset();
    }

    // Catches the fields or sliders being filled one by one, each writing a mixture of new and
    // old values, sliders left at 0 or where an earlier edit put them instead of at their
    // components (kept within 0 to 1), and OK rounding the value to the three decimals shown:
    // untouched, it stays as it was.
    void vectorOpensWithoutWriting() {
        const Vector before{0.12345f, -2, 7};
        setVector(before);
        char text[TRowEditor::kTextSize];
        QCOMPARE(mVectorRow->GetText(text, sizeof text), "0.123, -2.000, 7.000");
        child<QLineEdit>(mVectorPick.get(), "mY")->setText("7");      // left from an earlier edit
        child<QSlider>(mVectorPick.get(), "mSlideY")->setValue(700);  // and so is this
        QStringList shown;
        std::array<int, 3> positions{};
        bool untouched = false;
        edit(
            *mVectorRow,
            [&](QWidget* form) {
                for (const char* name : {"mX", "mY", "mZ"})
                    shown << child<QLineEdit>(form, name)->text();
                positions = {child<QSlider>(form, "mSlideX")->value(),
                             child<QSlider>(form, "mSlideY")->value(),
                             child<QSlider>(form, "mSlideZ")->value()};
                untouched = SameBits(vector(), before);
            },
            "mOK");
        QCOMPARE(shown, QStringList({"0.123", "-2.000", "7.000"}));
        QCOMPARE(positions, (std::array<int, 3>{123, 0, 1000}));
        QVERIFY(untouched);
        QVERIFY(SameBits(vector(), before));
    }

    void vectorFields_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Vector>("expected");
        QTest::newRow("number") << "mY"
                                << " -0.25 " << Vector{1, -0.25f, 3};
        QTest::newRow("not a number") << "mX"
                                      << "abc" << Vector{1, 2, 3};
        QTest::newRow("empty") << "mZ"
                               << "" << Vector{1, 2, 3};
        QTest::newRow("decimal comma") << "mX"
                                       << "1,5" << Vector{1, 2, 3};
        QTest::newRow("too large for a float") << "mY"
                                               << "1e39" << Vector{1, 2, 3};
    }
    // Catches a text that is not a number writing 0, and the number written when it reads again.
    void vectorFields() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(Vector, expected);
        setVector({1, 2, 3});
        Vector live{};
        Vector after{};
        edit(
            *mVectorRow,
            [&](QWidget* form) {
                auto* edit = child<QLineEdit>(form, field.toUtf8().constData());
                edit->setText(text);
                live = vector();
                edit->setText("4.5");
                after = vector();
            },
            "mOK");
        QCOMPARE(live, expected);
        Vector typed{1, 2, 3};
        typed[field.back().unicode() - 'X'] = 4.5f;
        QCOMPARE(after, typed);
    }

    // Catches a slider that writes the other sliders' positions into their components (a
    // crate's X and Y lost when only Z moved), and Cancel not giving back the old bits, -0
    // included.
    void vectorSliderAndCancel() {
        const Vector before{1.23456f, -0.0f, 3};
        setVector(before);
        Vector live{};
        Vector both{};
        QStringList shown;
        edit(
            *mVectorRow,
            [&](QWidget* form) {
                child<QSlider>(form, "mSlideY")->setValue(500);
                live = vector();
                for (const char* name : {"mX", "mY", "mZ"})
                    shown << child<QLineEdit>(form, name)->text();
                child<QSlider>(form, "mSlideZ")->setValue(250);
                both = vector();
            },
            "mCancel");
        QCOMPARE(live, (Vector{1.23456f, 0.5f, 3}));
        QCOMPARE(both, (Vector{1.23456f, 0.5f, 0.25f}));
        QCOMPARE(shown, QStringList({"1.235", "0.500", "3.000"}));
        QVERIFY(SameBits(vector(), before));
    }

    void quatText() {
        const Quat xyzw{0.1f, -0.2f, 0.3f, 0.9f};
        std::memcpy(mRotation->EditValue(), xyzw.data(), sizeof xyzw);
        char text[TRowEditor::kTextSize];
        QCOMPARE(mQuatRow->GetText(text, sizeof text), "(0.100, -0.200, 0.300) 0.900");
    }

    // Catches the sliders' first placing writing the rotation (it was rounded to the sliders'
    // steps), and a negative yaw shown at 0 instead of the same turn from 0 up.
    void quatOpensWithoutWriting() {
        mRotation->SetYawPitchRoll(-0.7f, 0.3f, 0.2f);
        const Quat before = rotation();
        std::array<int, 3> positions{};
        edit(
            *mQuatRow,
            [&](QWidget* form) {
                positions = {child<QSlider>(form, "mYaw")->value(),
                             child<QSlider>(form, "mPitch")->value(),
                             child<QSlider>(form, "mRoll")->value()};
            },
            "mOK");
        const float turn = 2 * static_cast<float>(M_PI);
        QCOMPARE(positions, (std::array<int, 3>{int((turn - 0.7f) * TmQuatPick::kScale),
                                                int(0.3f * TmQuatPick::kScale),
                                                int(0.2f * TmQuatPick::kScale)}));
        QVERIFY(SameBits(rotation(), before));
    }

    void quatButtons_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("slider");
        QTest::addColumn<int>("position");
        QTest::newRow("yaw 90") << "Button2"
                                << "90°"
                                << "mYaw" << 250;
        QTest::newRow("yaw 315") << "Button7"
                                 << "315°"
                                 << "mYaw" << 875;
        QTest::newRow("pitch -60") << "Button8"
                                   << "-60°"
                                   << "mPitch" << -167;
        QTest::newRow("pitch 30") << "Button12"
                                  << "30°"
                                  << "mPitch" << 83;
        QTest::newRow("roll -135") << "Button15"
                                   << "-135°"
                                   << "mRoll" << -375;
        QTest::newRow("roll 135") << "Button21"
                                  << "135°"
                                  << "mRoll" << 375;
    }
    // Each button moves its own row's slider, which sends the three slider angles; Reset turns
    // the rotation back to none.
    void quatButtons() {
        QFETCH(QString, button);
        QFETCH(QString, caption);
        QFETCH(QString, slider);
        QFETCH(int, position);
        mRotation->SetYawPitchRoll(0, 0, 0);
        QString text;
        std::array<int, 3> positions{};
        Quat live{};
        Quat reset{};
        edit(
            *mQuatRow,
            [&](QWidget* form) {
                auto* pressed = child<QPushButton>(form, button.toUtf8().constData());
                text = pressed->text();
                pressed->click();
                positions = {child<QSlider>(form, "mYaw")->value(),
                             child<QSlider>(form, "mPitch")->value(),
                             child<QSlider>(form, "mRoll")->value()};
                live = rotation();
                child<QPushButton>(form, "mReset")->click();
                reset = rotation();
            },
            "mOK");
        QCOMPARE(text, caption);
        const int row = slider == "mYaw" ? 0 : slider == "mPitch" ? 1 : 2;
        std::array<int, 3> expected{};
        expected[row] = position;
        QCOMPARE(positions, expected);
        QVERIFY(SameBits(live, RotationAt(expected[0], expected[1], expected[2])));
        QVERIFY(SameBits(reset, RotationAt(0, 0, 0)));
    }

    void quatDegrees_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Positions>("positions");
        QTest::newRow("roll 45, as its button") << "mRollDeg"
                                                << "45" << Positions{0, 0, 125};
        QTest::newRow("yaw below 0: the same turn") << "mYawDeg"
                                                    << "-90" << Positions{750, 0, 0};
        QTest::newRow("pitch past its stop") << "mPitchDeg"
                                             << "100" << Positions{0, 250, 0};
        QTest::newRow("not a number") << "mPitchDeg"
                                      << "x4" << Positions{0, 0, 0};
    }
    // Catches angles not shown in degrees on opening, a typed angle that does not move its
    // slider or write the rotation as the slider would, the field rewritten under the typing,
    // and a moved slider whose field keeps the old angle.
    void quatDegrees() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(Positions, positions);
        mRotation->SetYawPitchRoll(0, 0, float(M_PI / 6));
        QStringList opened;
        Positions typed{};
        QString kept, slid;
        Quat live{};
        edit(
            *mQuatRow,
            [&](QWidget* form) {
                for (const char* name : {"mYawDeg", "mPitchDeg", "mRollDeg"})
                    opened << child<QLineEdit>(form, name)->text();
                child<QPushButton>(form, "mReset")->click();
                auto* angle = child<QLineEdit>(form, field.toUtf8().constData());
                angle->selectAll();
                QTest::keyClicks(angle, text);
                typed = {child<QSlider>(form, "mYaw")->value(),
                         child<QSlider>(form, "mPitch")->value(),
                         child<QSlider>(form, "mRoll")->value()};
                live = rotation();
                kept = angle->text();
                child<QSlider>(form, "mYaw")->setValue(250);
                slid = child<QLineEdit>(form, "mYawDeg")->text();
            },
            "mCancel");
        QCOMPARE(opened, QStringList({"0.0", "0.0", "30.0"}));
        QCOMPARE(typed, positions);
        QVERIFY(SameBits(live, RotationAt(positions[0], positions[1], positions[2])));
        QCOMPARE(kept, text);
        QCOMPARE(slid, QString("90.0"));
    }

    // Catches angle buttons too narrow for their captions ("-135°" was cut off), and buttons
    // pushed out of the dialog or onto each other by the widening.
    void quatButtonsShowWhole() {
        const QList<QPushButton*> buttons = mQuatPick->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 3 * 7 + 3);
        for (QPushButton* button : buttons) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const int needed = button->fontMetrics().horizontalAdvance(button->text());
            QVERIFY2(needed <= room.width(),
                     qPrintable(
                         QString("%1: %2 > %3").arg(button->text()).arg(needed).arg(room.width())));
            QVERIFY(mQuatPick->rect().contains(button->geometry()));
            for (QPushButton* other : buttons)
                QVERIFY(other == button || !other->geometry().intersects(button->geometry()));
        }
    }

    // Catches Cancel that leaves the last slider angles or writes a re-made rotation.
    void quatCancel() {
        const Quat before{0.1f, 0.2f, -0.3f, 0.4f};  // not even of unit length
        std::memcpy(mRotation->EditValue(), before.data(), sizeof before);
        bool moved = false;
        edit(
            *mQuatRow,
            [&](QWidget* form) {
                child<QSlider>(form, "mYaw")->setValue(100);
                child<QSlider>(form, "mPitch")->setValue(-50);
                child<QPushButton>(form, "Button19")->click();
                moved = SameBits(rotation(), RotationAt(100, -50, 125));
            },
            "mCancel");
        QVERIFY(moved);
        QVERIFY(SameBits(rotation(), before));
    }

    void quatRoundTrip_data() {
        QTest::addColumn<int>("yaw");
        QTest::addColumn<int>("pitch");
        QTest::addColumn<int>("roll");
        // 247 steps are 88.9 degrees
        QTest::newRow("up") << 125 << 247 << -300;
        QTest::newRow("down") << 400 << -247 << 450;
        QTest::newRow("up, turned") << 37 << 247 << 0;
        QTest::newRow("down, rolled") << 0 << -247 << -123;
        QTest::newRow("past half a turn") << 750 << 40 << 0;  // the engine says -90 degrees
    }
    // What the sliders wrote, read back through the engine, puts them where they were.
    void quatRoundTrip() {
        QFETCH(int, yaw);
        QFETCH(int, pitch);
        QFETCH(int, roll);
        edit(
            *mQuatRow,
            [&](QWidget* form) {
                child<QSlider>(form, "mYaw")->setValue(yaw);
                child<QSlider>(form, "mPitch")->setValue(pitch);
                child<QSlider>(form, "mRoll")->setValue(roll);
            },
            "mOK");
        std::array<int, 3> back{};
        edit(
            *mQuatRow,
            [&](QWidget* form) {
                back = {child<QSlider>(form, "mYaw")->value(),
                        child<QSlider>(form, "mPitch")->value(),
                        child<QSlider>(form, "mRoll")->value()};
            },
            "mCancel");
        QVERIFY2(std::abs(back[0] - yaw) <= 1 && std::abs(back[1] - pitch) <= 1 &&
                     std::abs(back[2] - roll) <= 1,
                 qPrintable(QString("%1 %2 %3").arg(back[0]).arg(back[1]).arg(back[2])));
    }
};

QTEST_MAIN(TestVectorQuat)
#include "tst_vector_quat.moc"
