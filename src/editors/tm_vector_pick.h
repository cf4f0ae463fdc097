#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QSlider;

// "Gimme vector": edits the current editor's vector while it is open, by its three numbers or
// by three sliders over 0 to 1. Every change goes into the member at once; the editor that runs
// the form puts the old value back on Cancel.
class TmVectorPick : public QDialog {
    Q_OBJECT
public:
    static constexpr double kSliderStep = 0.001;  // one slider position

    explicit TmVectorPick(QWidget* parent = nullptr);
    // Shows x, y and z in the fields without writing anything into the vector.
    void ShowValue(const float* xyz);
    // A field changed: each field that reads as a number goes into its component.
    void mXChange();
    // A slider moved: the three sliders go into the vector and the fields show it.
    void mSlideXChange();

private:
    QLineEdit* mX;
    QLineEdit* mY;
    QLineEdit* mZ;
    QSlider* mSlideX;
    QSlider* mSlideY;
    QSlider* mSlideZ;
    QPushButton* mOK;
    QPushButton* mCancel;
};
