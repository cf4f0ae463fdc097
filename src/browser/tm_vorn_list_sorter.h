#pragma once

#include <QDialog>

class IList;
class IRoot;
class QListWidget;
class QPushButton;

// "List Manipulating Device": reorders the items of a runtime list, each move applied at once.
class TmVornListSorter : public QDialog {
    Q_OBJECT
public:
    enum class Move { Top, Up, Down, Bottom };

    explicit TmVornListSorter(QWidget* parent = nullptr);
    // Shows the list's items modally; false when the list is empty or the user cancelled.
    // The caller holds the list while the dialog runs.
    bool Run(IList* list);
    void OnMoveItem(Move which);
    void mListBoxClick();

private:
    QPushButton* AddMoveButton(const char* name, const char* text, int y, Move which);
    // One line per item in list order; selects the line of `selected`, else the first line.
    void FillListBox(IRoot* selected);
    // The lines still stand for the list's items in order.
    bool ShowsList() const;
    int SelectedLine() const;  // -1 when none
    IRoot* LineObject(int line) const;
    void UpdateButtons();

    IList* mList = nullptr;  // only while Run shows it
    QListWidget* mListBox;
    QPushButton* mTop;
    QPushButton* mUp;
    QPushButton* mDown;
    QPushButton* mBottom;
    QPushButton* mOK;
};
