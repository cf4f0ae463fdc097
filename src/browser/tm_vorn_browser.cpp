#include "browser/tm_vorn_browser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstdio>

#include "browser/browser_model.h"
#include "browser/browser_rules.h"
#include "browser/grid_panel.h"
#include "browser/grid_rows.h"
#include "browser/grid_view.h"
#include "browser/list_actions.h"
#include "browser/node_slots.h"
#include "browser/object_actions.h"
#include "browser/python_path.h"
#include "browser/tm_changes.h"
#include "browser/tm_obj_property_dlg.h"
#include "browser/tm_vorn_list_sorter.h"
#include "browser/tree_panel.h"
#include "core/class_id.h"
#include "core/value_text.h"
#include "editors/browser_work.h"
#include "editors/row_editor.h"
#include "editors/snapshot.h"
#include "platform/program_files.h"
#include "script/macro.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"
#include "watch/watch_list.h"

namespace {

// Puts `panel` into the layout of `place`, filling it.
void PutInto(QWidget* panel, QWidget* place) {
    if (!place || !panel) return;
    panel->setParent(place);
    if (!place->layout()) {
        auto* layout = new QVBoxLayout(place);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    place->layout()->addWidget(panel);
    panel->show();
}

// A big Python container is named by its type and size: its text would be made of every item
// only to fill the status bar. Null for anything else.
const char* ContainerSummary(PyObject* object, char* buffer, std::size_t size) {
    constexpr Py_ssize_t kTextItems = 1000;
    if (!object || !browser::IsContainer(object) ||
        (!PySequence_Check(object) && !PyDict_Check(object)))
        return nullptr;
    const Py_ssize_t n = PyObject_Length(object);
    if (n < 0) PyErr_Clear();
    if (n <= kTextItems) return nullptr;
    std::snprintf(buffer, size, "%s of %zd items", Py_TYPE(object)->tp_name, n);
    return buffer;
}

}  // namespace

TmVornBrowser::TmVornBrowser(IShell& shell, IOutput& output, TEditorKit& kit,
                             const QString& classList, QWidget* parent)
    : QWidget(parent), mShell(shell), mOutput(output), mKit(kit) {
    setObjectName("mVornBrowser");
    resize(696, 524);
    hide();
    mModel = std::make_unique<TBrowserModel>(mKit);
    mTreePanel = new TTreePanel(*this, *mModel);
    mGridPanel = new TGridPanel(*this);
    mRows = std::make_unique<TGridRows>(mGridPanel->Grid(), mKit);
    mGridPanel->SetRows(*mRows);
    mListActions = new TListActions(*this);
    mObjectActions = new TObjectActions(*this, classList);
    mTreePanel->BuildActions();
    mCopyPythonPath =
        AddAction("mCopyPythonPath", "Tree", "Copy P&ython Path", QKeySequence("Ctrl+Shift+C"), -1);
    connect(mCopyPythonPath, &QAction::triggered, this,
            [this] { RunWork([this] { CopyPythonPath(mGridPanel->CopyRow()); }); });
    // not Ctrl+W: that closes the document windows
    mWatch = AddAction("mWatch", "Tree", "&Watch", QKeySequence("Ctrl+Shift+W"), -1);
    connect(mWatch, &QAction::triggered, this,
            [this] { RunWork([this] { WatchValue(mGridPanel->CopyRow()); }); });
    BuildPopup();
    mGridPanel->BuildPopup(mCopyPythonPath->shortcut(), mWatch->shortcut());
    PutInto(mTreePanel, mShell.Place(TShellPlace::BrowserPage));
    PutInto(mGridPanel, mShell.Place(TShellPlace::RightPanel));
    ConnectHistory();
    ConnectTree();
    mGridPanel->StartAutoRedraw();
    mActionUpdate();
}

// The rows and the model go first: the rows paint through the grid and the nodes hold runtime
// objects.
TmVornBrowser::~TmVornBrowser() {
    if (mGridPanel) mGridPanel->StopAutoRedraw();
    {
        TBrowserWork::Scope work(mKit.Work());  // a __del__ run now may not browse
        mRows.reset();
        mModel.reset();
    }
    mKit.Work().ReleaseAll();
    delete mTreePanel;
    delete mGridPanel;
}

QString TmVornBrowser::DefaultClassList() { return mw::ProgramFile("classlist.txt"); }

void TmVornBrowser::SetDialogs(TmVornListSorter* sorter, TmObjPropertyDlg* properties) {
    mSorter = sorter;
    mProperties = properties;
}

TTreePanel& TmVornBrowser::TreePanel() const { return *mTreePanel; }

TmVornListSorter* TmVornBrowser::Sorter() const { return mSorter; }

TmObjPropertyDlg* TmVornBrowser::Properties() const { return mProperties; }

QTreeView* TmVornBrowser::Tree() const { return mTreePanel ? mTreePanel->Tree() : nullptr; }

QTableView* TmVornBrowser::Grid() const { return mGridPanel ? mGridPanel->Grid() : nullptr; }

QStringList TmVornBrowser::ClassList() const { return mObjectActions->ClassList(); }

QAction* TmVornBrowser::AddAction(const char* name, const char* category, const QString& caption,
                                  const QKeySequence& key, int image) {
    auto* action = new QAction(caption, mTreePanel);
    action->setObjectName(name);
    action->setProperty("category", category);
    if (!key.isEmpty()) action->setShortcut(key);
    // the browser's keys work while its tree or grid has the focus, not in the console
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    if (image >= 0) {
        action->setProperty("image", image);
        action->setIcon(mShell.Image(image));
    }
    mTreePanel->addAction(action);
    mGridPanel->addAction(action);
    return action;
}

void TmVornBrowser::BuildPopup() {
    mPopup = new QMenu(mTreePanel);
    mPopup->setObjectName("mPopup");
    mPopupMacro = mPopup->addMenu("ROT");
    mPopupMacro->setObjectName("mPopupMacro");
    mContextMenu = mPopup->addMenu("DoFuncy");
    mContextMenu->setObjectName("mContextMenu");
    mListActions->AddPopupEntries(mPopup);
    mPopup->addSeparator()->setObjectName("N1");
    QAction* expand = mTreePanel->ExpandAction();
    mPopup->addAction(expand);
    expand->setVisible(false);
    QAction* n2 = mPopup->addSeparator();
    n2->setObjectName("N2");
    n2->setVisible(false);
    mObjectActions->AddPopupEntries(mPopup, mCopyPythonPath);
    mPopup->addAction(mWatch);
    mPopup->addSeparator()->setObjectName("N4");
    mPopup->addActions(mListActions->Actions());
    mPopup->addSeparator()->setObjectName("N3");
    QAction* snapshot =
        AddAction("mTakeSnapshot", "Browser", "Take Snapshot", QKeySequence("Ctrl+Shift+S"), -1);
    connect(snapshot, &QAction::triggered, this, [this] { RunWork([this] { TakeSnapshot(); }); });
    mPopup->addAction(snapshot);
    mObjectActions->AddClosingEntries(mPopup);
    connect(mPopup, &QMenu::aboutToShow, this, [this] {
        TBrowserWork::Scope work(mKit.Work());  // the menu shows now, or not at all
        mPopupPopup();
    });
    TheMacro().BuildMenu(mPopupMacro, TheMacro().PopupFolder);
    mPopupMacro->menuAction()->setVisible(!mPopupMacro->actions().isEmpty());
}

void TmVornBrowser::ConnectHistory() {
    connect(&mKit.History(), &TEditHistory::Applied, this, [this](IRoot* target) {
        RunWork([this, keep = VnRef<IRoot>(target)] { ShowStepApplied(keep.get()); });
    });
}

void TmVornBrowser::ConnectTree() {
    QTreeView* tree = mTreePanel->Tree();
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { RunWork([this] { ActionDone(); }); });
    connect(tree, &QTreeView::clicked, this, [this] { RunWork([this] { RefreshSelection(); }); });
    connect(tree, &QTreeView::activated, this, [this] { RunWork([this] { RefreshSelection(); }); });
    connect(tree, &QWidget::customContextMenuRequested, this,
            [this, tree](const QPoint& at) { mPopup->popup(tree->viewport()->mapToGlobal(at)); });
    connect(mTreePanel, &TTreePanel::ChangeObjectKey, this,
            [this] { mObjectActions->ChangeObjectAction()->trigger(); });
    connect(mTreePanel->AutoRefreshButton(), &QToolButton::clicked, this,
            [this](bool checked) { mGridPanel->mAutoRerfreshPropertyViewerClick(checked); });
}

