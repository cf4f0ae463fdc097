#pragma once

#include <QDialog>

class QLineEdit;
class TMemberEdit;
class QPushButton;
class QSlider;

// "Gimme vector": edits the vector of the member it is handed while it is open, by its three
// numbers or by three sliders over 0 to 1, each moving its own component. Every change goes into
// the member at once; Cancel puts the old value back.
class TmVectorPick : public QDialog {
    Q_OBJECT
public:
    static constexpr double kSliderStep = 0.001;  // one slider position

    explicit TmVectorPick(QWidget* parent = nullptr);
    // Shows the edited member's vector and writes every change into it while the dialog shows;
    // OK keeps the change as one step, anything else puts the old value back. False when the
    // member holds no vector or the dialog was not accepted.
    bool Run(TMemberEdit& edit);
    // Shows x, y and z in the fields without writing anything into the vector.
    void ShowValue(const float* xyz);
    // Puts each slider at its component, kept within the slider's range, without writing.
    void ShowSliders(const float* xyz);
    // A field changed: each field that reads as a number goes into its component.
    void mXChange();
    // Slider `axis` (0 to 2) moved: its component alone goes into the vector.
    void mSlideChange(int axis);

private:
    QLineEdit* mX;
    QLineEdit* mY;
    QLineEdit* mZ;
    QSlider* mSlideX;
    QSlider* mSlideY;
    QSlider* mSlideZ;
    QPushButton* mOK;
    QPushButton* mCancel;
    TMemberEdit* mEdit = nullptr;  // what the dialog writes into while it shows
};
