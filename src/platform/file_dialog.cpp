#include "platform/file_dialog.h"

#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLayout>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

namespace {

// Widens the header's columns to their captions; answers the width the shown columns take.
int WidenColumns(QHeaderView& header) {
    int total = 0;
    for (int i = 0; i < header.count(); ++i) {
        if (header.isSectionHidden(i)) continue;
        header.resizeSection(i, std::max(header.sectionSize(i), header.sectionSizeHint(i)));
        total += header.sectionSize(i);
    }
    return total;
}

// Fits the detail view's columns each time the dialog shows: a restored state or a new font
// may have narrowed them since it was made.
class WholeColumns : public QObject {
public:
    explicit WholeColumns(QFileDialog& dialog) : QObject(&dialog), mDialog(dialog) {
        dialog.installEventFilter(this);
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
        const int needed =
            WidenColumns(*view->header()) + view->verticalScrollBar()->sizeHint().width();
        const int lacking = needed - view->viewport()->width();
        if (lacking > 0) mDialog.resize(mDialog.width() + lacking, mDialog.height());
    }

    QFileDialog& mDialog;
};

}  // namespace

namespace mw {

void ShowWholeColumns(QFileDialog& dialog) {
    dialog.setViewMode(QFileDialog::Detail);
    new WholeColumns(dialog);
}

}  // namespace mw
