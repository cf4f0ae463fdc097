#pragma once

#include <QString>

namespace mw {

// "Name|*.a;*.b|All files (*.*)|*.*" as a file dialog filter "Name (*.a *.b);;All files (*.*)
// (*)": "*.*" becomes "*", a description without patterns gets "*", empty input all files.
QString ToQtFilter(const QString& windowsFilter);

}  // namespace mw
