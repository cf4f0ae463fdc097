// The time bar: the engine clock's speed and loop range follow its fields on every idle pass;
// six buttons play, stop, jump and reverse, a slider scrubs, and a button drives the recorder.
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "app/time_units.h"
#include "app/tm_main.h"
#include "script/script_host.h"
#include "vorn/members.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

void TmMain::BuildTimeBar() {
    mTimeWarp = addToolBar("Time");
    mTimeWarp->setObjectName("mTimeWarp");
    mTimeWarp->setMinimumHeight(31);
    auto* panel = new QWidget(mTimeWarp);
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
    auto* buttons = new QToolBar(panel);
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
    mRecordMovie = new QToolButton(buttons);
    mRecordMovie->setObjectName("mRecordMovie");
    mRecordMovie->setToolTip("Record");
    mRecordMovie->setCheckable(true);
    mRecordMovie->setProperty("image", 27);
    connect(mRecordMovie, &QToolButton::toggled, this, [this] { mRecordMovieClick(); });
    buttons->addWidget(mRecordMovie);
    row->addWidget(buttons);
    mTimeWarp->addWidget(panel);
    mTimeSlide = new QSlider(Qt::Horizontal, mTimeWarp);
    mTimeSlide->setObjectName("mTimeSlide");
    mTimeSlide->setRange(0, 1000);
    mTimeSlide->setTickInterval(50);
    mTimeSlide->setTickPosition(QSlider::TicksBelow);
    mTimeSlide->setValue(133);
    connect(mTimeSlide, &QSlider::valueChanged, this, [this](int p) { mTimeSlideChange(p); });
    mTimeWarp->addWidget(mTimeSlide);
    mTimeWarp->hide();
}

double TmMain::FieldValue(const QLineEdit* field) {
    return field ? mw::FieldNumber(field->text()) : 0.0;
}

void TmMain::RunIdlePass() {
    if (!mClock || mIdleDepth > 2) return;
    ++mIdleDepth;  // a script started by the pump may open a dialog whose loop idles too
    mPassDue = false;
    VnOS->Pump();
    if (VnOS->HasError(0) && mHost) mHost->RefreshErrors();
    double start = FieldValue(mTimeStart);
    double speed = FieldValue(mTimeSpeed);
    double length = FieldValue(mTimeLength);
    double elapsed = static_cast<double>(mClock->currentTime) - start;
    bool recording = mRecordMovie->isChecked();
    if (!recording) mClock->speed = speed;
    if (length != 0 && !recording) {
        if (elapsed > length)
            mClock->currentTime = mw::FieldToTicks(start);
        else if (elapsed < 0)
            mClock->currentTime = mw::FieldToTicks(start + length);
    }
    mRecordGuard = true;
    if (mRecordFlag && (*mRecordFlag != 0) != mRecordMovie->isChecked()) {
        mRecordMovie->setChecked(*mRecordFlag != 0);
        mPassDue = true;  // the clock follows the time bar again from the next pass
    }
    mRecordGuard = false;
    --mIdleDepth;
}

int TmMain::NextIdlePassIn() const {
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
    return ms < kLongestIdleWaitMs ? static_cast<int>(ms) : kLongestIdleWaitMs;
}

void TmMain::RefreshClockStatus() {
    VnOS->Pump();  // the clock is read fresh even when nothing else asked for a pump
    SetStatusText(1, QString::asprintf("FPS %.2f - Time %.1f", mClock->framesPerSecond,
                                       mw::TicksToSeconds(mClock->currentTime)));
}

void TmMain::OnTimeAction(TimeAction action) {
    double start = FieldValue(mTimeStart);
    double speed = FieldValue(mTimeSpeed);
    double length = FieldValue(mTimeLength);
    switch (action) {
        case TimeAction::Play:
            mTimeSpeed->setText(mSavedSpeed);
            break;
        case TimeAction::Stop:
            mSavedSpeed = mTimeSpeed->text();
            mTimeSpeed->setText("0.0");
            break;
        case TimeAction::Begin:
            mClock->currentTime = mw::FieldToTicks(start);
            break;
        case TimeAction::End:
            mClock->currentTime = mw::FieldToTicks(start + length);
            break;
        case TimeAction::Backward:
            if (speed > 0) mTimeSpeed->setText(QString::asprintf("%.2f", -speed));
            break;
        case TimeAction::Forward:
            if (speed < 0) mTimeSpeed->setText(QString::asprintf("%.2f", -speed));
            break;
    }
}

void TmMain::mTimeSlideChange(int position) {
    if (!mClock) return;
    mClock->sliderTime = mw::SecondsToTicks(position * 0.001 * FieldValue(mTimeLength));
}

void TmMain::mRecordMovieClick() {
    if (mRecordGuard) return;
    VnRef<IRoot> device;
    if (!VnROT->GetObject("kx:/dev", nullptr, IID_IRoot, device.out(), 0)) {
        mHost->RefreshErrors();
        return;
    }
    intptr_t adjustment = 0;
    const VnMemberDescriptor* member =
        VnOS->FindMember("recorder", device->GetTypeInfo(), &adjustment);
    if (!member) {
        VnOS->SetError(-1, nullptr, "The device kx:/dev has no member \"recorder\"");
        mHost->RefreshErrors();
        return;
    }
    auto* recorder = static_cast<IRoot*>(VnMemberStorage(device.get(), member, adjustment));
    const VnTypeInfo* type = recorder->GetTypeInfo();
    intptr_t recordAdjust = 0, lengthAdjust = 0;
    const VnMemberDescriptor* record = VnOS->FindMember("record", type, &recordAdjust);
    const VnMemberDescriptor* length = VnOS->FindMember("length", type, &lengthAdjust);
    if (!record || !length) {
        VnOS->SetError(-1, nullptr, "The recorder has no \"record\" or \"length\" member");
        mHost->RefreshErrors();
        return;
    }
    mRecordFlag = static_cast<unsigned char*>(VnMemberStorage(recorder, record, recordAdjust));
    *mRecordFlag = mRecordMovie->isChecked() ? 1 : 0;
    *static_cast<double*>(VnMemberStorage(recorder, length, lengthAdjust)) =
        FieldValue(mTimeLength);
    mClock->currentTime = mw::FieldToTicks(FieldValue(mTimeStart));
    mClock->speed = 0;
    VnOS->PostToApp();
}
