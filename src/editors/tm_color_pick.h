#pragma once

#include <QColor>
#include <QDialog>
#include <QLabel>
#include <array>
#include <cstdint>
#include <functional>

#include "vorn/kalix.h"
#include "vorn/ref.h"

class QFrame;
class QLineEdit;
class QPushButton;
class QSlider;
class TMemberEdit;

// R, G, B and alpha, nominally 0 to 1.
using TRgba = std::array<float, 4>;

// Hue in degrees (0 to 360; -1 when the largest channel is 0 and others are below it),
// saturation and value of an RGB colour.
void RgbToHsv(float r, float g, float b, float* h, float* s, float* v);
// The colour as 0x00BBGGRR, each channel times 255 truncated and kept within a byte.
uint32_t PackColor(const float* rgba);
QColor PackedToQColor(uint32_t packed);

// A picture drawn once; reports where the left button presses or drags over it.
class TColorPicture : public QLabel {
    Q_OBJECT
public:
    TColorPicture(const QImage& image, QWidget* parent);

signals:
    void Picked(int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

// The custom colours: 3 columns of 12 packed colours (entry column * 12 + row), of which the
// first 11 rows show. A click or the arrow keys make a cell current; a double click or Space
// asks for its colour.
class TColorGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumns = 3;
    static constexpr int kRows = 12;
    static constexpr int kShownRows = 11;
    static constexpr int kCell = 22;

    explicit TColorGrid(QWidget* parent);
    uint32_t ColorAt(int column, int row) const { return mColors[column * kRows + row]; }
    void SetColorAt(int column, int row, uint32_t packed);
    int CurrentColumn() const { return mColumn; }
    int CurrentRow() const { return mRow; }
    void SetCurrent(int column, int row);
    uint32_t CurrentColor() const { return ColorAt(mColumn, mRow); }

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool CellAt(const QPoint& point, int* column, int* row) const;

    std::array<uint32_t, kColumns * kRows> mColors{};
    int mColumn = 0;
    int mRow = 0;
};

// The colour dialog of the colour rows: a spectrum with a value scale, HSV, RGB and alpha
// fields, a sample and the custom colours. While a colour row edits, every change goes straight
// into its colour; the row puts the colour back on Cancel.
class TmColorPick : public QDialog {
    Q_OBJECT
public:
    explicit TmColorPick(QWidget* parent = nullptr);
    // Stores the custom colours.
    ~TmColorPick() override;

    // Shows the colour the edited member holds and writes every change into it while the
    // dialog shows; OK keeps the change as one step, anything else puts the old colour back.
    // False when the member holds no colour or the dialog was not accepted.
    bool Run(TMemberEdit& edit);
    // Fills every control with `rgba` without writing it anywhere.
    void ShowColor(const TRgba& rgba);
    void ShowRGB(const TRgba& rgba);
    void ShowHSV(const TRgba& rgba);
    void ShowSample(uint32_t packed);
    // Writes `rgba` into the edited colour, if any, and shows it in the sample.
    void ApplyColor(const TRgba& rgba);
    uint32_t SampleColor() const { return mSample; }
    TColorGrid* ColorGrid() const { return mColorGrid; }

    void OnRGBChange();
    void OnHSVChange();
    void mClrValueChange();
    void mClrAlphaChange();
    void mUpdateColorClick();
    void mColorGridDblClick();
    // A press or drag in the spectrum picks hue (across) and saturation (down).
    void mClrSpectrumPick(int x, int y);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Marks the form busy for a scope and restores the state it found, so a fill nested in a
    // handler does not end the handler's own quiet time.
    class TBusy {
    public:
        explicit TBusy(bool& flag) : mFlag(flag), mWas(flag) { mFlag = true; }
        ~TBusy() { mFlag = mWas; }
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;

    private:
        bool& mFlag;
        bool mWas;
    };

    // Writes into the edited colour (the object, and it as a colour) through the edit; nothing
    // while no colour is edited.
    void WriteColor(const std::function<void(IRoot&, IKxColor&)>& write);
    // A colour of the form's own, for HSV conversions while no row is edited.
    IKxColor* Scratch();
    void ReadCustomColors();
    void WriteCustomColors() const;

    QFrame* mColorPanel;
    TColorPicture* mClrSpectrum;
    TColorPicture* mImage2;
    QSlider* mClrValue;
    QLineEdit* mClrH;
    QLineEdit* mClrS;
    QLineEdit* mClrV;
    QLineEdit* mClrR;
    QLineEdit* mClrG;
    QLineEdit* mClrB;
    QLineEdit* mClrA;
    QFrame* mClrSample;
    QSlider* mClrAlpha;
    QLineEdit* mClrSampleNumber;
    QPushButton* mUpdateColor;
    TColorGrid* mColorGrid;
    QPushButton* mOK;
    QPushButton* mCancel;

    bool mBusy = false;
    bool mValueSliding = false;  // mClrV follows the value slider: the slider stays as dragged
    uint32_t mSample = 0x0000FF;
    VnRef<IKxColor> mScratch;
    TMemberEdit* mEdit = nullptr;  // what the dialog writes into while it shows
};
