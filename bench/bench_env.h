#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <utility>

// Points the runtime's settings and paths at a temporary folder, never the user's, and runs Qt
// offscreen when there is no display.
inline void UseTemporaryHome(const QTemporaryDir& dir) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    for (auto [name, sub] : {std::pair{"VORN_RESDIR", "res"},
                             {"VORN_MACRODIR", "macros"},
                             {"VORN_BASEDIR", "base"},
                             {"XDG_CONFIG_HOME", "config"}}) {
        QDir(dir.path()).mkpath(sub);
        qputenv(name, (dir.filePath(sub) + "/").toUtf8());
    }
    qputenv("VORN_SETTINGS", dir.filePath("settings.json").toUtf8());
}
