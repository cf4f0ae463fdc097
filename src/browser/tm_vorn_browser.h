#pragma once

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "vorn/iroot.h"

class IOutput;
class IShell;
class QAction;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QTableView;
class QToolButton;
class QTreeView;
class TBrowserModel;
class TBrowserWork;
class TEditorKit;
class TmObjPropertyDlg;
class TmVornListSorter;
struct TBrowserNode;

// The object browser's form: its tree and caption live in the main window's "Vorn Surfer" page,
// its member grid in the right panel; the form itself never shows. It holds the popup menu and
// every browser action with its enabling rule.
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
    // What the browser is doing, for script calls that would change it.
    TBrowserWork& Work() const;
    QTreeView* Tree() const { return mVornTree; }
    // Puts on the clipboard the Python expression of grid row `row`'s value, or of the selected
    // node's for the header or no row; says in the status bar when nothing reaches it.
    void CopyPythonPath(int row);
    QTableView* Grid() const { return mGrid; }

    // What the application's exception handler calls: the tree becomes one root for None
    // labelled with the message.
    void ResetAfterException(const QString& message);
    // What scripts call.
    void Browse(IRoot* object, PyObject* python, const QString& label, bool show);
    void ExpandSelected();
    void CollapseSelectedParent();
    void ExpandEverything();
    void CollapseEverything();

    // Handlers of the controls.
    void mGoHomeClick();
    void mGoKxDeviceClick();
    void mAutoRerfreshPropertyViewerClick();
    void mAutoRedrawTimer();
    void mPopupPopup();
    void mActionUpdate();
    enum class ListAction { Add, Remove, RemoveAll, Manage };
    void OnListAction(ListAction action);
    enum class IRootAction { Properties, NewObject, Clear, FindInROT, Branch, Share, Assign };
    void OnIRootAction(IRootAction action);
    void OnTreeAction();
    void NewObjectClick(int line);
    // Opens the object picker for the selected object pointer member (F2, Enter, the popup).
    void ChangeObject();

    QStringList ClassList() const { return mClassList; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The filter line above the tree, its focus key, its own keys (true when taken) and what
    // typing does: filters the tree, keeping the selected node in sight.
    QLineEdit* MakeFilterLine();
    void AddFilterAction();
    bool FilterLineKey(QEvent* event);
    void ApplyFilter(const QString& text);
    void ScrollToSelected();

    void RunWork(const std::function<void()>& task);
    void RefreshSelection();
    void BuildPanels();
    void BuildActions();
    void BuildPopup();
    void FormCreate(const QString& classList);
    void LoadClassList(const QString& path);
    QAction* AddAction(const char* name, const char* category, const QString& caption,
                       const QKeySequence& key, int image);

    void ShowAnew(TBrowserNode* node);
    // Tells the owner of the selected node's member that it changed.
    void NotifyOwner(const TBrowserNode* node);
    // Stores `object` in the pointer member `node` shows, tells the owner and records the step
    // "<step>material of light1"; false, with the error in the log, when the member refuses it.
    bool StoreInPointer(const TBrowserNode* node, IRoot* object, const QString& step);
    // Rebuilds a list node after its list changed: collapsed when empty, else expanded anew.
    void RefreshListNode(TBrowserNode* node);
    // Shows again what an undone or redone step changed.
    void ShowStepApplied(IRoot* target);
    void Collapse(TBrowserNode* node);
    void Expand(TBrowserNode* node);
    void Branch(const TBrowserNode* node);
    void FindInRot(const TBrowserNode* node);
    bool RunSorter(IList* list);

    IShell& mShell;
    IOutput& mOutput;
    TEditorKit& mKit;
    QStringList mClassList;
    std::unique_ptr<TBrowserModel> mModel;
    QPointer<TmVornListSorter> mSorter;
    QPointer<TmObjPropertyDlg> mProperties;

    QPointer<QWidget> mVornPanel;
    QPointer<QWidget> mKeyValPanel;
    QLineEdit* mTreeFilter = nullptr;
    QTreeView* mVornTree = nullptr;
    // its viewport, watched for right clicks; compared only, never called: events reach the
    // filter while the tree is being destroyed
    QWidget* mTreeViewport = nullptr;
    QTableView* mGrid = nullptr;
    QLabel* mCustomEditPanel = nullptr;
    QToolButton* mAutoRerfreshPropertyViewer = nullptr;
    QMenu* mPopup = nullptr;
    QMenu* mPopupMacro = nullptr;
    QMenu* mContextMenu = nullptr;
    QMenu* mNewObjectMenu = nullptr;
    QAction* mNewItem = nullptr;
    QAction* mDeleteItem = nullptr;
    QAction* mSortList = nullptr;
    QAction* mListAdd = nullptr;
    QAction* mListRemove = nullptr;
    QAction* mIRootNewObject = nullptr;
    QAction* mListRemoveAll = nullptr;
    QAction* mListManage = nullptr;
    QAction* mIRootClear = nullptr;
    QAction* mIRootFindInROT = nullptr;
    QAction* mTreeExpand = nullptr;
    QAction* mTreeFilterFocus = nullptr;
    QAction* mIRootProperties = nullptr;
    QAction* mIRootBranch = nullptr;
    QAction* mCopyPythonPath = nullptr;
    QMenu* mGridPopup = nullptr;
    QAction* mIRootShare = nullptr;
    QAction* mIRootAssign = nullptr;
    QAction* mChangeObject = nullptr;
    QTimer mAutoRedraw;
    QPointer<QFileDialog> mDlgSave;
};
