#include "editors/tm_quat_pick.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "core/value_text.h"
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
constexpr int kRowHeight = 25;
constexpr int kSliderLeft = 56;
constexpr int kSliderWidth = 300;
constexpr int kDegreeWidth = 58;
constexpr int kGap = 8;
constexpr int kButtonGap = 2;
constexpr int kSideButtonWidth = 75;

// The slider position of `angle` radians: truncated toward zero, kept within the slider's range.
int PositionOf(float angle, const QSlider& slider) {
    const float scaled = angle * TmQuatPick::kScale;
    if (std::isnan(scaled)) return std::clamp(0, slider.minimum(), slider.maximum());
    const float kept = std::clamp(scaled, float(slider.minimum()), float(slider.maximum()));
    return static_cast<int>(kept);
}

// The nearest slider position of a typed angle, so "45" lands where the 45° button does; a yaw
// is taken as the same turn from 0 up.
int PositionOfDegrees(double degrees, const QSlider& slider, bool wraps) {
    if (wraps) degrees -= 360.0 * std::floor(degrees / 360.0);
    const double scaled = std::round(degrees * TmQuatPick::kScale * M_PI / 180.0);
    return static_cast<int>(std::clamp(scaled, double(slider.minimum()), double(slider.maximum())));
}

double Degrees(double radians) { return radians * 180.0 / M_PI; }

// The width a button needs to show every caption of the angle rows whole.
int AngleButtonWidth(const QWidget& form) {
    const QStyle* style = form.style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &form);
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &form);
    int text = 0;
    for (const AngleButton* row : {kYawButtons, kPitchButtons, kRollButtons})
        for (int b = 0; b < kButtonsPerRow; ++b)
            text = std::max(
                text, form.fontMetrics().horizontalAdvance(QString::fromUtf8(row[b].caption)));
    return text + 2 * frame + margin;
}

QLineEdit* NewDegreeField(const char* name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setAlignment(Qt::AlignRight);
    return field;
}

// The rotation `value` holds, asked for anew: a script may have replaced it.
VnRef<IKxQuaternion> RotationOf(const mw::MemberValue& value) {
    return VnQuery<IKxQuaternion>(mw::MemberObject(value));
}

}  // namespace

TmQuatPick::TmQuatPick(QWidget* parent)
    : QDialog(parent),
      mYaw(new QSlider(Qt::Horizontal)),
      mPitch(new QSlider(Qt::Horizontal)),
      mRoll(new QSlider(Qt::Horizontal)),
      mYawDeg(NewDegreeField("mYawDeg")),
      mPitchDeg(NewDegreeField("mPitchDeg")),
      mRollDeg(NewDegreeField("mRollDeg")),
      mOK(new QPushButton("OK")),
      mCancel(new QPushButton("Cancel")),
      mReset(new QPushButton("Reset")) {
    setObjectName("mQuatPick");
    setWindowTitle("QuatPick");
    mYaw->setRange(0, 1000);
    mPitch->setRange(-250, 250);
    mRoll->setRange(-500, 500);
    PlaceRows();
    mOK->setDefault(true);
    mCancel->setAutoDefault(false);
    mReset->setAutoDefault(false);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(mReset, &QPushButton::clicked, this, &TmQuatPick::mResetClick);
}

