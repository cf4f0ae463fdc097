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

#include "app/forms.h"
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
    for (auto [label, name] : {std::pair{"Start:", "mTimeStart"},
                               {"Speed:", "mTimeSpeed"},
                               {"Length:", "mTimeLength"}}) {
        row->addWidget(new QLabel(label, panel));
        auto* field = new QLineEdit(panel);
        field->setObjectName(name);
        field->setFixedWidth(name == std::string("mTimeStart") ? 110 : 48);
        row->addWidget(field);
    }
    auto* buttons = new QToolBar(panel);
    buttons->setObjectName("ToolBar1");
    const std::pair<const char*, const char*> actions[] = {
        {"mTimePlay", "Play"}, {"mTimeStop", "Stop"},         {"mTimeBegin", "Begin"},
        {"mTimeEnd", "End"},   {"mTimeBackward", "Backward"}, {"mTimeForward", "Forward"}};
    const int images[] = {0, 2, 4, 7, 5, 6};
    for (int i = 0; i < 6; ++i) {
        auto* b = new QToolButton(buttons);
        b->setObjectName(actions[i].first);
        b->setToolTip(actions[i].second);
        b->setProperty("image", images[i] + 19);
        connect(b, &QToolButton::clicked, this, [this, b] { OnTimeAction(b); });
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

double TmMain::FieldValue(const char* name) const {
    auto* field = findChild<QLineEdit*>(name);
    return field ? mw::FieldNumber(field->text()) : 0.0;
}

void TmMain::ApplicationEvents1Idle() {
    if (!mClock || mIdleDepth > 2) return;
    ++mIdleDepth;  // a script started by the pump may open a dialog whose loop idles too
    VnOS->Pump();
    if (VnOS->HasError(0) && mHost) mHost->RefreshErrors();
    double start = FieldValue("mTimeStart");
    double speed = FieldValue("mTimeSpeed");
    double length = FieldValue("mTimeLength");
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
    if (mRecordFlag && (*mRecordFlag != 0) != mRecordMovie->isChecked())
        mRecordMovie->setChecked(*mRecordFlag != 0);
    mRecordGuard = false;
    --mIdleDepth;
}

void TmMain::Timer1Timer() {
    VnOS->Pump();  // the clock is read fresh even when nothing else asked for a pump
    SetStatusText(1, QString::asprintf("FPS %.2f - Time %.1f", mClock->framesPerSecond,
                                       mw::TicksToSeconds(mClock->currentTime)));
}

void TmMain::OnTimeAction(QObject* sender) {
    auto* speedField = findChild<QLineEdit*>("mTimeSpeed");
    double start = FieldValue("mTimeStart");
    double speed = FieldValue("mTimeSpeed");
    double length = FieldValue("mTimeLength");
    QString name = sender ? sender->objectName() : QString();
    if (name == "mTimePlay") {
        speedField->setText(mSavedSpeed);
    } else if (name == "mTimeStop") {
        mSavedSpeed = speedField->text();
        speedField->setText("0.0");
    } else if (name == "mTimeBegin") {
        mClock->currentTime = mw::FieldToTicks(start);
    } else if (name == "mTimeEnd") {
        mClock->currentTime = mw::FieldToTicks(start + length);
    } else if (name == "mTimeBackward" && speed > 0) {
        speedField->setText(QString::asprintf("%.2f", -speed));
    } else if (name == "mTimeForward" && speed < 0) {
        speedField->setText(QString::asprintf("%.2f", -speed));
    }
}

void TmMain::mTimeSlideChange(int position) {
    if (!mClock) return;
    mClock->sliderTime = mw::SecondsToTicks(position * 0.001 * FieldValue("mTimeLength"));
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
        FieldValue("mTimeLength");
    mClock->currentTime = mw::FieldToTicks(FieldValue("mTimeStart"));
    mClock->speed = 0;
    VnOS->PostToApp();
}
