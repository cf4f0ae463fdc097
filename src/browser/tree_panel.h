#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QToolButton;
class QTreeView;
class TBrowserModel;
class TmVornBrowser;
struct TBrowserNode;

// The browser's "Vorn Surfer" page (mVornPanel): its tool bar, the filter line, the tree and
// the caption below it. It owns what the selection is, hides the rows the filter leaves out
// and opens nodes in the view as the model asks.
class TTreePanel : public QWidget {
    Q_OBJECT
public:
    TTreePanel(TmVornBrowser& form, TBrowserModel& model);
    ~TTreePanel() override;

    // Made once both panels exist: the browser's actions serve the tree and the grid alike.
    void BuildActions();

    QTreeView* Tree() const { return mVornTree; }
    QToolButton* AutoRefreshButton() const { return mAutoRerfreshPropertyViewer; }
    QAction* ExpandAction() const { return mTreeExpand; }
    void SetCaption(const QString& text);

    TBrowserNode* Selected() const;
    void Select(const TBrowserNode* node);
    void UpdateEnabling(const TBrowserNode* node);

    void Expand(TBrowserNode* node);
    void Collapse(TBrowserNode* node);
    // Builds an open node again from what it holds now: a list's items, an object's members, or
    // nothing for an empty pointer.
    void ShowAnew(TBrowserNode* node);
    // Rebuilds a list node after its list changed: collapsed when empty, else expanded anew.
    void RefreshListNode(TBrowserNode* node);
    // Selects a node the user asked to see, clearing a filter that hides it.
    void Reveal(const TBrowserNode* node);

signals:
    // F2 or Enter on a node showing a pointer member that can be changed.
    void ChangeObjectKey();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildToolBar();
    void BuildTree();
    void ConnectModel();
    void ConnectTree();
    // The filter line above the tree, its focus key, its own keys (true when taken) and what
    // typing does: filters the tree, keeping the selected node in sight.
    QLineEdit* MakeFilterLine();
    void AddFilterAction();
    bool FilterLineKey(QEvent* event);
    void ApplyFilter(const QString& text);
    void ScrollToSelected();
    void RightClick(QEvent* event);
    bool TreeKey(QEvent* event);
    void OnTreeAction();

    TmVornBrowser& mForm;
    TBrowserModel& mModel;
    QLineEdit* mTreeFilter = nullptr;
    QTreeView* mVornTree = nullptr;
    // its viewport, watched for right clicks; compared only, never called: events reach the
    // filter while the tree is being destroyed
    QWidget* mTreeViewport = nullptr;
    QLabel* mCustomEditPanel = nullptr;
    QToolButton* mAutoRerfreshPropertyViewer = nullptr;
    QAction* mTreeExpand = nullptr;
    QAction* mTreeFilterFocus = nullptr;
};