TBrowserWork& TmVornBrowser::Work() const { return mKit.Work(); }

// What the user asks of the browser runs as its work; while a tasklet waits inside the
// browser's work, it runs once that work is over.
void TmVornBrowser::RunWork(const std::function<void()>& task) {
    TBrowserWork& work = mKit.Work();
    if (work.BusyElsewhere()) {
        work.Later(this, [this, task] { RunWork(task); });
        return;
    }
    TBrowserWork::Scope scope(work);
    task();
}

void TmVornBrowser::ActionDone() {
    RefreshSelection();
    mActionUpdate();
}

// --- the selection -------------------------------------------------------------------------

TBrowserNode* TmVornBrowser::Selected() const {
    return mTreePanel ? mTreePanel->Selected() : nullptr;
}

void TmVornBrowser::Select(const TBrowserNode* node) {
    if (mTreePanel) mTreePanel->Select(node);
}

bool TmVornBrowser::RefreshSelection() {
    const TBrowserNode* node = Selected();
    NoteSelectedObject(node);
    if (!node || !node->HasData()) {
        if (mGridPanel) mGridPanel->hide();
        return false;
    }
    char buffer[512];
    const char* text = ContainerSummary(TBrowserModel::NodePython(node), buffer, sizeof buffer);
    if (!text) text = mw::ValueToText(node->value, buffer, sizeof buffer);
    mShell.SetStatusText(
        0, text && *text ? QString::fromUtf8(text) : QString("No description available"));
    if (mTreePanel) {
        QString caption = browser::MonikerText(TBrowserModel::NodeObject(node));
        mTreePanel->SetCaption(caption.isEmpty() ? QString::fromUtf8(mw::TypeName(node->value))
                                                 : caption);
    }
    if (mGridPanel) mGridPanel->show();
    mRows->FillRows(node);
    return true;
}

