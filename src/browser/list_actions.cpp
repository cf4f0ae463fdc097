#include "browser/list_actions.h"

#include <QAction>
#include <QMenu>
#include <QPersistentModelIndex>

#include "browser/browser_model.h"
#include "browser/node_slots.h"
#include "browser/tm_vorn_browser.h"
#include "browser/tm_vorn_list_sorter.h"
#include "browser/tree_panel.h"
#include "editors/browser_work.h"
#include "editors/member_edit.h"
#include "editors/row_editor.h"
#include "shell/images.h"
#include "shell/ioutput.h"
#include "vorn/os.h"

using browser::ListOf;

TListActions::TListActions(TmVornBrowser& form) : QObject(&form), mForm(form) {
    mListAdd = mForm.AddAction("mListAdd", "List", "&Add Item...", QKeySequence("Ctrl+Ins"), 3);
    mListRemove =
        mForm.AddAction("mListRemove", "List", "&Remove Item", QKeySequence("Ctrl+Del"), 3);
    mListRemoveAll = mForm.AddAction("mListRemoveAll", "List", "&Remove All", {}, 4);
    mListManage = mForm.AddAction("mListManage", "List", "&Sort && Rearrange...", {}, 4);
    Connect(mListAdd, ListAction::Add);
    Connect(mListRemove, ListAction::Remove);
    Connect(mListRemoveAll, ListAction::RemoveAll);
    Connect(mListManage, ListAction::Manage);
}

void TListActions::Connect(QAction* action, ListAction which) {
    connect(action, &QAction::triggered, this,
            [this, which] { mForm.RunWork([this, which] { OnListAction(which); }); });
}

// the popup's own list entries do what the list actions do
void TListActions::AddPopupEntries(QMenu* popup) {
    auto entry = [popup](const char* name, const char* caption, int image) {
        QAction* a = popup->addAction(caption);
        a->setObjectName(name);
        a->setVisible(false);
        if (image >= 0) a->setProperty("image", image);
        return a;
    };
    mNewItem = entry("mNewItem", "&New Item", mw::images::kNew);
    mDeleteItem = entry("mDeleteItem", "&Delete Item", 12);
    mSortList = entry("mSortList", "&Sort List...", -1);
    Connect(mNewItem, ListAction::Add);
    Connect(mDeleteItem, ListAction::Remove);
    Connect(mSortList, ListAction::Manage);
}

QList<QAction*> TListActions::Actions() const {
    return {mListAdd, mListRemove, mListRemoveAll, mListManage};
}

void TListActions::UpdateEnabling(const TBrowserNode* node) {
    const bool hasData = node && node->HasData();
    VnRef<IList> list = ListOf(hasData ? TBrowserModel::NodeObject(node) : nullptr);
    const TBrowserNode* parent = node ? node->parent : nullptr;
    mListAdd->setEnabled(bool(list));
    mListManage->setEnabled(bool(list));
    mListRemoveAll->setEnabled(list && list->GetCount() > 0);
    mListRemove->setEnabled(parent && parent->HasData() &&
                            ListOf(TBrowserModel::NodeObject(parent)));
}

void TListActions::UpdatePopupEntries(IRoot* object) {
    for (QAction* a : {mNewItem, mDeleteItem, mSortList}) a->setEnabled(false);
    if (ListOf(object)) {
        mNewItem->setEnabled(true);
        mSortList->setEnabled(true);
    }
}

void TListActions::OnListAction(ListAction action) {
    TBrowserNode* node = mForm.Selected();
    if (!node) return;
    TBrowserNode* changed = nullptr;
    const bool shown = action == ListAction::Remove ? RemoveItem(node, &changed)
                                                    : ChangeList(node, action, &changed);
    if (!shown) return;
    if (changed) mForm.TreePanel().RefreshListNode(changed);
    mForm.ActionDone();
}

bool TListActions::RemoveItem(TBrowserNode* node, TBrowserNode** changed) {
    TBrowserNode* parent = node->parent;
    VnRef<IList> list = ListOf(TBrowserModel::NodeObject(parent));
    if (!list) return false;
    TBrowserModel& model = mForm.Model();
    const int position = node->position >= 0 ? node->position : node->row;
    TListEdit edit(mForm.Kit(), list.get());
    const QString text = "Remove item from " + model.Label(parent);
    mForm.Select(parent);  // the removed item's node goes with the rebuild
    list->RemoveItem(position);
    edit.Record(text);
    *changed = parent;
    return true;
}

bool TListActions::ChangeList(TBrowserNode* node, ListAction action, TBrowserNode** changed) {
    VnRef<IList> list = ListOf(TBrowserModel::NodeObject(node));
    if (!list) return false;
    TBrowserModel& model = mForm.Model();
    TListEdit edit(mForm.Kit(), list.get());
    const QString name = model.Label(node);
    if (action == ListAction::Add) list->AddItem(-1, nullptr);  // a refusal is logged below
    if (action == ListAction::RemoveAll) list->RemoveItem(-1);
    // the sorter moves the items as the user asks, so even a cancelled one may have moved some;
    // scripts may rebuild the tree while it shows: the node is looked up again after it
    const QPersistentModelIndex at(model.IndexOf(node));
    const bool sorted = action == ListAction::Manage && RunSorter(list.get());
    *changed = model.NodeOf(at);
    const char* what = action == ListAction::Add         ? "Add item to "
                       : action == ListAction::RemoveAll ? "Remove all items from "
                                                         : "Rearrange ";
    edit.Record(what + name);
    return action != ListAction::Manage || sorted;
}

bool TListActions::RunSorter(IList* list) {
    TBrowserWork::Open open(mForm.Kit().Work());  // scripts may browse while the sorter shows
    TmVornListSorter* sorter = mForm.Sorter();
    return sorter && sorter->Run(list);
}
