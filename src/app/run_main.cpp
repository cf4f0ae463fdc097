#include "app/run_main.h"

#include <QFileInfo>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/batch_run.h"
#include "app/forms.h"
#include "app/idle_driver.h"
#include "app/tm_about_box.h"
#include "app/tm_config_dialog.h"
#include "app/tm_main.h"
#include "core/vorn_string.h"
#include "platform/message_box.h"
#include "script/console_window.h"
#include "script/error_log.h"
#include "script/script_host.h"
#include "vorn/os.h"
#include "vorn/pyos.h"

namespace {

int gArgc = 0;
char** gArgv = nullptr;

PyMethodDef kRunMain = {"RunMain", RunMain, METH_NOARGS, "Main Function"};

// Opens the files named on the command line once the loop runs, as File Open would.
void OpenCommandLineFiles() {
    for (int i = 1; i < gArgc; ++i) {
        QString file = QString::fromLocal8Bit(gArgv[i]);
        if (file.startsWith("-")) continue;
        if (mMain) mMain->OpenFile(QFileInfo(file).absoluteFilePath());
    }
}

// Output produced during the shut-down is never lost: a batch run has printed it already,
// an interactive one shows it in a box.
void ShowShutdownOutput(int argc, char** argv) {
    QString text = TakeShutdownOutput();
    if (text.trimmed().isEmpty() || TBatchRun::Active()) return;
    TApplication app(argc, argv);
    mw::ShowMessageBox(nullptr, text, "OOPS!", 0x30);
}

}  // namespace

void SetCommandLine(int argc, char** argv) {
    gArgc = argc;
    gArgv = argv;
}

PyObject* RunMain(PyObject*, PyObject*) {
    {
        TApplication app(gArgc, gArgv);
        std::vector<std::unique_ptr<QObject>> forms;
        auto keep = [&forms](QObject* form) { forms.emplace_back(form); };
        keep(new TmMain);
        keep(new TmAboutBox);
        keep(new TPendingForm("mVornBrowser"));
        mVornBrowser = static_cast<QWidget*>(forms.back().get());
        for (auto [name, ref] : {std::pair{"mColorPick", &mColorPick},
                                 {"mEditLine", &mEditLine},
                                 {"mVornPick", &mVornPick},
                                 {"mVectorPick", &mVectorPick},
                                 {"mChooserPick", &mChooserPick}}) {
            keep(new TPendingForm(name));
            *ref = static_cast<QWidget*>(forms.back().get());
        }
        keep(new TgData);  // hands its images to the bars made before it
        for (auto [name, ref] : {std::pair{"mUI", &mUI},
                                 {"mVornListSorter", &mVornListSorter},
                                 {"mObjPropertyDlg", &mObjPropertyDlg}}) {
            keep(new TPendingForm(name));
            *ref = static_cast<QWidget*>(forms.back().get());
        }
        keep(new TmErrorLog);
        mErrorLog = static_cast<QWidget*>(forms.back().get());
        keep(new TmConsoleWindow);
        mConsoleWindow = static_cast<QWidget*>(forms.back().get());
        keep(new TPendingForm("mQuatPick"));
        mQuatPick = static_cast<QWidget*>(forms.back().get());
        keep(new TmConfigDialog);
        keep(new TPendingForm("mTextureBrowser"));
        mTextureBrowser = static_cast<QWidget*>(forms.back().get());
        TIdleDriver idle;
        mMain->show();
        QStringList batch = TBatchRun::FilesFrom(gArgc, gArgv);
        if (TBatchRun::Active())
            QTimer::singleShot(0, &app, [batch] { TBatchRun::Start(batch); });
        else
            QTimer::singleShot(0, &app, OpenCommandLineFiles);
        app.exec();
        // the main window goes first: it stores the settings while the others still exist
        forms.front().reset();
        while (!forms.empty()) forms.pop_back();
    }
    Py_RETURN_NONE;
}

int MosswickMain(int argc, char** argv) {
    SetCommandLine(argc, argv);
    if (!VnOS->IsStarted()) {
        mw::VornString text;
        char* block = nullptr;
        VnOS->GetErrorText(&block);
        text.adopt(block);
        TApplication app(argc, argv);
        mw::ShowMessageBox(nullptr, QString::fromUtf8(text.c_str()), "Vorn Startup Failed", 0x10);
        return 255;
    }
    PyObject* function = PyCFunction_New(&kRunMain, nullptr);
    PyObject* args = PyTuple_New(0);
    PyObject* result = PyStackless_Call_Main(function, args, nullptr);
    if (result)
        Py_DECREF(result);
    else
        PyOS->ReportError(0);
    Py_XDECREF(args);
    Py_XDECREF(function);
    // the runtime (and its interpreter) end only once no Python frame is running any more
    VnOS->Shutdown();
    ShowShutdownOutput(argc, argv);
    return TBatchRun::Active() ? TBatchRun::ExitStatus() : 0;
}
