#pragma once

#include <QMenu>

class QMdiArea;
class QMdiSubWindow;

// The Window menu: the commands that arrange the document windows, and below them a list of
// those windows, rebuilt on every opening with the active one checked.
class TWindowMenu : public QMenu {
    Q_OBJECT
public:
    TWindowMenu(QMdiArea* area, QWidget* parent);

    void Cascade();
    // Gives the windows that are not minimized equal parts of the area, in a column or a row.
    void Tile(bool column);
    void MinimizeAll();
    // Lines the minimized windows up along the bottom of the area.
    void ArrangeIcons();
    // Lists the open document windows after the commands, the active one checked.
    void ListWindows();

private:
    void RemoveListedWindows();
    void AddWindowEntry(int index, QMdiSubWindow* window, bool current);
    void AddFillScreenEntry(int index, QWidget* window);
    // A checkable entry numbered from 1 for the first nine windows.
    QAction* AddEntry(int index, const QString& title);

    QMdiArea* mArea;
};
