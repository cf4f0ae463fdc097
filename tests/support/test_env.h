#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

// Points the runtime's settings file and every path kind at a fresh temporary folder, so a
// test never reads or writes the user's own files. Create it before the runtime starts.
class TestEnvironment {
public:
    TestEnvironment() {
        Q_ASSERT(mDir.isValid());
        set("VORN_SETTINGS", file("settings.json"));
        set("VORN_RESDIR", folder("res"));
        set("VORN_MACRODIR", folder("macros"));
        set("VORN_BASEDIR", folder("base"));
        set("XDG_CONFIG_HOME", folder("config"));
        set("XDG_DATA_HOME", folder("data"));
    }

    QString path() const { return mDir.path(); }
    // An empty start-up script, so the main window starts without the default world.
    bool noDefaultWorld() const {
        QFile autoexec(folder("res/scripts") + "autoexec.py");
        return autoexec.open(QIODevice::WriteOnly);
    }
    QString file(const QString& name) const { return mDir.filePath(name); }
    // A folder below the temporary one, created, with a trailing "/".
    QString folder(const QString& name) const {
        QDir(mDir.path()).mkpath(name);
        return mDir.filePath(name) + "/";
    }

private:
    static void set(const char* name, const QString& value) { qputenv(name, value.toUtf8()); }
    QTemporaryDir mDir;
};
