#include "app/time_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <cmath>
#include <tuple>

#include "app/time_units.h"
#include "vorn/members.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

TTimeBar::TTimeBar(QWidget* parent, std::function<void()> reportErrors)
    : QToolBar("Time", parent), mReportErrors(std::move(reportErrors)) {
    setObjectName("mTimeWarp");
    setMinimumHeight(31);
    addWidget(BuildFields());
    BuildSlider();
    hide();
}

QWidget* TTimeBar::BuildFields() {
    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 0, 2, 0);
    for (auto [label, name, field] : {std::tuple{"Start:", "mTimeStart", &mTimeStart},
                                      {"Speed:", "mTimeSpeed", &mTimeSpeed},
                                      {"Length:", "mTimeLength", &mTimeLength}}) {
        row->addWidget(new QLabel(label, panel));
        *field = new QLineEdit(panel);
        (*field)->setObjectName(name);
        (*field)->setFixedWidth(field == &mTimeStart ? 110 : 48);
        row->addWidget(*field);
    }
    row->addWidget(BuildButtons(panel));
    return panel;
}

QToolBar* TTimeBar::BuildButtons(QWidget* parent) {
    auto* buttons = new QToolBar(parent);
    buttons->setObjectName("ToolBar1");
    struct Entry {
        const char* name;
        const char* tip;
        int image;  // in the time bar's own part of the image list
        TimeAction action;
    };
    const Entry entries[] = {
        {"mTimePlay", "Play", 0, TimeAction::Play},
        {"mTimeStop", "Stop", 2, TimeAction::Stop},
        {"mTimeBegin", "Begin", 4, TimeAction::Begin},
        {"mTimeEnd", "End", 7, TimeAction::End},
        {"mTimeBackward", "Backward", 5, TimeAction::Backward},
        {"mTimeForward", "Forward", 6, TimeAction::Forward},
    };
    for (const Entry& e : entries) {
        auto* b = new QToolButton(buttons);
        b->setObjectName(e.name);
        b->setToolTip(e.tip);
        b->setProperty("image", e.image + 19);
        connect(b, &QToolButton::clicked, this, [this, a = e.action] { OnTimeAction(a); });
        buttons->addWidget(b);
    }
    buttons->addSeparator();
    BuildRecordButton(buttons);
    return buttons;
}

void TTimeBar::BuildRecordButton(QToolBar* buttons) {
    mRecordMovie = new QToolButton(buttons);
    mRecordMovie->setObjectName("mRecordMovie");
    mRecordMovie->setToolTip("Record");
    mRecordMovie->setCheckable(true);
    mRecordMovie->setProperty("image", 27);
    connect(mRecordMovie, &QToolButton::toggled, this, [this] { mRecordMovieClick(); });
    buttons->addWidget(mRecordMovie);
}

void TTimeBar::BuildSlider() {
    mTimeSlide = new QSlider(Qt::Horizontal, this);
    mTimeSlide->setObjectName("mTimeSlide");
    mTimeSlide->setRange(0, 1000);
    mTimeSlide->setTickInterval(50);
    mTimeSlide->setTickPosition(QSlider::TicksBelow);
    mTimeSlide->setValue(133);
    connect(mTimeSlide, &QSlider::valueChanged, this, [this](int p) { mTimeSlideChange(p); });
    addWidget(mTimeSlide);
}

void TTimeBar::Attach(VnClock* clock) {
    mClock = clock;
    mRecordFlag = nullptr;
    mRecordGuard = false;
    mTimeStart->setText(QString::number(mClock->currentTime));
    mTimeSpeed->setText(QString::number(mClock->speed));
    mTimeLength->setText("0.0");
    mSavedSpeed = "1.0";
}

double TTimeBar::FieldValue(const QLineEdit* field) {
    return field ? mw::FieldNumber(field->text()) : 0.0;
}

void TTimeBar::SteerClock() {
    mPassDue = false;
    if (!mClock) return;
    const double start = FieldValue(mTimeStart);
    if (!mRecordMovie->isChecked()) {
        mClock->speed = FieldValue(mTimeSpeed);
        KeepInLoop(start, FieldValue(mTimeLength));
    }
    FollowRecorder();
}

void TTimeBar::KeepInLoop(double start, double length) {
    if (length == 0) return;
    const double elapsed = static_cast<double>(mClock->currentTime) - start;
    if (elapsed > length)
        mClock->currentTime = mw::FieldToTicks(start);
    else if (elapsed < 0)
        mClock->currentTime = mw::FieldToTicks(start + length);
}

