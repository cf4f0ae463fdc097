#pragma once

#include <QAbstractItemModel>
#include <QPointer>
#include <functional>
#include <memory>

#include "browser/browser_node.h"
#include "browser/grid_rows.h"

class QLabel;
class QTableView;
class QTreeView;
class TBrowserWork;
class TEditorKit;

// The object tree: one root (a runtime object or a Python object), whose containers become
// nodes, built when a node is expanded and thrown away when it is collapsed; and, for the
// selected node, the rows of the member grid. Labels and images are made when the view asks.
class TBrowserModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // Expanding everything below a node stops after this many new nodes.
    static constexpr int kExpandBudget = 100000;
    // Expanding everything opens nodes in the view down to this many levels below the node.
    static constexpr int kViewDepth = 2000;

    TBrowserModel(QTreeView* tree, QTableView* grid, QLabel* caption, QWidget* keyValPanel,
                  TEditorKit& kit, QObject* parent = nullptr);
    ~TBrowserModel() override;

    // Replaces the tree by one root node for `object` or, without one, for `python`.
    void SetRoot(IRoot* object, PyObject* python, const QString& label, bool show);
    // Rebuilds the node's children from its live object.
    void ExpandNode(TBrowserNode* node);
    // Throws the node's children away; the next expansion rebuilds them.
    void CollapseNode(TBrowserNode* node);
    // Expands the node and everything below it, never into an object that is already an
    // ancestor, and stops after kExpandBudget new nodes; false when it stopped early.
    bool ExpandAll(TBrowserNode* node);
    int NodeImage(const TBrowserNode* node) const;
    // Shows what the selected node is and fills the grid; false when no data node is selected.
    bool RefreshSelection();

    TBrowserNode* Selected() const;
    TBrowserNode* Top() const;
    TBrowserNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TBrowserNode* node) const;
    void Select(const TBrowserNode* node);
    QString Label(const TBrowserNode* node) const;
    TGridRows& Rows() { return *mRows; }

    // The runtime object a node shows (its own, or the one its Python object wraps), or null.
    static IRoot* NodeObject(const TBrowserNode* node);
    static PyObject* NodePython(const TBrowserNode* node);

    // Hides in the tree every node whose label does not hold `text` (case-insensitive) and that
    // has no such node below it; a node whose label holds it is shown in bold. Only the nodes
    // already built count: nothing is expanded for the filter. Nodes built later are filtered
    // as they come, and an empty text shows every node again.
    void SetFilter(const QString& text);
    bool Filtering() const { return !mFilter.isEmpty(); }

    // The tree view is being told to expand a node whose children were just built.
    bool ExpandingInView() const { return mExpandingInView; }
    void ExpandInView(const TBrowserNode* node);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void ReplaceChildren(TBrowserNode* node, std::vector<std::unique_ptr<TBrowserNode>> children);
    void RetireChildren(TBrowserNode* node);
    void SetRootSlot(IRoot* object, PyObject* python, const QString& label);
    QString RootLabel(IRoot* object, PyObject* python, const QString& label) const;

    // Children of an object, appended to `out`.
    void AddObjectChildren(TBrowserNode* node, IRoot* object,
                           std::vector<std::unique_ptr<TBrowserNode>>& out);
    void AddPythonChildren(TBrowserNode* node, PyObject* object,
                           std::vector<std::unique_ptr<TBrowserNode>>& out);
    bool ExpandBelow(TBrowserNode* top, bool& tooDeep);

    // The filter: whether a node's label holds the text, one pass over a subtree that answers
    // whether its top shows, the children a rebuild just made, and the view's hidden flag.
    bool Matches(TBrowserNode* node) const;
    bool FilterBelow(TBrowserNode* node);
    void FilterNewChildren(TBrowserNode* node);
    void ShowRow(TBrowserNode* node, bool shown);
    void UnhideBelow(TBrowserNode* node);

    QPointer<QTreeView> mTree;
    QPointer<QTableView> mGrid;
    QPointer<QLabel> mCaption;
    QPointer<QWidget> mKeyValPanel;
    TEditorKit& mKit;
    TBrowserWork& mWork;
    std::unique_ptr<TGridRows> mRows;

    VnMemberDescriptor mRootDesc{};
    void* mRootSlot = nullptr;  // IRoot* (type 6) or PyObject* (type 11), one reference
    QByteArray mRootLabel;
    std::unique_ptr<TBrowserNode> mInvisibleRoot;  // parent of the top-level node
    bool mExpandingInView = false;
    QString mFilter;  // case-folded; empty when nothing is filtered
};