void TmVornBrowser::NoteSelectedObject(const TBrowserNode* node) {
    VnRef<IRoot> object = VnQuery<IRoot>(TBrowserModel::NodeObject(node), 1);
    if (object.get() == mSelectedObject.peek() && (!object || !mSelectedObject.expired())) return;
    mSelectedObject = VnWeak<IRoot>(object.get());
    emit SelectedObjectChanged(object.get());
}

// --- what other parts call -----------------------------------------------------------------

void TmVornBrowser::ResetAfterException(const QString& message) {
    CollapseEverything();
    mRows->ClearRows();
    mModel->SetRoot(nullptr, Py_None, message);
    Select(mModel->Top());
    RefreshSelection();
}

void TmVornBrowser::Browse(IRoot* object, PyObject* python, const QString& label, bool show) {
    mRows->ClearRows();
    mModel->SetRoot(object, python, label);
    Select(mModel->Top());
    RefreshSelection();
    if (show) mShell.ShowPlace(TShellPlace::BrowserPage);
    mActionUpdate();
}

bool TmVornBrowser::ExpandAll(TBrowserNode* node) {
    const TBrowserModel::ExpandEnd end = mModel->ExpandAll(node);
    if (end == TBrowserModel::ExpandEnd::Stopped)
        mShell.SetStatusText(
            0, QString("Expanding stopped after %1 nodes; expand further nodes one by one")
                   .arg(TBrowserModel::kExpandBudget));
    else if (end == TBrowserModel::ExpandEnd::TooDeep)
        mShell.SetStatusText(0,
                             QString("The tree shows %1 levels open; open deeper nodes one by one")
                                 .arg(TBrowserModel::kViewDepth));
    return end != TBrowserModel::ExpandEnd::Stopped;
}

void TmVornBrowser::ExpandSelected() {
    if (TBrowserNode* node = Selected()) mTreePanel->Expand(node);
}

void TmVornBrowser::CollapseSelectedParent() {
    TBrowserNode* node = Selected();
    TBrowserNode* parent = node ? node->parent : nullptr;
    if (!parent || !parent->HasData()) return;
    Select(parent);
    mTreePanel->Collapse(parent);
}

void TmVornBrowser::ExpandEverything() {
    if (TBrowserNode* top = mModel->Top()) ExpandAll(top);
}

void TmVornBrowser::CollapseEverything() {
    if (TBrowserNode* top = mModel->Top()) mTreePanel->Collapse(top);
}

