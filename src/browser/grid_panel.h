#pragma once

#include <QTimer>
#include <QWidget>

class QAction;
class QKeySequence;
class QMenu;
class TGridView;
class TGridRows;
class TmVornBrowser;

// The browser's member grid (mKeyValPanel, in the main window's right panel): the table of the
// selected node's rows under a header that stays, its popup, the dialogs its values open and
// the timer that redraws its values.
class TGridPanel : public QWidget {
    Q_OBJECT
public:
    explicit TGridPanel(TmVornBrowser& form);
    ~TGridPanel() override;

    TGridView* Grid() const { return mGrid; }
    // Shows `rows`, which outlive the panel's use of them.
    void SetRows(TGridRows& rows);
    // The popup's entries show `copyKey` and `watchKey`, the browser's keys for the same
    // commands.
    void BuildPopup(const QKeySequence& copyKey, const QKeySequence& watchKey);
    void StartAutoRedraw();
    void StopAutoRedraw();
    // The row "Copy Python Path" works on from the keyboard: the current one with the focus,
    // else -1 for the selected node.
    int CopyRow() const;

    // Handlers of the controls.
    void mAutoRerfreshPropertyViewerClick(bool on);
    void mAutoRedrawTimer();

private:
    void BuildGrid();
    void ConnectGrid();

    TmVornBrowser& mForm;
    TGridRows* mRows = nullptr;
    TGridView* mGrid = nullptr;
    QMenu* mGridPopup = nullptr;
    QTimer mAutoRedraw;
};
