#pragma once

#include <QDialog>

#include "vorn/ref.h"

class IList;
class IRoot;
class QListView;
class QPushButton;
class TSorterLines;

// "List Manipulating Device": reorders the items of a runtime list, each move applied at once.
class TmVornListSorter : public QDialog {
    Q_OBJECT
public:
    enum class Move { Top, Up, Down, Bottom };

    explicit TmVornListSorter(QWidget* parent = nullptr);
    // Shows the list's items modally; false when the list is empty or the user cancelled.
    // The list and its items are held while the dialog runs and let go when it closes.
    bool Run(IList* list);
    void OnMoveItem(Move which);
    void mListBoxClick();

private:
    QPushButton* AddMoveButton(const char* name, const char* text, int y, Move which);
    // One line per item in list order; selects the line of `selected`, else the first line.
    void FillListBox(IRoot* selected);
    void SelectLine(int line);
    int SelectedLine() const;  // -1 when none
    void UpdateButtons();

    VnRef<IList> mList;  // only while Run shows it
    TSorterLines* mLines;
    QListView* mListBox;
    QPushButton* mTop;
    QPushButton* mUp;
    QPushButton* mDown;
    QPushButton* mBottom;
    QPushButton* mOK;
};