QString TmVornBrowser::PathOf(int row) {
    const TBrowserNode* node = Selected();
    if (!node || !node->HasData()) return {};
    QString path = browser::NodePath(node, node);
    if (!path.isEmpty() && row >= 0) {
        const QString step = mRows->PathStep(row);
        path = step.isEmpty() ? QString() : path + step;
    }
    if (path.isEmpty()) mShell.SetStatusText(0, "No Python path reaches this value");
    return path;
}

void TmVornBrowser::WatchValue(int row) {
    const QString path = PathOf(row);
    if (path.isEmpty()) return;
    QString why;
    const int index = TWatchList::Shared().Add(path, &why);
    if (index < 0) {
        mShell.SetStatusText(0, "Cannot watch " + path + ": " + why);
        return;
    }
    mShell.SetStatusText(0, "Watching " + path);
    emit WatchAdded(index);
}

void TmVornBrowser::CopyPythonPath(int row) {
    const QString path = PathOf(row);
    if (path.isEmpty()) return;
    QGuiApplication::clipboard()->setText(path);
    mShell.SetStatusText(0, "Copied " + path);
}

bool TmVornBrowser::Reveal(IRoot* object, PyObject* python) {
    // what is looked for stays while scripts run from the search
    const VnRef<IRoot> keepObject(object);
    const PyRef keepPython = PyRef::Borrow(object ? nullptr : python);
    const void* wanted = TBrowserModel::Identity(object, object ? nullptr : python);
    // the tree stays as it is when it shows the table already, open nodes and all
    TBrowserNode* top = mModel->Top();
    if (!VnROT || TBrowserModel::Identity(top) != TBrowserModel::Identity(VnROT, nullptr)) {
        mGoHomeClick();
        top = mModel->Top();
    }
    mShell.ShowPlace(TShellPlace::BrowserPage);
    TBrowserModel::Way way = mModel->FindWay(top, wanted);
    TBrowserNode* node = way.steps.empty() ? nullptr : top;
    for (const TBrowserNode* step : way.steps) {
        if (!node) break;
        node = ChildLike(node, step);
    }
    mKit.Work().Retire(std::make_unique<TBrowserModel::Way>(std::move(way)));
    if (!node) {
        mShell.SetStatusText(0, QString("No registered object leads to it within %1 nodes")
                                    .arg(TBrowserModel::kFindBudget));
        return false;
    }
    mTreePanel->Reveal(node);
    ActionDone();
    const QString path = browser::NodePath(node, node);
    mShell.SetStatusText(
        0, "Showing " + mModel->Label(node) + (path.isEmpty() ? QString() : " at " + path));
    return true;
}

// An open node is looked in as it is; one that is closed, or no longer holds the step, is
// built again from what it holds now.
TBrowserNode* TmVornBrowser::ChildLike(TBrowserNode* node, const TBrowserNode* step) {
    const void* wanted = TBrowserModel::Identity(step);
    const auto find = [&]() -> TBrowserNode* {
        const auto at = static_cast<std::size_t>(step->row);
        if (at < node->children.size() &&
            TBrowserModel::Identity(node->children[at].get()) == wanted)
            return node->children[at].get();
        for (const auto& child : node->children)
            if (TBrowserModel::Identity(child.get()) == wanted) return child.get();
        return nullptr;
    };
    TBrowserNode* child = node->expanded ? find() : nullptr;
    if (!child) {
        mTreePanel->Expand(node);
        child = find();
    } else {
        mModel->ExpandInView(node);
    }
    return child;
}

// --- handlers ------------------------------------------------------------------------------

void TmVornBrowser::mGoHomeClick() {
    Browse(VnROT ? static_cast<IRoot*>(VnROT) : nullptr, nullptr, "ROT", true);
    if (TBrowserNode* top = mModel->Top()) mTreePanel->Expand(top);
}

void TmVornBrowser::mGoKxDeviceClick() {
    const VnCLSID device = VnMakeCLSID("kalix", "KxDevice", 4);
    void* object = nullptr;
    if (!VnROT->GetObject("kx:/dev", &device, IID_IRoot, &object, 0)) {
        mOutput.RefreshErrors();
        return;
    }
    VnRef<IRoot> held = VnRef<IRoot>::Adopt(static_cast<IRoot*>(object));
    Browse(held.get(), nullptr, "kx:/dev", true);
    if (TBrowserNode* top = mModel->Top()) mTreePanel->Expand(top);
}

