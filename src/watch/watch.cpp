#include "watch/watch.h"

TWatch::TWatch(QString path, bool kept, TWatchTarget target)
    : mPath(std::move(path)), mKept(kept), mTarget(std::move(target)) {}

QString TWatch::Text() const { return mLast.found ? mLast.text : QString("(not found)"); }

void TWatch::Look(qint64 wallMs) {
    if (mTarget.Read(&mLast)) return;
    if (!mKept || wallMs < mNextResolve) return;
    mNextResolve = wallMs + kResolveMs;
    QString why;
    mTarget = watch::Resolve(mPath, &why);
    if (!mTarget.Read(&mLast)) mLast = TReading{};
}

void TWatch::TakeSample(double time) {
    if (!mLast.found || mLast.channels == 0) return;
    // a value that changed its kind (a path now reaching a vector) starts its samples afresh
    if (!mRing || mRing->Channels() != mLast.channels || mRingKind != mLast.kind) {
        mRing = std::make_unique<TSampleRing>(mLast.channels);
        mRingKind = mLast.kind;
    }
    mRing->Append(time, mLast.values);
}

bool TWatch::SetCondition(const QString& text, QString* why) {
    PyRef code;
    if (!text.trimmed().isEmpty()) {
        code =
            PyRef::Steal(Py_CompileString(text.toUtf8().constData(), "<stop when>", Py_eval_input));
        if (!code) {
            *why = watch::TakeErrorText();
            return false;
        }
    }
    mCondition = text.trimmed();
    mConditionCode = std::move(code);
    mConditionError.clear();
    mWasTrue = false;
    mFired = false;
    return true;
}

PyRef TWatch::ConditionValue() const {
    if (mLast.channels == 1) return PyRef::Steal(PyFloat_FromDouble(mLast.values[0]));
    if (mLast.channels == 0)
        return PyRef::Steal(PyUnicode_FromString(mLast.text.toUtf8().constData()));
    PyRef tuple = PyRef::Steal(PyTuple_New(mLast.channels));
    for (int i = 0; tuple && i < mLast.channels; ++i)
        PyTuple_SET_ITEM(tuple.get(), i, PyFloat_FromDouble(mLast.values[i]));
    return tuple;
}

bool TWatch::CheckCondition(double time) {
    if (!mConditionCode || !mLast.found) return false;
    const PyRef code = mConditionCode;  // a script run by the condition may set another
    PyRef locals = PyRef::Steal(PyDict_New());
    PyRef value = ConditionValue();
    int truth = -1;
    if (locals && value && PyDict_SetItemString(locals.get(), "value", value.get()) == 0) {
        PyRef result = PyRef::Steal(PyEval_EvalCode(code.get(), watch::Globals(), locals.get()));
        truth = result ? PyObject_IsTrue(result.get()) : -1;
    }
    if (truth < 0) {
        // said once on the watch and turned off, never printed on every sample
        mConditionError = watch::TakeErrorText();
        mConditionCode = PyRef();
        return false;
    }
    const bool becameTrue = truth == 1 && !mWasTrue;
    mWasTrue = truth == 1;
    if (becameTrue) {
        mFired = true;
        mFiredAt = time;
    }
    return becameTrue;
}