void TmQuatPick::PlaceRows() {
    struct Row {
        const char* sliderName;
        const char* labelName;
        const char* label;
        const AngleButton* buttons;
        void (TmQuatPick::*handler)(int);
    };
    const Row rows[] = {{"mYaw", "Label3", "&Yaw:", kYawButtons, &TmQuatPick::TruncYaw},
                        {"mPitch", "Label2", "&Pitch:", kPitchButtons, &TmQuatPick::TruncPitch},
                        {"mRoll", "Label1", "&Roll:", kRollButtons, &TmQuatPick::TruncRoll}};
    const int buttonWidth = AngleButtonWidth(*this);
    const int buttonsLeft = kSliderLeft + kSliderWidth + kGap + kDegreeWidth + kGap;
    const int sideLeft = buttonsLeft + kButtonsPerRow * (buttonWidth + kButtonGap) + kGap;
    std::vector<QWidget*> order;
    int number = 1;
    for (int r = 0; r < 3; ++r) {
        const Row& row = rows[r];
        const int y = kRowTop + r * kRowPitch;
        QSlider* slider = Slider(r);
        QLineEdit* field = DegreeField(r);
        auto* label =
            PlaceControl(new QLabel(row.label), this, row.labelName, {8, y, 44, kRowHeight});
        label->setBuddy(slider);
        PlaceControl(slider, this, row.sliderName, {kSliderLeft, y, kSliderWidth, kRowHeight});
        PlaceControl(field, this, field->objectName().toUtf8().constData(),
                     {kSliderLeft + kSliderWidth + kGap, y, kDegreeWidth, kRowHeight});
        connect(slider, &QSlider::valueChanged, this, &TmQuatPick::OnSliding);
        connect(field, &QLineEdit::textEdited, this, [this, r] { OnTypedAngle(r); });
        // a finished entry shows the angle the slider took (a pitch past 90° stops at 90°)
        connect(field, &QLineEdit::editingFinished, this,
                [this, r] { ShowDegrees(r, Degrees(Slider(r)->value() / kScale)); });
        order.insert(order.end(), {slider, field});
        for (int b = 0; b < kButtonsPerRow; ++b, ++number) {
            const QByteArray name = "Button" + QByteArray::number(number);
            auto* button = PlaceControl(
                new QPushButton(QString::fromUtf8(row.buttons[b].caption)), this, name.constData(),
                {buttonsLeft + (buttonWidth + kButtonGap) * b, y, buttonWidth, kRowHeight});
            button->setAutoDefault(false);
            const int position = row.buttons[b].position;
            const auto handler = row.handler;
            connect(button, &QPushButton::clicked, this,
                    [this, handler, position] { (this->*handler)(position); });
            order.push_back(button);
        }
    }
    const char* const sideNames[] = {"mOK", "mCancel", "mReset"};
    QPushButton* const side[] = {mOK, mCancel, mReset};
    for (int k = 0; k < 3; ++k) {
        PlaceControl(side[k], this, sideNames[k],
                     {sideLeft, kRowTop + k * kRowPitch, kSideButtonWidth, kRowHeight});
        order.push_back(side[k]);
    }
    for (std::size_t k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
    setFixedSize(sideLeft + kSideButtonWidth + kGap, 117);
}

QSlider* TmQuatPick::Slider(int row) const {
    QSlider* const sliders[] = {mYaw, mPitch, mRoll};
    return sliders[row];
}

QLineEdit* TmQuatPick::DegreeField(int row) const {
    QLineEdit* const fields[] = {mYawDeg, mPitchDeg, mRollDeg};
    return fields[row];
}

void TmQuatPick::ShowDegrees(int row, double degrees) {
    if (row == mTypingRow) return;
    // what rounds to 0.0 shows as "0.0", not "-0.0"
    if (std::fabs(degrees) < 0.05) degrees = 0;
    DegreeField(row)->setText(QString::number(degrees, 'f', 1));
}

void TmQuatPick::OnTypedAngle(int row) {
    double degrees = 0;
    const QByteArray text = DegreeField(row)->text().toUtf8();
    // a field that is not a number (yet) leaves its slider where it is
    if (!mw::ReadRealNumber(text.constData(), &degrees, nullptr)) return;
    const QScopedValueRollback<int> typing(mTypingRow, row);
    Slider(row)->setValue(PositionOfDegrees(degrees, *Slider(row), row == 0));
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
    ShowDegrees(0, Degrees(yaw));
    ShowDegrees(1, Degrees(pitch));
    ShowDegrees(2, Degrees(roll));
}

void TmQuatPick::OnSliding() {
    const float yaw = float(mYaw->value()) / kScale, pitch = float(mPitch->value()) / kScale,
                roll = float(mRoll->value()) / kScale;
    ShowDegrees(0, Degrees(yaw));
    ShowDegrees(1, Degrees(pitch));
    ShowDegrees(2, Degrees(roll));
    if (!mEdit) return;
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
