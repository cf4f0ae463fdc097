#pragma once

#include <QString>
#include <memory>

#include "vorn/py_ref.h"
#include "watch/sample_ring.h"
#include "watch/watch_target.h"

// One watched value: its Python path, where it reads, its last reading, its samples and the
// condition that stops the clock.
class TWatch {
public:
    // `kept`: the path starts from a registered object, so it is stored and resolved again.
    TWatch(QString path, bool kept, TWatchTarget target = {});

    const QString& Path() const { return mPath; }
    bool Kept() const { return mKept; }
    const TReading& Last() const { return mLast; }
    // Its samples, null before the first number was read.
    const TSampleRing* Ring() const { return mRing.get(); }
    // What the samples' numbers are (a vector's x, y, z).
    TReading::Kind RingKind() const { return mRingKind; }
    // "(not found)" while nothing is read.
    QString Text() const;

    // Reads the value; a kept path is resolved again while it does not resolve, at most every
    // kResolveMs of `wallMs`.
    void Look(qint64 wallMs);
    static constexpr qint64 kResolveMs = 250;
    // Keeps the last reading's numbers as a sample at `time`.
    void TakeSample(double time);

    // The condition: empty clears it; false with the reason when it does not compile.
    bool SetCondition(const QString& text, QString* why);
    const QString& Condition() const { return mCondition; }
    // The reason a condition was turned off, or empty.
    const QString& ConditionError() const { return mConditionError; }
    // Evaluates the condition on the last reading, taken at clock `time`; true when it has just
    // become true.
    bool CheckCondition(double time);
    bool Fired() const { return mFired; }
    double FiredAt() const { return mFiredAt; }

private:
    PyRef ConditionValue() const;

    QString mPath;
    bool mKept;
    TWatchTarget mTarget;
    TReading mLast;
    std::unique_ptr<TSampleRing> mRing;
    TReading::Kind mRingKind = TReading::Kind::Number;
    qint64 mNextResolve = 0;
    QString mCondition;
    PyRef mConditionCode;
    QString mConditionError;
    bool mWasTrue = false;
    bool mFired = false;
    double mFiredAt = 0;
};
