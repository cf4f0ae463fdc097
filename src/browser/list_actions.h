#pragma once

#include <QObject>

class IList;
class IRoot;
class QAction;
class QMenu;
class TmVornBrowser;
struct TBrowserNode;

// The browser's list actions: Add Item, Remove Item, Remove All, Sort & Rearrange, and the
// popup's own list entries that do the same. Each change is recorded as one undo step.
class TListActions : public QObject {
    Q_OBJECT
public:
    enum class ListAction { Add, Remove, RemoveAll, Manage };

    explicit TListActions(TmVornBrowser& form);

    // The popup's hidden entries, in its order.
    void AddPopupEntries(QMenu* popup);
    // The actions the popup shows after its own entries.
    QList<QAction*> Actions() const;
    void UpdateEnabling(const TBrowserNode* node);
    // Disables the popup's entries, then enables those that suit a list node.
    void UpdatePopupEntries(IRoot* object);

    void OnListAction(ListAction action);

private:
    void Connect(QAction* action, ListAction which);
    // Each sets the node to build again; false when nothing is to be shown anew.
    bool RemoveItem(TBrowserNode* node, TBrowserNode** changed);
    bool ChangeList(TBrowserNode* node, ListAction action, TBrowserNode** changed);
    bool RunSorter(IList* list);

    TmVornBrowser& mForm;
    QAction* mListAdd = nullptr;
    QAction* mListRemove = nullptr;
    QAction* mListRemoveAll = nullptr;
    QAction* mListManage = nullptr;
    QAction* mNewItem = nullptr;
    QAction* mDeleteItem = nullptr;
    QAction* mSortList = nullptr;
};
