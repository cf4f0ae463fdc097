// What start-up pays for the macro menus: 10,000 macro files in 40 folders (each with a hint,
// every tenth with a "#ctx" line of one shared class) built into the top menus and the Macro menu
// as the main window builds them, beside the same folders listed with QDir alone and with each
// file's first line read, all in the same run. Without a display it uses Qt's offscreen platform.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_env.h"
#include "script/macro.h"
#include "vorn/os.h"

namespace {

constexpr int kFolders = 40;
constexpr int kFiles = 10000;

void MakeMacros(const QString& root) {
    for (int i = 0; i < kFiles; ++i) {
        const QString folder = root + QString("Folder%1/").arg(i % kFolders, 2, 10, QChar('0'));
        if (i < kFolders) QDir().mkpath(folder);
        QFile file(folder + QString("Macro%1.py").arg(i, 5, 10, QChar('0')));
        if (!file.open(QIODevice::WriteOnly)) continue;
        file.write(QString("\"\"\"Macro number %1\"\"\"\n").arg(i).toUtf8());
        if (i % 10 == 0) file.write("#ctx KxModel\n");
        file.write("import vorn\nprint(vorn.os.GetPath(4))\n");
    }
}

// Walks the folders as the menus do, with QDir alone; `readHead` also reads each file's start.
int ListWithQDir(const QString& root, bool readHead) {
    int scripts = 0;
    QDirIterator it(root, {"*.py"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (readHead) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) file.read(64 * 1024);
        }
        ++scripts;
    }
    return scripts;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    UseTemporaryHome(dir);
    if (!VnOS->IsStarted()) {
        std::fprintf(stderr, "bench_macros: the runtime did not start\n");
        return 1;
    }
    const QString root = dir.filePath("macros") + "/";
    MakeMacros(root);
    int status = 0;
    {
        QApplication app(argc, argv);
        QElapsedTimer clock;
        ListWithQDir(root, true);  // the same warm file-system caches for every figure

        clock.start();
        const int listed = ListWithQDir(root, false);
        const qint64 list = clock.elapsed();
        clock.start();
        ListWithQDir(root, true);
        const qint64 listRead = clock.elapsed();

        QMenuBar bar;
        for (const char* caption : {"&File", "&Edit", "&View", "&Macro", "&Window"})
            bar.addMenu(caption);
        QMenu macroMenu("&Macro");
        clock.start();
        TheMacro().BuildTopMenus(&bar, 3);
        TheMacro().BuildMenu(&macroMenu, "");
        const qint64 build = clock.elapsed();

        QMenu context;
        TheMacro().BuildContextMenu(&context, "KxModel");
        if (TheMacro().ScriptList.size() != kFiles || listed != kFiles ||
            context.actions().size() != kFiles / 10) {
            std::fprintf(stderr, "bench_macros: %lld scripts, %d listed, %lld context entries\n",
                         static_cast<long long>(TheMacro().ScriptList.size()), listed,
                         static_cast<long long>(context.actions().size()));
            status = 1;
        }
        std::printf(
            "macro menus of %d files in %d folders: built in %lld ms; listed with QDir alone "
            "%lld ms, listed and each file's start read %lld ms (ratio %.3g)\n",
            kFiles, kFolders, static_cast<long long>(build), static_cast<long long>(list),
            static_cast<long long>(listRead), listRead ? double(build) / double(listRead) : 0.0);
        TheMacro().Clear();
    }
    VnOS->Shutdown();
    return status;
}
