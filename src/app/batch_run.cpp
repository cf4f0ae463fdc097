#include "app/batch_run.h"

#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <utility>

#include "app/tm_main.h"
#include "vorn/os.h"
#include "vorn/py_ref.h"

namespace {

long SynchroCount(const char* name) {
    PyRef synchro = PyRef::Steal(PyImport_ImportModule("vorn.synchro"));
    PyRef value =
        PyRef::Steal(synchro ? PyObject_CallMethod(synchro.get(), name, nullptr) : nullptr);
    long n = value ? PyLong_AsLong(value.get()) : 0;
    PyErr_Clear();
    return n;
}

}  // namespace

bool TBatchRun::FromCommandLine(int argc, char** argv, QStringList* files) {
    bool batch = false;
    for (int i = 1; i < argc; ++i) {
        QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == "--batch")
            batch = true;
        else if (batch && arg != "--")
            *files << QFileInfo(arg).absoluteFilePath();
    }
    return batch;
}

TBatchRun::TBatchRun(TmMain& main, QStringList files, std::function<bool()> waiting,
                     QObject* parent)
    : QObject(parent), mMain(&main), mFiles(std::move(files)), mWaiting(std::move(waiting)) {}

void TBatchRun::Start() {
    mFailuresBefore = SynchroCount("Failures");
    if (mMain) mMain->DropFiles(mFiles);
    QTimer::singleShot(0, this, &TBatchRun::Watch);
}

// Closes the main window once no tasklet is left, or once those left wait for something the
// runtime will never bring (no timer, no posted work, no frame).
void TBatchRun::Watch() {
    long live = SynchroCount("Live");
    bool stuck = live > 0 && VnOS->NextWorkIn() < 0 && !(mWaiting && mWaiting());
    if (live > 0 && !stuck) {
        QTimer::singleShot(20, this, &TBatchRun::Watch);
        return;
    }
    if (stuck)
        std::fprintf(stderr, "mosswick: %ld tasklet(s) wait for something that never comes\n",
                     live);
    mStatus = stuck || SynchroCount("Failures") > mFailuresBefore ? 1 : 0;
    if (mMain) mMain->close();
}
