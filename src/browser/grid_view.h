#pragma once

#include <QTableView>
#include <functional>

// The member grid's view. A value is edited where it stands: F2, Enter, a double click or typing
// on a value edits it in place through the grid's delegate, or opens its dialog when it is
// edited in one (not for typing). Whichever cell of the row is current, the value is edited.
// After an edit the grid keeps the keyboard focus.
class TGridView : public QTableView {
    Q_OBJECT
public:
    explicit TGridView(QWidget* parent = nullptr);
    // What opens the dialog of row `row`'s value.
    void SetDialogOpener(std::function<void(int row)> open) { mOpenDialog = std::move(open); }

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void(int row)> mOpenDialog;
};
