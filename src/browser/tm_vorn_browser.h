#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "vorn/iroot.h"
#include "vorn/weak.h"

class IOutput;
class IShell;
class QAction;
class QMenu;
class QTableView;
class QTreeView;
class TBrowserModel;
class TBrowserWork;
class TEditorKit;
class TGridPanel;
class TGridRows;
class TListActions;
class TObjectActions;
class TmObjPropertyDlg;
class TmChanges;
class TmVornListSorter;
class TSnapshot;
class TTreePanel;
struct TBrowserNode;

// The object browser's form: its tree panel lives in the main window's "Vorn Surfer" page, its
// grid panel in the right panel; the form itself never shows. It makes the panels and the
// action sets, wires them, holds the popup menu and shows what the selected node is.
class TmVornBrowser : public QWidget {
    Q_OBJECT
public:
    // `classList` is the file whose lines are the New Object submenu (one class id each).
    TmVornBrowser(IShell& shell, IOutput& output, TEditorKit& kit, const QString& classList,
                  QWidget* parent = nullptr);
    ~TmVornBrowser() override;

    static QString DefaultClassList();

    // The dialogs the list actions open; they are made after the browser.
    void SetDialogs(TmVornListSorter* sorter, TmObjPropertyDlg* properties);

    TBrowserModel& Model() const { return *mModel; }
    // The rows of the member grid, for the selected node.
    TGridRows& Rows() const { return *mRows; }
    // What the browser is doing, for script calls that would change it.
    TBrowserWork& Work() const;
    QTreeView* Tree() const;
    QTableView* Grid() const;
    // Puts on the clipboard the Python expression of grid row `row`'s value, or of the selected
    // node's for the header or no row; says in the status bar when nothing reaches it.
    void CopyPythonPath(int row);
    // Watches the value Copy Python Path would give for `row`, saying in the status bar what it
    // watches or why it cannot.
    void WatchValue(int row);

    // The node the tree's current row shows, or null; selecting one makes it current.
    TBrowserNode* Selected() const;
    void Select(const TBrowserNode* node);
    // Shows what the selected node is (status text, caption) and fills the grid with its rows;
    // false when no data node is selected.
    bool RefreshSelection();
    // Expands everything below `node`, saying in the status bar where it stopped; false when it
    // stopped early.
    bool ExpandAll(TBrowserNode* node);

    // What the application's exception handler calls: the tree becomes one root for None
    // labelled with the message.
    void ResetAfterException(const QString& message);
    // What scripts call.
    void Browse(IRoot* object, PyObject* python, const QString& label, bool show);
    void ExpandSelected();
    void CollapseSelectedParent();
    void ExpandEverything();
    void CollapseEverything();
    // Shows the running object table as the tree's root, opens the shortest way from a
    // registered object down to `object` (or to the Python object `python`) and selects its
    // node; false, said in the status bar, when no way within TBrowserModel::kFindBudget nodes
    // reaches it.
    bool Reveal(IRoot* object, PyObject* python);
    // Takes a snapshot of the selected node's object and compares with it in "Changes".
    void TakeSnapshot();
    // Shows the "Changes" document (made on first use), comparing with `snapshot` if given.
    TmChanges* ShowChanges(std::shared_ptr<TSnapshot> snapshot = {});

    // Handlers of the tool bar.
    void mGoHomeClick();
    void mGoKxDeviceClick();
    void mPopupPopup();
    void mActionUpdate();

    // What the panels and action sets share: user requests run as the browser's work; the
    // browser's actions serve the tree and the grid alike.
    void RunWork(const std::function<void()>& task);
    QAction* AddAction(const char* name, const char* category, const QString& caption,
                       const QKeySequence& key, int image);
    // Refreshes the selection and the enabling after an action changed what is shown.
    void ActionDone();
    TTreePanel& TreePanel() const;
    IShell& Shell() const { return mShell; }
    IOutput& Output() const { return mOutput; }
    TEditorKit& Kit() const { return mKit; }
    TmVornListSorter* Sorter() const;
    TmObjPropertyDlg* Properties() const;

    QStringList ClassList() const;

signals:
    // The runtime object the selected node shows is another one now: null for none, or for a
    // node that shows no runtime object.
    void SelectedObjectChanged(IRoot* object);
    // The user added watch `index`.
    void WatchAdded(int index);

private:
    void BuildPopup();
    // The path Copy Python Path makes for `row` of the selected node; empty when nothing is
    // selected or no path reaches it, which the status bar then says.
    QString PathOf(int row);
    void ConnectTree();
    void ConnectHistory();
    // Shows again what an undone or redone step changed.
    void ShowStepApplied(IRoot* target);
    // Tells whoever listens when the selection shows another runtime object.
    void NoteSelectedObject(const TBrowserNode* node);
    // The live child of `node` that shows what `step` of a found way shows, or null.
    TBrowserNode* ChildLike(TBrowserNode* node, const TBrowserNode* step);

    IShell& mShell;
    IOutput& mOutput;
    TEditorKit& mKit;
    std::unique_ptr<TBrowserModel> mModel;
    std::unique_ptr<TGridRows> mRows;
    QPointer<TmVornListSorter> mSorter;
    QPointer<TmObjPropertyDlg> mProperties;

    // the panels live in the main window, which may take them along before the form goes
    QPointer<TTreePanel> mTreePanel;
    QPointer<TGridPanel> mGridPanel;
    TListActions* mListActions = nullptr;
    TObjectActions* mObjectActions = nullptr;
    QAction* mCopyPythonPath = nullptr;
    QPointer<TmChanges> mChanges;
    QAction* mWatch = nullptr;
    QMenu* mPopup = nullptr;
    QMenu* mPopupMacro = nullptr;
    QMenu* mContextMenu = nullptr;
    VnWeak<IRoot> mSelectedObject;  // what SelectedObjectChanged last said
};
