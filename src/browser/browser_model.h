#pragma once

#include <QAbstractItemModel>
#include <memory>

#include "browser/browser_node.h"

class TBrowserWork;
class TEditorKit;

// The object tree: one root (a runtime object or a Python object), whose containers become
// nodes, built when a node is expanded and thrown away when it is collapsed. Labels and images
// are made when the view asks. What a view should do beyond showing rows (hide a row for the
// filter, open a node code built) it hears as a signal.
class TBrowserModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // Expanding everything below a node stops after this many new nodes.
    static constexpr int kExpandBudget = 100000;
    // Expanding everything opens nodes in the view down to this many levels below the node.
    static constexpr int kViewDepth = 2000;

    explicit TBrowserModel(TEditorKit& kit, QObject* parent = nullptr);
    ~TBrowserModel() override;

    // Replaces the tree by one root node for `object` or, without one, for `python`.
    void SetRoot(IRoot* object, PyObject* python, const QString& label);
    // Rebuilds the node's children from its live object.
    void ExpandNode(TBrowserNode* node);
    // Throws the node's children away; the next expansion rebuilds them.
    void CollapseNode(TBrowserNode* node);
    // How expanding everything ended: it went through, it stopped after kExpandBudget new
    // nodes, or it went through but left nodes deeper than kViewDepth closed in the view.
    enum class ExpandEnd { Whole, Stopped, TooDeep };
    // Expands the node and everything below it, never into an object that is already an
    // ancestor, and stops after kExpandBudget new nodes.
    ExpandEnd ExpandAll(TBrowserNode* node);
    int NodeImage(const TBrowserNode* node) const;

    // How many nodes a search for a way down builds before it gives up.
    static constexpr int kFindBudget = 20000;
    // A way from a node down to one showing a wanted object: the nodes the search built, apart
    // from the tree (they keep what they show alive), and the steps, the first below `from`.
    struct Way {
        std::vector<std::unique_ptr<TBrowserNode>> built;
        std::vector<const TBrowserNode*> steps;
    };
    // The shortest way from `from` down to a node whose Identity is `wanted`, through members,
    // list items and script attributes, entering each object once. Nothing in the tree changes;
    // the steps are empty when `budget` nodes were built without reaching it.
    Way FindWay(TBrowserNode* from, const void* wanted, int budget = kFindBudget);
    // The Python expression that reaches `object` (or the Python object `python`) from the
    // nearest registered object, over the shortest way FindWay finds from the running object
    // table; empty when none within the budget reaches it. The tree does not change.
    QString PathFromTable(IRoot* object, PyObject* python);
    // What a node shows, compared to tell objects apart: a runtime object's identity, or the
    // Python object; null for a node without data.
    static const void* Identity(const TBrowserNode* node);
    static const void* Identity(IRoot* object, PyObject* python);

    TBrowserNode* Top() const;
    TBrowserNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TBrowserNode* node) const;
    QString Label(const TBrowserNode* node) const;

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

signals:
    // The filter shows or hides the node's row.
    void RowShownChanged(const TBrowserNode* node, bool shown);
    // A node whose children code just built is to show expanded.
    void OpenRequested(const TBrowserNode* node);
    // The filter's text changed: rows that stay may gain or lose their bold.
    void FilterApplied();

public:
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

    TEditorKit& mKit;
    TBrowserWork& mWork;

    VnMemberDescriptor mRootDesc{};
    void* mRootSlot = nullptr;  // IRoot* (type 6) or PyObject* (type 11), one reference
    QByteArray mRootLabel;
    std::unique_ptr<TBrowserNode> mInvisibleRoot;  // parent of the top-level node
    bool mExpandingInView = false;
    QString mFilter;  // case-folded; empty when nothing is filtered
};
