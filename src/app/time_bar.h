#pragma once

#include <QString>
#include <QToolBar>
#include <functional>

#include "vorn/os.h"

class QLineEdit;
class QSlider;
class QToolButton;

// The time bar: the engine clock's speed and loop range follow its fields on every idle pass;
// six buttons play, stop, jump and reverse, a slider scrubs, and a button drives the recorder.
class TTimeBar : public QToolBar {
    Q_OBJECT
public:
    // `reportErrors` shows the runtime's pending error when the recorder cannot be reached.
    TTimeBar(QWidget* parent, std::function<void()> reportErrors);

    enum class TimeAction { Play, Stop, Begin, End, Backward, Forward };
    static constexpr int kLongestWaitMs = 60 * 1000;

    // Takes the engine clock, for the life of the bar, and shows its time and speed.
    void Attach(VnClock* clock);
    // Sets the clock's speed and loop from the fields and the record button from the recorder.
    void SteerClock();
    // True when the last steering changed the record button, so the next pass is due at once.
    bool PassDue() const { return mPassDue; }
    // Milliseconds until the clock leaves the loop, 0 when it has, -1 when nothing is due.
    int NextPassIn() const;
    // Frames per second and the clock's time, for the status bar; a rate of 0 when `idle`, as
    // the runtime's rate still counts the last second's frames.
    QString ClockStatus(bool idle = false) const;
    void OnTimeAction(TimeAction action);
    void mTimeSlideChange(int position);
    void mRecordMovieClick();

    QString SavedSpeed() const { return mSavedSpeed; }

private:
    QWidget* BuildFields();
    QToolBar* BuildButtons(QWidget* parent);
    void BuildRecordButton(QToolBar* buttons);
    void BuildSlider();
    void KeepInLoop(double start, double length);
    void FollowRecorder();
    // Reads a field as a number (C conversion: anything else reads 0).
    static double FieldValue(const QLineEdit* field);
    // The recorder's "record" byte, after its length is set from the bar; null on failure.
    unsigned char* FindRecordFlag();

    std::function<void()> mReportErrors;
    QToolButton* mRecordMovie = nullptr;
    QSlider* mTimeSlide = nullptr;
    QLineEdit* mTimeStart = nullptr;
    QLineEdit* mTimeSpeed = nullptr;
    QLineEdit* mTimeLength = nullptr;
    VnClock* mClock = nullptr;             // the engine clock, once attached
    QString mSavedSpeed;                   // speed text kept by Stop for Play
    unsigned char* mRecordFlag = nullptr;  // the recorder's "record" byte, once known
    bool mRecordGuard = false;             // set while steering moves the record button
    bool mPassDue = false;
};
