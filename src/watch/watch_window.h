#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

class QAction;
class QTableView;
class TWatchList;
class TWatchPlot;

// The "Watches" window: the watched values with their paths, values, a small plot each and their
// conditions, reordered by drag; below, the plot of the current watch. Its commands remove,
// clear, and copy or save the samples as CSV.
class TWatchWindow : public QWidget {
    Q_OBJECT
public:
    explicit TWatchWindow(TWatchList& list, QWidget* parent = nullptr);

    QTableView* Table() const { return mTable; }
    TWatchPlot* Plot() const { return mPlot; }
    // Draws what was sampled since the last drawing; the timer calls it.
    void Redraw();
    // The rows selected, or every row when none is.
    std::vector<int> ChosenRows() const;
    void RemoveChosen();
    void CopyCsv();
    // Asks for a file and writes the CSV there; false when nothing was written.
    bool SaveCsv();
    bool SaveCsvTo(const QString& file);
    static constexpr int kRedrawMs = 100;

private:
    void BuildActions();
    QAction* AddAction(const char* name, const QString& caption, const QKeySequence& key,
                       const std::function<void()>& handler);

    TWatchList& mList;
    QTableView* mTable = nullptr;
    TWatchPlot* mPlot = nullptr;
    QTimer mRedraw;
    bool mDirty = true;
};
