#include "platform/program_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mw {

QString ProgramFile(const QString& name) {
    const QDir beside(QCoreApplication::applicationDirPath());
    if (QFileInfo::exists(beside.filePath(name))) return beside.filePath(name);
    const QString shared = QDir::cleanPath(beside.filePath("../share/mosswick/" + name));
    return QFileInfo::exists(shared) ? shared : beside.filePath(name);
}

}  // namespace mw
