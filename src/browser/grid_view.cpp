#include "browser/grid_view.h"

#include <QKeyEvent>

#include "browser/grid_rows.h"

TGridView::TGridView(QWidget* parent) : QTableView(parent) {
    setEditTriggers(DoubleClicked | EditKeyPressed | AnyKeyPressed);
}

bool TGridView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    auto* rows = qobject_cast<TGridRows*>(model());
    if (!rows || !index.isValid() || trigger == NoEditTriggers || trigger == CurrentChanged ||
        trigger == SelectedClicked)
        return QTableView::edit(index, trigger, event);
    if (!(editTriggers() & trigger)) return false;
    const QModelIndex value = index.sibling(index.row(), 1);
    bool inPlace = false;
    {
        TBrowserWork::Scope work(rows->Work());  // an item row is made on first use
        const TRowEditor* editor = rows->Editor(value.row());
        if (!editor || !editor->IsEditable()) return false;
        inPlace = editor->EditsInPlace();
    }
    if (inPlace) {
        setCurrentIndex(value);
        return QTableView::edit(value, trigger, event);
    }
    // typing is no request for a dialog
    if (trigger != AnyKeyPressed && mOpenDialog) mOpenDialog(value.row());
    return false;
}

void TGridView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != EditingState && event->modifiers() == Qt::NoModifier &&
        currentIndex().isValid()) {
        edit(currentIndex(), EditKeyPressed, event);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
