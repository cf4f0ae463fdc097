#include "editors/tm_color_pick.h"

#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/member_ref.h"
#include "core/value_text.h"
#include "editors/member_edit.h"
#include "editors/row_editor.h"
#include "platform/fixed_layout.h"
#include "shell/settings.h"
#include "vorn/os.h"

namespace {

constexpr int kCustomColors = TColorGrid::kColumns * TColorGrid::kRows;
constexpr uint32_t kWhite = 0xFFFFFF;

using mw::PlaceControl;

QLineEdit* NumberField(QWidget* parent, const char* name, const QRect& geometry) {
    auto* field = PlaceControl(new QLineEdit, parent, name, geometry);
    field->setMaxLength(12);
    return field;
}

// The field's whole number; false while the text is anything else, so the caller leaves the
// colour alone until the text reads again.
bool ReadField(const QLineEdit* field, int* out) {
    int64_t n = 0;
    if (!mw::ReadWholeNumber(field->text().toUtf8().constData(), &n, nullptr) || n < INT32_MIN ||
        n > INT32_MAX)
        return false;
    *out = static_cast<int>(n);
    return true;
}

void SetNumber(QLineEdit* field, int n) { field->setText(QString::number(n)); }

int ToByte(float channel) { return std::clamp(static_cast<int>(channel * 255), 0, 255); }

// Hue 0 to 360 degrees left to right, full saturation at the top to grey at half lightness at
// the bottom.
QImage SpectrumImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const float saturation = 1.0f - static_cast<float>(y) / static_cast<float>(height);
        for (int x = 0; x < width; ++x) {
            const float hue = static_cast<float>(x) * 6.0f / static_cast<float>(width);
            const float part = hue - std::floor(hue);
            const float pure[6][3] = {{1, part, 0},     {1 - part, 1, 0}, {0, 1, part},
                                      {0, 1 - part, 1}, {part, 0, 1},     {1, 0, 1 - part}};
            const float* rgb = pure[std::min(static_cast<int>(hue), 5)];
            auto channel = [&](int k) { return ToByte(0.5f + saturation * (rgb[k] - 0.5f)); };
            image.setPixel(x, y, qRgb(channel(0), channel(1), channel(2)));
        }
    }
    return image;
}

// White at the top to black at the bottom.
QImage ValueImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const int grey = 255 - y * 255 / std::max(1, height - 1);
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(grey, grey, grey));
    }
    return image;
}

}  // namespace

void RgbToHsv(float r, float g, float b, float* h, float* s, float* v) {
    const float max = std::max({r, g, b});
    const float min = std::min({r, g, b});
    const float d = max - min;
    *v = max;
    if (d == 0) {
        *h = 0;
        *s = 0;
    } else if (max == 0) {
        *s = 0;
        *h = -1;
    } else {
        *s = d / max;
        float hue = r == max ? (g - b) / d : g == max ? 2 + (b - r) / d : 4 + (r - g) / d;
        hue *= 60;
        if (hue < 0) hue += 360;
        *h = hue;
    }
}

uint32_t PackColor(const float* rgba) {
    return static_cast<uint32_t>(ToByte(rgba[0])) | static_cast<uint32_t>(ToByte(rgba[1])) << 8 |
           static_cast<uint32_t>(ToByte(rgba[2])) << 16;
}

QColor PackedToQColor(uint32_t packed) {
    return QColor(packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF);
}

TColorPicture::TColorPicture(const QImage& image, QWidget* parent) : QLabel(parent) {
    setPixmap(QPixmap::fromImage(image));
}

void TColorPicture::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Picked(event->pos().x(), event->pos().y());
}

void TColorPicture::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) emit Picked(event->pos().x(), event->pos().y());
}

TColorGrid::TColorGrid(QWidget* parent) : QWidget(parent) {
    mColors.fill(kWhite);
    setFocusPolicy(Qt::StrongFocus);
}

void TColorGrid::SetColorAt(int column, int row, uint32_t packed) {
    mColors[column * kRows + row] = packed & kWhite;
    update();
}

void TColorGrid::SetCurrent(int column, int row) {
    mColumn = std::clamp(column, 0, kColumns - 1);
    mRow = std::clamp(row, 0, kShownRows - 1);
    update();
}

bool TColorGrid::CellAt(const QPoint& point, int* column, int* row) const {
    if (point.x() < 1 || point.y() < 1) return false;
    *column = (point.x() - 1) / kCell;
    *row = (point.y() - 1) / kCell;
    return *column < kColumns && *row < kShownRows;
}

void TColorGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().shadow());
    for (int column = 0; column < kColumns; ++column) {
        for (int row = 0; row < kShownRows; ++row) {
            const QRect cell(1 + column * kCell, 1 + row * kCell, kCell, kCell);
            painter.fillRect(cell.adjusted(1, 1, -1, -1), PackedToQColor(ColorAt(column, row)));
        }
    }
    const QRect current(1 + mColumn * kCell, 1 + mRow * kCell, kCell - 1, kCell - 1);
    painter.setPen(QPen(palette().highlight().color(), 2));
    painter.drawRect(current.adjusted(1, 1, 0, 0));
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlightedText().color(), 1, Qt::DotLine));
        painter.drawRect(current.adjusted(3, 3, -2, -2));
    }
}

void TColorGrid::mousePressEvent(QMouseEvent* event) {
    int column = 0, row = 0;
    if (event->button() == Qt::LeftButton && CellAt(event->pos(), &column, &row))
        SetCurrent(column, row);
}

void TColorGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int column = 0, row = 0;
    if (event->button() != Qt::LeftButton || !CellAt(event->pos(), &column, &row)) return;
    SetCurrent(column, row);
    emit DoubleClicked();
}

void TColorGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            SetCurrent(mColumn - 1, mRow);
            break;
        case Qt::Key_Right:
            SetCurrent(mColumn + 1, mRow);
            break;
        case Qt::Key_Up:
            SetCurrent(mColumn, mRow - 1);
            break;
        case Qt::Key_Down:
            SetCurrent(mColumn, mRow + 1);
            break;
        case Qt::Key_Space:
            emit DoubleClicked();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

TmColorPick::TmColorPick(QWidget* parent)
    : QDialog(parent),
      mColorPanel(PlaceControl(new QFrame, this, "mColorPanel", {0, 0, 366, 318})),
      mClrSpectrum(PlaceControl(new TColorPicture(SpectrumImage(175, 187), nullptr), mColorPanel,
                                "mClrSpectrum", {8, 8, 175, 187})),
      mImage2(PlaceControl(new TColorPicture(ValueImage(10, 187), nullptr), mColorPanel, "Image2",
                           {189, 8, 10, 187})),
      mClrValue(
          PlaceControl(new QSlider(Qt::Vertical), mColorPanel, "mClrValue", {201, 0, 22, 203})),
      mClrH(NumberField(mColorPanel, "mClrH", {48, 210, 42, 22})),
      mClrS(NumberField(mColorPanel, "mClrS", {94, 210, 42, 22})),
      mClrV(NumberField(mColorPanel, "mClrV", {140, 210, 42, 22})),
      mClrR(NumberField(mColorPanel, "mClrR", {48, 240, 42, 22})),
      mClrG(NumberField(mColorPanel, "mClrG", {94, 240, 42, 22})),
      mClrB(NumberField(mColorPanel, "mClrB", {140, 240, 42, 22})),
      mClrA(NumberField(mColorPanel, "mClrA", {48, 270, 42, 22})),
      mClrSample(PlaceControl(new QFrame, mColorPanel, "mClrSample", {230, 8, 52, 187})),
      mClrAlpha(
          PlaceControl(new QSlider(Qt::Horizontal), mColorPanel, "mClrAlpha", {94, 270, 188, 22})),
      mClrSampleNumber(
          PlaceControl(new QLineEdit, mColorPanel, "mClrSampleNumber", {192, 210, 90, 22})),
      mUpdateColor(PlaceControl(new QPushButton("&Update color"), mColorPanel, "mUpdateColor",
                                {192, 239, 90, 24})),
      mColorGrid(PlaceControl(new TColorGrid(nullptr), mColorPanel, "mColorGrid",
                              {290, 8, 2 + TColorGrid::kColumns * TColorGrid::kCell,
                               2 + TColorGrid::kShownRows * TColorGrid::kCell})),
      mOK(PlaceControl(new QPushButton("OK"), this, "mOK", {198, 326, 75, 25})),
      mCancel(PlaceControl(new QPushButton("Cancel"), this, "mCancel", {283, 326, 75, 25})) {
    setObjectName("mColorPick");
    setWindowTitle("Pick a color");
    setFixedSize(366, 360);
    mClrSpectrum->setCursor(Qt::CrossCursor);
    // position 0 (full value) at the top, beside the white end of the scale
    mClrValue->setRange(0, 1000);
    mClrValue->setInvertedAppearance(true);
    mClrValue->setInvertedControls(true);
    mClrValue->setValue(500);
    mClrAlpha->setRange(0, 1000);
    mClrAlpha->setValue(1000);
    mClrSample->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    mClrSample->setAutoFillBackground(true);
    mClrSampleNumber->setReadOnly(true);
    mClrSampleNumber->setFocusPolicy(Qt::ClickFocus);
    const struct {
        const char* name;
        const char* text;
        QLineEdit* buddy;
    } labels[] = {
        {"Label1", "HSV:", mClrH}, {"Label2", "RGB:", mClrR}, {"Label3", "Alpha:", mClrA}};
    for (const auto& label : labels) {
        auto* text = PlaceControl(new QLabel(label.text), mColorPanel, label.name,
                                  {8, label.buddy->y(), 40, label.buddy->height()});
        text->setBuddy(label.buddy);
    }
    mOK->setDefault(true);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QLineEdit* field : {mClrH, mClrS, mClrV})
        connect(field, &QLineEdit::textChanged, this, &TmColorPick::OnHSVChange);
    for (QLineEdit* field : {mClrR, mClrG, mClrB, mClrA})
        connect(field, &QLineEdit::textChanged, this, &TmColorPick::OnRGBChange);
    connect(mClrValue, &QSlider::valueChanged, this, &TmColorPick::mClrValueChange);
    connect(mClrAlpha, &QSlider::valueChanged, this, &TmColorPick::mClrAlphaChange);
    connect(mUpdateColor, &QPushButton::clicked, this, &TmColorPick::mUpdateColorClick);
    connect(mColorGrid, &TColorGrid::DoubleClicked, this, &TmColorPick::mColorGridDblClick);
    connect(mClrSpectrum, &TColorPicture::Picked, this, &TmColorPick::mClrSpectrumPick);
    QWidget* const order[] = {mClrH,     mClrS,     mClrV,      mClrR,        mClrG, mClrB,  mClrA,
                              mClrAlpha, mClrValue, mColorGrid, mUpdateColor, mOK,   mCancel};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
    ShowSample(mSample);
    ReadCustomColors();
}

