#include "editors/tm_quat_pick.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "editors/member_edit.h"
#include "editors/row_editor.h"
#include "platform/fixed_layout.h"
#include "vorn/kalix.h"

namespace {

using mw::PlaceControl;

// One row of angle buttons: each moves the row's slider to its position.
struct AngleButton {
    const char* caption;
    int position;
};
constexpr int kButtonsPerRow = 7;
const AngleButton kYawButtons[kButtonsPerRow] = {{"45°", 125},  {"90°", 250},  {"135°", 375},
                                                 {"180°", 500}, {"225°", 625}, {"270°", 750},
                                                 {"315°", 875}};
const AngleButton kPitchButtons[kButtonsPerRow] = {{"-60°", -167}, {"-45°", -125}, {"-30°", -83},
                                                   {"0°", 0},      {"30°", 83},    {"45°", 125},
                                                   {"60°", 167}};
const AngleButton kRollButtons[kButtonsPerRow] = {{"-135°", -375}, {"-90°", -250}, {"-45°", -125},
                                                  {"0°", 0},       {"45°", 125},   {"90°", 250},
                                                  {"135°", 375}};

constexpr int kRowTop = 12;
constexpr int kRowPitch = 34;
constexpr int kButtonsLeft = 434;

// The slider position of `angle` radians: truncated toward zero, kept within the slider's range.
int PositionOf(float angle, const QSlider& slider) {
    const float scaled = angle * TmQuatPick::kScale;
    if (std::isnan(scaled)) return std::clamp(0, slider.minimum(), slider.maximum());
    const float kept = std::clamp(scaled, float(slider.minimum()), float(slider.maximum()));
    return static_cast<int>(kept);
}

// The rotation `value` holds, asked for anew: a script may have replaced it.
VnRef<IKxQuaternion> RotationOf(const mw::MemberValue& value) {
    return VnQuery<IKxQuaternion>(mw::MemberObject(value));
}

}  // namespace

TmQuatPick::TmQuatPick(QWidget* parent)
    : QDialog(parent),
      mYaw(PlaceControl(new QSlider(Qt::Horizontal), this, "mYaw", {56, kRowTop, 366, 25})),
      mPitch(PlaceControl(new QSlider(Qt::Horizontal), this, "mPitch",
                          {56, kRowTop + kRowPitch, 366, 25})),
      mRoll(PlaceControl(new QSlider(Qt::Horizontal), this, "mRoll",
                         {56, kRowTop + 2 * kRowPitch, 366, 25})),
      mOK(PlaceControl(new QPushButton("OK"), this, "mOK", {689, kRowTop, 75, 25})),
      mCancel(PlaceControl(new QPushButton("Cancel"), this, "mCancel",
                           {689, kRowTop + kRowPitch, 75, 25})),
      mReset(PlaceControl(new QPushButton("Reset"), this, "mReset",
                          {689, kRowTop + 2 * kRowPitch, 75, 25})) {
    setObjectName("mQuatPick");
    setWindowTitle("QuatPick");
    setFixedSize(772, 117);
    mYaw->setRange(0, 1000);
    mPitch->setRange(-250, 250);
    mRoll->setRange(-500, 500);

    struct Row {
        QSlider* slider;
        const char* labelName;
        const char* label;
        const AngleButton* buttons;
        void (TmQuatPick::*handler)(int);
    };
    const Row rows[] = {{mYaw, "Label3", "&Yaw:", kYawButtons, &TmQuatPick::TruncYaw},
                        {mPitch, "Label2", "&Pitch:", kPitchButtons, &TmQuatPick::TruncPitch},
                        {mRoll, "Label1", "&Roll:", kRollButtons, &TmQuatPick::TruncRoll}};
    std::vector<QWidget*> order;
    int number = 1;
    for (int r = 0; r < 3; ++r) {
        const Row& row = rows[r];
        const int y = kRowTop + r * kRowPitch;
        auto* label = PlaceControl(new QLabel(row.label), this, row.labelName, {8, y, 44, 25});
        label->setBuddy(row.slider);
        connect(row.slider, &QSlider::valueChanged, this, &TmQuatPick::OnSliding);
        order.push_back(row.slider);
        for (int b = 0; b < kButtonsPerRow; ++b, ++number) {
            const QByteArray name = "Button" + QByteArray::number(number);
            auto* button = PlaceControl(new QPushButton(QString::fromUtf8(row.buttons[b].caption)),
                                        this, name.constData(), {kButtonsLeft + 35 * b, y, 33, 25});
            button->setAutoDefault(false);
            const int position = row.buttons[b].position;
            const auto handler = row.handler;
            connect(button, &QPushButton::clicked, this,
                    [this, handler, position] { (this->*handler)(position); });
            order.push_back(button);
        }
    }
    mOK->setDefault(true);
    mCancel->setAutoDefault(false);
    mReset->setAutoDefault(false);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(mReset, &QPushButton::clicked, this, &TmQuatPick::mResetClick);
    order.insert(order.end(), {mOK, mCancel, mReset});
    for (std::size_t k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
}

bool TmQuatPick::Run(TMemberEdit& edit) {
    float yaw = 0, pitch = 0, roll = 0;
    {
        VnRef<IKxQuaternion> rotation = RotationOf(edit.Value());
        if (!rotation) return false;
        rotation->GetYawPitchRoll(&yaw, &pitch, &roll);
    }
    // the yaw slider runs from 0 to a full turn: a yaw the engine gives as negative is the
    // same turn from 0 up, not 0 (touching another slider would otherwise lose it)
    if (yaw < 0) yaw += 2 * static_cast<float>(M_PI);
    mEdit = &edit;
    ShowAngles(yaw, pitch, roll);
    const bool accepted = edit.Kit().RunModal(*this) == QDialog::Accepted;
    mEdit = nullptr;
    edit.Finish(accepted);
    return accepted;
}

void TmQuatPick::ShowAngles(float yaw, float pitch, float roll) {
    // blocked, so merely showing a rotation never replaces it by its slider-rounded form
    const QSignalBlocker quietYaw(mYaw), quietPitch(mPitch), quietRoll(mRoll);
    mYaw->setValue(PositionOf(yaw, *mYaw));
    mPitch->setValue(PositionOf(pitch, *mPitch));
    mRoll->setValue(PositionOf(roll, *mRoll));
}

void TmQuatPick::OnSliding() {
    if (!mEdit) return;
    const float yaw = float(mYaw->value()) / kScale, pitch = float(mPitch->value()) / kScale,
                roll = float(mRoll->value()) / kScale;
    mEdit->Write([=](const mw::MemberValue& value) {
        if (VnRef<IKxQuaternion> rotation = RotationOf(value))
            rotation->SetYawPitchRoll(yaw, pitch, roll);
        return true;
    });
}

void TmQuatPick::TruncYaw(int position) { mYaw->setValue(position); }

void TmQuatPick::TruncPitch(int position) { mPitch->setValue(position); }

void TmQuatPick::TruncRoll(int position) { mRoll->setValue(position); }

void TmQuatPick::mResetClick() {
    mYaw->setValue(0);
    mPitch->setValue(0);
    mRoll->setValue(0);
}
