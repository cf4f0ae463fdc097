#pragma once

class QFileDialog;
class QString;
class QWidget;

namespace mw {

// Has `dialog` show every column header of its detail view whole: each time it shows, the
// columns get at least their headers' widths and the dialog grows to hold them.
void ShowWholeColumns(QFileDialog& dialog);

// What a file dialog asks for: an existing file to open, or a name to save under.
enum class FileChoice { Open, Save };

// A file dialog named `name` with its name filter, showing its columns whole.
QFileDialog* NewFileDialog(QWidget* parent, const char* name, const QString& filter,
                           FileChoice choice);

}  // namespace mw