TmColorPick::~TmColorPick() { WriteCustomColors(); }

void TmColorPick::ReadCustomColors() {
    for (int i = 1; i <= kCustomColors; ++i) {
        const QByteArray key = "color_" + QByteArray::number(i);
        const QByteArray text = mw::ReadSetting(key.constData(), "16777215").toUtf8();
        int64_t packed = 0;
        if (!mw::ReadWholeNumber(text.constData(), &packed, nullptr) || packed < 0 ||
            packed > kWhite)
            packed = kWhite;
        mColorGrid->SetColorAt((i - 1) % TColorGrid::kColumns, (i - 1) / TColorGrid::kColumns,
                               static_cast<uint32_t>(packed));
    }
}

void TmColorPick::WriteCustomColors() const {
    for (int i = 1; i <= kCustomColors; ++i) {
        const QByteArray key = "color_" + QByteArray::number(i);
        const uint32_t packed =
            mColorGrid->ColorAt((i - 1) % TColorGrid::kColumns, (i - 1) / TColorGrid::kColumns);
        mw::WriteSetting(key.constData(), QString::number(packed));
    }
}

void TmColorPick::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    mClrH->setFocus();
    mClrH->selectAll();
}

bool TmColorPick::Run(TMemberEdit& edit) {
    VnRef<IKxColor> color = VnQuery<IKxColor>(mw::MemberObject(edit.Value()));
    if (!color) return false;
    TRgba rgba;
    std::copy_n(color->GetValue(), 4, rgba.begin());
    color.reset();
    mEdit = &edit;
    ShowColor(rgba);
    const bool accepted = edit.Kit().RunModal(*this) == QDialog::Accepted;
    mEdit = nullptr;
    edit.Finish(accepted);
    return accepted;
}

void TmColorPick::WriteColor(const std::function<void(IRoot&, IKxColor&)>& write) {
    if (!mEdit) return;
    mEdit->Write([&write](const mw::MemberValue& value) {
        IRoot* object = mw::MemberObject(value);
        // a script may have put something else into the member meanwhile: nothing is written
        if (VnRef<IKxColor> color = VnQuery<IKxColor>(object, 1)) write(*object, *color.get());
        return true;
    });
}

IKxColor* TmColorPick::Scratch() {
    if (!mScratch) VnOS->CreateInstance(CLSID_KxColor, IID_IKxColor, mScratch.out());
    return mScratch.get();
}

void TmColorPick::ShowColor(const TRgba& rgba) {
    TBusy busy(mBusy);
    ShowRGB(rgba);
    ShowHSV(rgba);
    ShowSample(PackColor(rgba.data()));
}

void TmColorPick::ShowRGB(const TRgba& rgba) {
    TBusy busy(mBusy);
    SetNumber(mClrR, static_cast<int>(rgba[0] * 255));
    SetNumber(mClrG, static_cast<int>(rgba[1] * 255));
    SetNumber(mClrB, static_cast<int>(rgba[2] * 255));
    SetNumber(mClrA, static_cast<int>(rgba[3] * 255));
    mClrAlpha->setValue(static_cast<int>(rgba[3] * 1000));
}

