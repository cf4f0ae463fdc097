#pragma once

#include <QDialog>

class QPushButton;
class QSlider;

// "QuatPick": turns the current editor's rotation by yaw, pitch and roll sliders, with buttons
// for the round angles and Reset for none. Every change goes into the member at once; the editor
// that runs the form puts the old value back on Cancel.
class TmQuatPick : public QDialog {
    Q_OBJECT
public:
    // Slider positions per radian: 1000 to a full turn.
    static constexpr float kScale = 159.15494f;

    explicit TmQuatPick(QWidget* parent = nullptr);
    // Puts the sliders at the angles (radians) without writing anything into the rotation.
    void ShowAngles(float yaw, float pitch, float roll);
    // A slider moved: the three sliders' angles go into the rotation.
    void OnSliding();
    // An angle button: its row's slider goes to the button's position.
    void TruncYaw(int position);
    void TruncPitch(int position);
    void TruncRoll(int position);
    // Yaw, pitch and roll to 0, in that order.
    void mResetClick();

private:
    QSlider* mYaw;
    QSlider* mPitch;
    QSlider* mRoll;
    QPushButton* mOK;
    QPushButton* mCancel;
    QPushButton* mReset;
};
