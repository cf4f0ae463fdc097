#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class TMemberEdit;
class QSlider;

// "QuatPick": turns the rotation of the member it is handed by yaw, pitch and roll sliders, each
// with its angle in degrees to read or type, buttons for the round angles and Reset for none. Every
// change goes into the member at once; Cancel puts the old value back.
class TmQuatPick : public QDialog {
    Q_OBJECT
public:
    // Slider positions per radian: 1000 to a full turn.
    static constexpr float kScale = 159.15494f;

    explicit TmQuatPick(QWidget* parent = nullptr);
    // Shows the edited member's rotation and writes every change into it while the dialog
    // shows; OK keeps the change as one step, anything else puts the old value back. False when
    // the member holds no rotation or the dialog was not accepted.
    bool Run(TMemberEdit& edit);
    // Puts the sliders at the angles (radians) without writing anything into the rotation.
    void ShowAngles(float yaw, float pitch, float roll);
    // A slider moved: the three sliders' angles go into the rotation, and the fields show them.
    void OnSliding();
    // An angle typed into row `row`'s field (0 yaw, 1 pitch, 2 roll) moves that row's slider.
    void OnTypedAngle(int row);
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
    QLineEdit* mYawDeg;
    QLineEdit* mPitchDeg;
    QLineEdit* mRollDeg;
    QPushButton* mOK;
    QPushButton* mCancel;
    QPushButton* mReset;
    TMemberEdit* mEdit = nullptr;  // what the dialog writes into while it shows
    int mTypingRow = -1;           // the row whose field is being typed into: left as typed

    // Row `row`'s slider and angle field.
    QSlider* Slider(int row) const;
    QLineEdit* DegreeField(int row) const;
    // Shows `degrees` in row `row`'s field without moving its slider.
    void ShowDegrees(int row, double degrees);
    // Places the rows' controls and the buttons, wide enough for their captions.
    void PlaceRows();
};
