#pragma once

#include <QString>

namespace mw {

// The path of one of the program's own files (class list, read-me): beside the executable, as
// in a build tree, else in ../share/mosswick/ from it, as in an installed copy. The path beside
// the executable when neither has it.
QString ProgramFile(const QString& name);

// The path of one of the program's plugins: beside the executable, else in ../lib/mosswick/
// from it. The bare name when neither has it, for Qt to look for in its library paths.
QString ProgramPlugin(const QString& name);

}  // namespace mw
