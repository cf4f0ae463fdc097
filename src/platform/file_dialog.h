#pragma once

class QFileDialog;

namespace mw {

// Has `dialog` show every column header of its detail view whole: each time it shows, the
// columns get at least their headers' widths and the dialog grows to hold them.
void ShowWholeColumns(QFileDialog& dialog);

}  // namespace mw