void TTimeBar::FollowRecorder() {
    mRecordGuard = true;
    if (mRecordFlag && (*mRecordFlag != 0) != mRecordMovie->isChecked()) {
        mRecordMovie->setChecked(*mRecordFlag != 0);
        mPassDue = true;  // the clock follows the time bar again from the next pass
    }
    mRecordGuard = false;
}

int TTimeBar::NextPassIn() const {
    if (mPassDue) return 0;
    if (!mClock || mRecordMovie->isChecked()) return -1;  // the recorder's frames drive it
    const double start = FieldValue(mTimeStart);
    const double length = FieldValue(mTimeLength);
    const double speed = mClock->speed;
    if (length == 0 || speed == 0 || !std::isfinite(speed)) return -1;
    const double elapsed = static_cast<double>(mClock->currentTime) - start;
    if (elapsed > length || elapsed < 0) return 0;
    // clock ticks until the clock leaves the loop, at its speed, as real milliseconds
    const double ticks = speed > 0 ? length - elapsed : elapsed;
    const double ms = ticks / std::fabs(speed) / 10000.0 + 1;
    return ms < kLongestWaitMs ? static_cast<int>(ms) : kLongestWaitMs;
}

QString TTimeBar::ClockStatus(bool idle) const {
    if (!mClock) return QString();
    return QString::asprintf("FPS %.2f - Time %.1f", idle ? 0.0 : mClock->framesPerSecond,
                             mw::TicksToSeconds(mClock->currentTime));
}

void TTimeBar::OnTimeAction(TimeAction action) {
    const double start = FieldValue(mTimeStart);
    const double speed = FieldValue(mTimeSpeed);
    const double length = FieldValue(mTimeLength);
    switch (action) {
        case TimeAction::Play:
            mTimeSpeed->setText(mSavedSpeed);
            break;
        case TimeAction::Stop:
            mSavedSpeed = mTimeSpeed->text();
            mTimeSpeed->setText("0.0");
            break;
        case TimeAction::Begin:
            if (mClock) mClock->currentTime = mw::FieldToTicks(start);
            break;
        case TimeAction::End:
            if (mClock) mClock->currentTime = mw::FieldToTicks(start + length);
            break;
        case TimeAction::Backward:
            if (speed > 0) mTimeSpeed->setText(QString::asprintf("%.2f", -speed));
            break;
        case TimeAction::Forward:
            if (speed < 0) mTimeSpeed->setText(QString::asprintf("%.2f", -speed));
            break;
    }
}

void TTimeBar::mTimeSlideChange(int position) {
    if (!mClock) return;
    mClock->sliderTime = mw::SecondsToTicks(position * 0.001 * FieldValue(mTimeLength));
}

void TTimeBar::mRecordMovieClick() {
    if (mRecordGuard || !mClock) return;
    unsigned char* flag = FindRecordFlag();
    if (!flag) {
        mReportErrors();
        return;
    }
    mRecordFlag = flag;
    *mRecordFlag = mRecordMovie->isChecked() ? 1 : 0;
    mClock->currentTime = mw::FieldToTicks(FieldValue(mTimeStart));
    mClock->speed = 0;
    VnOS->PostToApp();
}

unsigned char* TTimeBar::FindRecordFlag() {
    VnRef<IRoot> device;
    if (!VnROT->GetObject("kx:/dev", nullptr, IID_IRoot, device.out(), 0)) return nullptr;
    intptr_t adjustment = 0;
    const VnMemberDescriptor* member =
        VnOS->FindMember("recorder", device->GetTypeInfo(), &adjustment);
    if (!member) {
        VnOS->SetError(-1, nullptr, "The device kx:/dev has no member \"recorder\"");
        return nullptr;
    }
    auto* recorder = static_cast<IRoot*>(VnMemberStorage(device.get(), member, adjustment));
    const VnTypeInfo* type = recorder->GetTypeInfo();
    intptr_t recordAdjust = 0, lengthAdjust = 0;
    const VnMemberDescriptor* record = VnOS->FindMember("record", type, &recordAdjust);
    const VnMemberDescriptor* length = VnOS->FindMember("length", type, &lengthAdjust);
    if (!record || !length) {
        VnOS->SetError(-1, nullptr, "The recorder has no \"record\" or \"length\" member");
        return nullptr;
    }
    *static_cast<double*>(VnMemberStorage(recorder, length, lengthAdjust)) =
        FieldValue(mTimeLength);
    return static_cast<unsigned char*>(VnMemberStorage(recorder, record, recordAdjust));
}
