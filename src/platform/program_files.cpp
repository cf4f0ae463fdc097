#include "platform/program_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mw {

namespace {

// `name` beside the executable, else in `installed` relative to it; empty when neither has it.
QString Find(const QString& name, const char* installed) {
    const QDir beside(QCoreApplication::applicationDirPath());
    if (QFileInfo::exists(beside.filePath(name))) return beside.filePath(name);
    const QString other = QDir::cleanPath(beside.filePath(installed + name));
    return QFileInfo::exists(other) ? other : QString();
}

}  // namespace

QString ProgramFile(const QString& name) {
    const QString found = Find(name, "../share/mosswick/");
    return found.isEmpty() ? QDir(QCoreApplication::applicationDirPath()).filePath(name) : found;
}

QString ProgramPlugin(const QString& name) {
    const QString found = Find(name, "../lib/mosswick/");
    return found.isEmpty() ? name : found;
}

}  // namespace mw