void TmVornBrowser::mPopupPopup() {
    mListActions->UpdatePopupEntries(nullptr);
    mActionUpdate();
    const TBrowserNode* node = Selected();
    if (!node || !node->HasData()) return;
    IRoot* object = TBrowserModel::NodeObject(node);
    mContextMenu->clear();
    if (object) {
        mContextMenu->setTitle("On " + mModel->Label(node));
        TheMacro().BuildContextMenu(mContextMenu, QString::fromStdString(mw::ClassName(object)));
    }
    mContextMenu->menuAction()->setVisible(object && !mContextMenu->actions().isEmpty());
    mListActions->UpdatePopupEntries(object);
}

void TmVornBrowser::mActionUpdate() {
    const TBrowserNode* node = Selected();
    mTreePanel->UpdateEnabling(node);
    mObjectActions->UpdateEnabling(node);
    mListActions->UpdateEnabling(node);
}

void TmVornBrowser::ShowStepApplied(IRoot* target) {
    // expanded nodes of the list the step changed, and of the object pointers of the object it
    // changed, are built again from what they hold now
    std::vector<TBrowserNode*> changed;
    std::vector<TBrowserNode*> pending{mModel->Top()};
    while (!pending.empty()) {
        TBrowserNode* node = pending.back();
        pending.pop_back();
        if (!node || !node->expanded) continue;
        VnRef<IRoot> identity = VnQuery<IRoot>(TBrowserModel::NodeObject(node), 1);
        VnRef<IRoot> owner = VnQuery<IRoot>(browser::StorageOwner(node), 1);
        if ((identity && identity.get() == target && browser::ListOf(identity.get())) ||
            (owner && owner.get() == target && browser::PointerSlot(node)))
            changed.push_back(node);
        else
            for (const auto& child : node->children) pending.push_back(child.get());
    }
    for (TBrowserNode* node : changed) {
        // a selected node below goes with the rebuild: the rebuilt node is selected instead
        for (const TBrowserNode* at = Selected(); at; at = at->parent)
            if (at->parent == node) Select(node);
        mTreePanel->ShowAnew(node);
    }
    // a member step repainted its own row as it wrote; the grid is filled anew only when the
    // selected node now shows another object
    const TBrowserNode* selected = Selected();
    const VnRef<IRoot> holder = VnQuery<IRoot>(browser::StorageOwner(selected), 1);
    if (changed.empty() && !(holder && holder.get() == target && browser::PointerSlot(selected))) {
        mActionUpdate();
        return;
    }
    ActionDone();
}

void TmVornBrowser::TakeSnapshot() {
    const TBrowserNode* node = Selected();
    IRoot* object = node ? TBrowserModel::NodeObject(node) : nullptr;
    QString why = "select an object first";
    std::shared_ptr<TSnapshot> snapshot =
        object ? TSnapshot::Take(object, browser::NodePath(node, node), &why) : nullptr;
    if (!snapshot) {
        mShell.SetStatusText(0, "No snapshot taken: " + why);
        return;
    }
    mShell.SetStatusText(0, "Took a snapshot of " + snapshot->RootPath());
    // the user goes on editing where they were; the window only shows
    QPointer<QWidget> focused = QApplication::focusWidget();
    ShowChanges(std::move(snapshot));
    if (focused) focused->setFocus();
}

TmChanges* TmVornBrowser::ShowChanges(std::shared_ptr<TSnapshot> snapshot) {
    if (!mChanges) {
        auto reveal = [this](IRoot* object) {
            RunWork([this, keep = VnRef<IRoot>(object)] { Reveal(keep.get(), nullptr); });
        };
        auto askFile = [this](bool save) {
            const QString filter = "Branch files (*.vorn);;All files (*)";
            QWidget* parent = mShell.DialogParent();
            return save ? QFileDialog::getSaveFileName(parent, "Save Snapshot", {}, filter)
                        : QFileDialog::getOpenFileName(parent, "Compare with Branch File", {},
                                                       filter);
        };
        mChanges = new TmChanges(mKit.History(), reveal, askFile);
        mShell.AddDocumentWindow(mChanges, QSize(640, 320));
    }
    if (snapshot) mChanges->SetSnapshot(std::move(snapshot));
    if (QWidget* frame = mChanges->parentWidget()) frame->show();
    mChanges->Filter()->setFocus();
    return mChanges;
}
