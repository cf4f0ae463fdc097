#include "app/run_main.h"

#include <QFileInfo>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/forms.h"
#include "app/idle_driver.h"
#include "app/py_ui.h"
#include "app/tm_about_box.h"
#include "app/tm_config_dialog.h"
#include "app/tm_main.h"
#include "browser/tm_obj_property_dlg.h"
#include "browser/tm_vorn_browser.h"
#include "browser/tm_vorn_list_sorter.h"
#include "browser/vorn_browser_py.h"
#include "core/vorn_string.h"
#include "editors/row_editor.h"
#include "editors/tm_chooser_pick.h"
#include "editors/tm_color_pick.h"
#include "editors/tm_edit_line.h"
#include "editors/tm_quat_pick.h"
#include "editors/tm_texture_browser.h"
#include "editors/tm_vector_pick.h"
#include "editors/tm_vorn_pick.h"
#include "platform/message_box.h"
#include "script/console_window.h"
#include "script/error_log.h"
#include "script/script_host.h"
#include "script/tm_ui.h"
#include "view3d/view_mark.h"
#include "vorn/os.h"
#include "vorn/pyos.h"

namespace {

// What the main function takes from the process entry, and what it hands back: the main
// function is called by the interpreter without arguments.
struct CommandLine {
    int argc = 0;
    char** argv = nullptr;
    bool batch = false;
    QStringList batchFiles;
    int batchStatus = 0;
};

CommandLine gCommandLine;

PyMethodDef kRunMain = {"RunMain", RunMain, METH_NOARGS, "Main Function"};

// Opens the files named on the command line once the loop runs, as File Open would.
void OpenCommandLineFiles(TmMain& main) {
    bool options = true;  // after "--" a name that starts with "-" is a file too
    for (int i = 1; i < gCommandLine.argc; ++i) {
        QString file = QString::fromLocal8Bit(gCommandLine.argv[i]);
        if (options && file == "--") options = false;
        if (options ? file.startsWith("-") : file == "--") continue;
        main.OpenFile(QFileInfo(file).absoluteFilePath());
    }
}

// Output produced during the shut-down is never lost: a batch run has printed it already,
// an interactive one shows it in a box.
void ShowShutdownOutput(int argc, char** argv) {
    QString text = TakeShutdownOutput();
    if (text.trimmed().isEmpty() || gCommandLine.batch) return;
    TApplication app(argc, argv);
    mw::ShowMessageBox(nullptr, text, "OOPS!", mw::kMbIconWarning);
}

// The forms in their fixed order, each owned here; the main window goes first, so it stores
// the settings while the others still exist.
class Forms {
public:
    template <class T>
    T* Keep(T* form) {
        mForms.emplace_back(form);
        return form;
    }
    void Pending(std::initializer_list<const char*> names) {
        for (const char* name : names) Keep(new TPendingForm(name));
    }
    ~Forms() {
        mForms.front().reset();
        while (!mForms.empty()) mForms.pop_back();
    }

private:
    std::vector<std::unique_ptr<QObject>> mForms;
};

}  // namespace

void SetCommandLine(int argc, char** argv) {
    gCommandLine.argc = argc;
    gCommandLine.argv = argv;
    gCommandLine.batch = TBatchRun::FromCommandLine(argc, argv, &gCommandLine.batchFiles);
}

PyObject* RunMain(PyObject*, PyObject*) {
    {
        // the web view shares its GL contexts with the windows; this must precede the application
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        TApplication app(gCommandLine.argc, gCommandLine.argv);
        // made before and gone after everything that uses it, in reverse order; the main
        // window starts the host as it is made and lets go of it as it goes
        TScriptHost host;
        std::unique_ptr<TEditorKit> editorKit;
        Forms forms;
        TmMain& main = *forms.Keep(new TmMain(gCommandLine.batch, &host));
        editorKit = std::make_unique<TEditorKit>(main, host);
        TEditorKit& kit = *editorKit;
        main.SetEditHistory(&kit.History());
        auto* about = forms.Keep(new TmAboutBox);
        auto* browser =
            forms.Keep(new TmVornBrowser(main, host, kit, TmVornBrowser::DefaultClassList()));
        kit.AddForm(forms.Keep(new TmColorPick));
        kit.SetEditLine(forms.Keep(new TmEditLine));
        auto* vornPick = forms.Keep(new TmVornPick);
        kit.AddForm(vornPick);
        kit.AddForm(forms.Keep(new TmVectorPick));
        kit.AddForm(forms.Keep(new TmChooserPick));
        main.SetImageList(forms.Keep(new TgData));  // hands its images to the bars made before it
        auto* ui = forms.Keep(new TmUI(main));
        TheUI().SetDialog(ui);
        auto* sorter = forms.Keep(new TmVornListSorter);
        browser->SetDialogs(sorter, forms.Keep(new TmObjPropertyDlg));
        vornPick->SetClassList(browser->ClassList());
        TheBrowserPy().SetBrowser(browser);
        // the model selected in the browser is marked in the 3D view
        QObject::connect(browser, &TmVornBrowser::SelectedObjectChanged, browser,
                         [](IRoot* object) { view3d::MarkInView(object); });
        // a value the user watches shows in the Watches window
        QObject::connect(browser, &TmVornBrowser::WatchAdded, &main,
                         [&main] { main.mViewWatchesExecute(); });
        forms.Keep(new TmErrorLog(main, host));
        forms.Keep(new TmConsoleWindow(main, host));
        kit.AddForm(forms.Keep(new TmQuatPick));
        auto* config = forms.Keep(new TmConfigDialog);
        forms.Keep(new TmTextureBrowser);
        main.SetDialogs(about, config);
        // the tree shows what escaped a handler, as its one root
        app.SetExceptionHandler(
            [browser](const QString& message) { browser->ResetAfterException(message); });

        TIdleDriver idle(main);
        app.SetIdleDriver(&idle);
        // a tasklet waiting for a started program is woken by the program's end
        TBatchRun batch(main, gCommandLine.batchFiles, [ui] { return ui->IsWaiting(); });
        main.show();
        if (gCommandLine.batch)
            QTimer::singleShot(0, &batch, &TBatchRun::Start);
        else
            QTimer::singleShot(0, &app, [&main] { OpenCommandLineFiles(main); });
        app.exec();
        gCommandLine.batchStatus = batch.ExitStatus();
        app.SetExceptionHandler(nullptr);
    }
    Py_RETURN_NONE;
}

int MosswickMain(int argc, char** argv) {
    // --help, --version and a bad option need neither a display nor the runtime
    if (int status = AnswerCommandLine(argc, argv); status >= 0) return status;
    SetCommandLine(argc, argv);
    if (!VnOS->IsStarted()) {
        mw::VornString text;
        char* block = nullptr;
        VnOS->GetErrorText(&block);
        text.adopt(block);
        TApplication app(argc, argv);
        mw::ShowMessageBox(nullptr, QString::fromUtf8(text.c_str()), "Vorn Startup Failed",
                           mw::kMbIconError);
        return 255;
    }
    PyRef function = PyRef::Steal(PyCFunction_New(&kRunMain, nullptr));
    PyRef args = PyRef::Steal(PyTuple_New(0));
    PyRef result = PyRef::Steal(PyStackless_Call_Main(function.get(), args.get(), nullptr));
    if (!result) PyOS->ReportError(0);
    result.reset();
    args.reset();
    function.reset();
    // the runtime (and its interpreter) end only once no Python frame is running any more
    VnOS->Shutdown();
    ShowShutdownOutput(argc, argv);
    return gCommandLine.batch ? gCommandLine.batchStatus : 0;
}