void TmColorPick::ShowHSV(const TRgba& rgba) {
    float h = 0, s = 0, v = 0;
    RgbToHsv(rgba[0], rgba[1], rgba[2], &h, &s, &v);
    {
        TBusy busy(mBusy);
        SetNumber(mClrH, static_cast<int>(h * 255 / 360));
        SetNumber(mClrS, static_cast<int>(s * 255));
        SetNumber(mClrV, static_cast<int>(v * 255));
    }
    mClrValue->setValue(1000 - static_cast<int>(v * 1000));
}

void TmColorPick::ShowSample(uint32_t packed) {
    mSample = packed;
    QPalette palette = mClrSample->palette();
    palette.setColor(QPalette::Window, PackedToQColor(packed));
    mClrSample->setPalette(palette);
    mClrSampleNumber->setText(QString::asprintf("0x%.6X", packed));
}

void TmColorPick::ApplyColor(const TRgba& rgba) {
    WriteColor([&rgba](IRoot&, IKxColor& color) {
        std::copy(rgba.begin(), rgba.end(), color.EditValue());
    });
    ShowSample(PackColor(rgba.data()));
}

void TmColorPick::OnRGBChange() {
    int r = 0, g = 0, b = 0, a = 0;
    if (mBusy || !ReadField(mClrR, &r) || !ReadField(mClrG, &g) || !ReadField(mClrB, &b) ||
        !ReadField(mClrA, &a))
        return;
    TBusy busy(mBusy);
    const TRgba rgba{r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f};
    mClrAlpha->setValue(static_cast<int>(rgba[3] * 1000));
    ApplyColor(rgba);
    ShowHSV(rgba);
}

// The form's own colour turns the HSV fields into RGB; the alpha is the slider's.
void TmColorPick::OnHSVChange() {
    int h = 0, s = 0, v = 0;
    if (mBusy || !ReadField(mClrH, &h) || !ReadField(mClrS, &s) || !ReadField(mClrV, &v)) return;
    TBusy busy(mBusy);
    const float value = v / 255.0f;
    IKxColor* scratch = Scratch();
    if (!scratch) return;
    scratch->SetHSV(h / 255.0f * 360, s / 255.0f, value, -9);
    TRgba rgba;
    std::copy_n(scratch->GetValue(), 4, rgba.begin());
    rgba[3] = static_cast<float>(mClrAlpha->value() * 0.001);
    if (!mValueSliding) mClrValue->setValue(1000 - static_cast<int>(value * 1000));
    ApplyColor(rgba);
    ShowRGB(rgba);
}

void TmColorPick::mClrValueChange() {
    if (mBusy) return;
    mValueSliding = true;
    SetNumber(mClrV, static_cast<int>((1000 - mClrValue->value()) * 0.255));
    mValueSliding = false;
}

void TmColorPick::mClrAlphaChange() {
    if (mBusy) return;
    TBusy busy(mBusy);
    const int position = mClrAlpha->value();
    SetNumber(mClrA, static_cast<int>(position * 0.255));
    WriteColor([position](IRoot& object, IKxColor&) {
        mw::MemberRef alpha;
        if (alpha.Bind("a", &object) && alpha.descriptor()->type == kVnFloat)
            *static_cast<float*>(alpha.address()) = static_cast<float>(position * 0.001);
    });
}

void TmColorPick::mUpdateColorClick() {
    mColorGrid->SetColorAt(mColorGrid->CurrentColumn(), mColorGrid->CurrentRow(), mSample);
}

void TmColorPick::mColorGridDblClick() {
    TBusy busy(mBusy);
    const uint32_t packed = mColorGrid->CurrentColor();
    int a = 0;
    const float alpha = ReadField(mClrA, &a) ? a / 255.0f : mClrAlpha->value() * 0.001f;
    const TRgba rgba{(packed & 0xFF) / 255.0f, ((packed >> 8) & 0xFF) / 255.0f,
                     ((packed >> 16) & 0xFF) / 255.0f, alpha};
    ApplyColor(rgba);
    ShowHSV(rgba);
    ShowRGB(rgba);
}

void TmColorPick::mClrSpectrumPick(int x, int y) {
    const int width = mClrSpectrum->width();
    const int height = mClrSpectrum->height();
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    {
        TBusy busy(mBusy);
        SetNumber(mClrH, x * 255 / width);
        SetNumber(mClrS, 255 - y * 255 / height);
    }
    OnHSVChange();
}
