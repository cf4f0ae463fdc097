#pragma once

#include <QString>
#include <vector>

class TWatch;

namespace watch {

// The samples of `watches` as CSV: a header line, then one line per clock time that any of them
// sampled, the time first, then one column per value (a vector's x, y and z each), empty where
// a watch has no sample at that time.
QString CsvText(const std::vector<const TWatch*>& watches);
// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or a line break.
QString CsvField(const QString& text);

}  // namespace watch
