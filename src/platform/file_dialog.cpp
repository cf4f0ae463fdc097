#include "platform/file_dialog.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

namespace {

// Widens the view's columns to their captions and, past the first (the names, which get the
// room left), to the texts of the files listed; answers the width the shown columns take.
int WidenColumns(QTreeView& view) {
    QHeaderView& header = *view.header();
    int total = 0;
    for (int i = 0; i < header.count(); ++i) {
        if (header.isSectionHidden(i)) continue;
        const int cells = i > 0 ? static_cast<QAbstractItemView&>(view).sizeHintForColumn(i) : 0;
        header.resizeSection(i,
                             std::max({header.sectionSize(i), header.sectionSizeHint(i), cells}));
        total += header.sectionSize(i);
    }
    return total;
}

// Fits the detail view's columns each time the dialog shows (a restored state or a new font
// may have narrowed them since it was made) and each time a folder's files are listed.
class WholeColumns : public QObject {
public:
    explicit WholeColumns(QFileDialog& dialog) : QObject(&dialog), mDialog(dialog) {
        setObjectName("mWholeColumns");
        dialog.installEventFilter(this);
        if (auto* files = dialog.findChild<QFileSystemModel*>())
            connect(files, &QFileSystemModel::directoryLoaded, this, [this] {
                if (mDialog.isVisible()) Fit();
            });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &mDialog && event->type() == QEvent::Show) Fit();
        return false;
    }

private:
    void Fit() {
        auto* view = mDialog.findChild<QTreeView*>("treeView");
        if (!view) return;  // a dialog without the detail view has no headers to fit
        if (mDialog.layout()) mDialog.layout()->activate();
        const int needed = WidenColumns(*view) + view->verticalScrollBar()->sizeHint().width();
        const int lacking = needed - view->viewport()->width();
        // never wider than the screen: past that, the view scrolls
        const QScreen* screen = mDialog.screen();
        const int widest = screen ? screen->availableGeometry().width() : mDialog.width() + lacking;
        if (lacking > 0)
            mDialog.resize(std::min(mDialog.width() + lacking, widest), mDialog.height());
    }

    QFileDialog& mDialog;
};

}  // namespace

namespace mw {

void ShowWholeColumns(QFileDialog& dialog) {
    dialog.setViewMode(QFileDialog::Detail);
    new WholeColumns(dialog);
}

QFileDialog* NewFileDialog(QWidget* parent, const char* name, const QString& filter,
                           FileChoice choice) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(name);
    dialog->setNameFilter(filter);
    if (choice == FileChoice::Save)
        dialog->setAcceptMode(QFileDialog::AcceptSave);
    else
        dialog->setFileMode(QFileDialog::ExistingFile);
    ShowWholeColumns(*dialog);
    return dialog;
}

}  // namespace mw
