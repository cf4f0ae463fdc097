#include "editors/tm_vector_pick.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "core/value_text.h"
#include "editors/form_tools.h"
#include "editors/member_edit.h"
#include "editors/row_editor.h"
#include "platform/fixed_layout.h"
#include "vorn/kalix.h"

namespace {

using mw::PlaceControl;

QSlider* NewSlider(QWidget* form, const char* name, int y) {
    auto* slider = PlaceControl(new QSlider(Qt::Horizontal), form, name, {181, y, 193, 21});
    slider->setRange(0, 1000);
    slider->setValue(0);
    return slider;
}

// The slider position nearest `v`, kept within the slider's range (NaN: its lowest).
int SliderPosition(float v, const QSlider& slider) {
    const double position =
        std::isnan(v) ? slider.minimum() : std::round(v / TmVectorPick::kSliderStep);
    return static_cast<int>(
        std::clamp(position, double(slider.minimum()), double(slider.maximum())));
}

// The vector `value` holds, asked for anew: a script may have replaced it.
VnRef<IKxVector> VectorOf(const mw::MemberValue& value) {
    return VnQuery<IKxVector>(mw::MemberObject(value));
}

// Writes `xyz` into the vector the edited member holds, and announces it.
void WriteVector(TMemberEdit& edit, const float* xyz) {
    edit.Write([xyz](const mw::MemberValue& value) {
        if (VnRef<IKxVector> vector = VectorOf(value))
            std::memcpy(vector->EditValue(), xyz, 3 * sizeof(float));
        return true;
    });
}

// The field's number as a float; false when it does not read as one a float holds.
bool FieldNumber(const QLineEdit* field, float* out) {
    double v = 0;
    if (!mw::ReadRealNumber(field->text().toUtf8().constData(), &v, nullptr) ||
        std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    *out = static_cast<float>(v);
    return true;
}

}  // namespace

TmVectorPick::TmVectorPick(QWidget* parent)
    : QDialog(parent),
      mX(PlaceControl(new QLineEdit, this, "mX", {48, 16, 121, 21})),
      mY(PlaceControl(new QLineEdit, this, "mY", {48, 46, 121, 21})),
      mZ(PlaceControl(new QLineEdit, this, "mZ", {48, 76, 121, 21})),
      mSlideX(NewSlider(this, "mSlideX", 16)),
      mSlideY(NewSlider(this, "mSlideY", 46)),
      mSlideZ(NewSlider(this, "mSlideZ", 76)),
      mOK(PlaceControl(new QPushButton("OK"), this, "mOK", {216, 113, 75, 25})),
      mCancel(PlaceControl(new QPushButton("Cancel"), this, "mCancel", {299, 113, 75, 25})) {
    setObjectName("mVectorPick");
    setWindowTitle("Gimme vector");
    setFixedSize(398, 154);
    const char* const labels[][2] = {{"Label1", "X:"}, {"Label2", "Y:"}, {"Label3", "Z:"}};
    QLineEdit* const fields[] = {mX, mY, mZ};
    for (int k = 0; k < 3; ++k) {
        auto* label =
            PlaceControl(new QLabel(labels[k][1]), this, labels[k][0], {24, 16 + 30 * k, 20, 21});
        label->setBuddy(fields[k]);
        connect(fields[k], &QLineEdit::textChanged, this, &TmVectorPick::mXChange);
    }
    const QSlider* const sliders[] = {mSlideX, mSlideY, mSlideZ};
    for (int k = 0; k < 3; ++k)
        connect(sliders[k], &QSlider::valueChanged, this, [this, k] { mSlideChange(k); });
    mOK->setDefault(true);
    mCancel->setAutoDefault(false);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    QWidget* const order[] = {mX, mY, mZ, mSlideX, mSlideY, mSlideZ, mOK, mCancel};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
}

bool TmVectorPick::Run(TMemberEdit& edit) {
    float xyz[3];
    {
        VnRef<IKxVector> vector = VectorOf(edit.Value());
        if (!vector) return false;
        std::memcpy(xyz, vector->GetValue(), sizeof xyz);
    }
    mEdit = &edit;
    ShowValue(xyz);
    ShowSliders(xyz);
    const bool accepted = edit.Kit().RunModal(*this) == QDialog::Accepted;
    mEdit = nullptr;
    edit.Finish(accepted);
    return accepted;
}

void TmVectorPick::ShowValue(const float* xyz) {
    QLineEdit* const fields[] = {mX, mY, mZ};
    for (int k = 0; k < 3; ++k) {
        // blocked, so no field is read back while the others still show the old value
        const QSignalBlocker quiet(fields[k]);
        fields[k]->setText(QString::fromStdString(ThreeDecimals(xyz[k])));
    }
}

void TmVectorPick::ShowSliders(const float* xyz) {
    QSlider* const sliders[] = {mSlideX, mSlideY, mSlideZ};
    for (int k = 0; k < 3; ++k) {
        // blocked, so placing a slider never writes its rounded position into the vector
        const QSignalBlocker quiet(sliders[k]);
        sliders[k]->setValue(SliderPosition(xyz[k], *sliders[k]));
    }
}

void TmVectorPick::mXChange() {
    VnRef<IKxVector> vector = mEdit ? VectorOf(mEdit->Value()) : VnRef<IKxVector>();
    if (!vector) return;
    float xyz[3];
    std::memcpy(xyz, vector->GetValue(), sizeof xyz);
    const QLineEdit* const fields[] = {mX, mY, mZ};
    // a field that is not a number (yet) leaves its component as it is
    for (int k = 0; k < 3; ++k) FieldNumber(fields[k], &xyz[k]);
    if (std::memcmp(xyz, vector->GetValue(), sizeof xyz) == 0) return;
    vector.reset();
    WriteVector(*mEdit, xyz);
    ShowSliders(xyz);
}

void TmVectorPick::mSlideChange(int axis) {
    VnRef<IKxVector> vector = mEdit ? VectorOf(mEdit->Value()) : VnRef<IKxVector>();
    if (!vector) return;
    float xyz[3];
    std::memcpy(xyz, vector->GetValue(), sizeof xyz);
    const QSlider* const sliders[] = {mSlideX, mSlideY, mSlideZ};
    xyz[axis] = static_cast<float>(sliders[axis]->value() * kSliderStep);
    vector.reset();
    WriteVector(*mEdit, xyz);
    ShowValue(xyz);
}
