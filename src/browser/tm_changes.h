#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "editors/snapshot.h"

class QLabel;
class QLineEdit;
class QTimer;
class QTreeWidget;
class TEditHistory;

// The "Changes" document: every value that differs between a snapshot (or a branch file) and
// the live world, with who changed it last. A filter line narrows the rows, a double click
// reveals the value's object in the browser, and rows go back to the snapshot's values as one
// undo step. The comparison follows the world a few times a second while the window shows.
class TmChanges : public QWidget {
    Q_OBJECT
public:
    using Reveal = std::function<void(IRoot* object)>;
    // `file`: asks for a branch file to compare the live root with, or to save the snapshot as.
    using AskFile = std::function<QString(bool save)>;
    TmChanges(TEditHistory& history, Reveal reveal, AskFile askFile, QWidget* parent = nullptr);

    void SetSnapshot(std::shared_ptr<TSnapshot> snapshot);
    std::shared_ptr<TSnapshot> Snapshot() const { return mSnapshot; }
    // Compares again and shows the rows that pass the filter.
    void Refresh();
    // Puts back the selected rows, else the current one (all rows shown when `all`); answers how
    // many values went back.
    int RevertRows(bool all);
    QTreeWidget* View() const { return mView; }
    QLineEdit* Filter() const { return mFilter; }

private:
    void BuildRows();
    void CompareWithFile();
    void SaveSnapshot();
    void ShowStatus(const QString& text);

    TEditHistory& mHistory;
    Reveal mReveal;
    AskFile mAskFile;
    std::shared_ptr<TSnapshot> mSnapshot;
    std::vector<TChangeRow> mRows;
    QLabel* mSource;
    QLineEdit* mFilter;
    QTreeWidget* mView;
    QTimer* mFollow;
};
