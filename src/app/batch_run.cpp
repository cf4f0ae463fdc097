#include "app/batch_run.h"

#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/forms.h"
#include "app/tm_main.h"
#include "core/python_api.h"
#include "vorn/os.h"

namespace {

bool gActive = false;
int gStatus = 0;
long gFailuresBefore = 0;

long SynchroCount(const char* name) {
    PyObject* synchro = PyImport_ImportModule("vorn.synchro");
    PyObject* value = synchro ? PyObject_CallMethod(synchro, name, nullptr) : nullptr;
    long n = value ? PyLong_AsLong(value) : 0;
    Py_XDECREF(value);
    Py_XDECREF(synchro);
    PyErr_Clear();
    return n;
}

// Closes the main window once no tasklet is left, or once those left wait for something the
// runtime will never bring (no timer, no posted work, no frame).
void WatchTasklets() {
    long live = SynchroCount("Live");
    bool stuck = live > 0 && VnOS->NextWorkIn() < 0;
    if (live > 0 && !stuck) {
        QTimer::singleShot(20, WatchTasklets);
        return;
    }
    if (stuck)
        std::fprintf(stderr, "mosswick: %ld tasklet(s) wait for something that never comes\n",
                     live);
    gStatus = stuck || SynchroCount("Failures") > gFailuresBefore ? 1 : 0;
    if (mMain) mMain->close();
}

}  // namespace

QStringList TBatchRun::FilesFrom(int argc, char** argv) {
    QStringList files;
    bool batch = false;
    for (int i = 1; i < argc; ++i) {
        QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == "--batch")
            batch = true;
        else if (batch)
            files << QFileInfo(arg).absoluteFilePath();
    }
    gActive = batch;
    return files;
}

bool TBatchRun::Active() { return gActive; }

void TBatchRun::Start(const QStringList& files) {
    gFailuresBefore = SynchroCount("Failures");
    if (mMain) mMain->DropFiles(files);
    QTimer::singleShot(0, WatchTasklets);
}

int TBatchRun::ExitStatus() { return gStatus; }
