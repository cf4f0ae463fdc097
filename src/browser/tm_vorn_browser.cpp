#include "browser/tm_vorn_browser.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTextStream>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "browser/browser_model.h"
#include "browser/browser_rules.h"
#include "browser/python_path.h"
#include "browser/tm_obj_property_dlg.h"
#include "browser/tm_vorn_list_sorter.h"
#include "core/class_id.h"
#include "core/member_ref.h"
#include "core/vorn_string.h"
#include "editors/browser_work.h"
#include "editors/ref_row_editor.h"
#include "editors/row_editor.h"
#include "platform/message_box.h"
#include "script/macro.h"
#include "shell/images.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"

namespace {

constexpr int kRedrawMs = 333;

QVBoxLayout* FillingLayout(QWidget* w) {
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// Puts `panel` into the layout of `place`, filling it.
void PutInto(QWidget* panel, QWidget* place) {
    if (!place || !panel) return;
    panel->setParent(place);
    if (!place->layout()) FillingLayout(place);
    place->layout()->addWidget(panel);
    panel->show();
}

VnRef<IList> ListOf(IRoot* object) { return object ? VnQuery<IList>(object, 1) : VnRef<IList>(); }

// The slot of an object pointer member (the model's own root slot for the root node).
IRoot** PointerSlot(const TBrowserNode* node) {
    if (!node || !node->HasData() || node->value.desc->type != kVnObjectRef) return nullptr;
    return static_cast<IRoot**>(node->value.value);
}

// The object whose storage holds a member node's value; null for the root's own slot.
IRoot* StorageOwner(const TBrowserNode* node) {
    return node && node->kind == TBrowserNode::Kind::Member ? node->keep.get() : nullptr;
}

// "material of light1": what a step changed, as the tree names it.
QString MemberTitle(const TBrowserNode* node) {
    return QString("%1 of %2")
        .arg(QString::fromUtf8(node->value.desc->name),
             TEditHistory::ObjectTitle(StorageOwner(node)));
}

// The object to tell when the member a node shows changes, when the member asks for that.
VnRef<INotify> OwnerToNotify(const TBrowserNode* node) {
    if (!node || !(node->value.desc->editflags & kVnEditNotify)) return {};
    const TBrowserNode* parent = node->parent;
    IRoot* owner = parent && parent->HasData() ? TBrowserModel::NodeObject(parent) : nullptr;
    return owner ? VnQuery<INotify>(owner, 1) : VnRef<INotify>();
}

}  // namespace

TmVornBrowser::TmVornBrowser(IShell& shell, IOutput& output, TEditorKit& kit,
                             const QString& classList, QWidget* parent)
    : QWidget(parent), mShell(shell), mOutput(output), mKit(kit) {
    setObjectName("mVornBrowser");
    resize(696, 524);
    hide();
    BuildPanels();
    BuildActions();
    BuildPopup();
    FormCreate(classList);
}

// The model goes first: its rows paint through the grid and its nodes hold runtime objects.
TmVornBrowser::~TmVornBrowser() {
    mAutoRedraw.stop();
    // the panels live in the main window, which may have gone first and taken them along;
    // those that are left go below, and their events no longer reach this form
    if (mVornPanel) {
        mVornTree->viewport()->removeEventFilter(this);
        mVornTree->removeEventFilter(this);
        mTreeFilter->removeEventFilter(this);
    }
    if (mKeyValPanel) mGrid->removeEventFilter(this);
    {
        TBrowserWork::Scope work(mKit.Work());  // a __del__ run now may not browse
        mModel.reset();
    }
    mKit.Work().ReleaseAll();
    delete mVornPanel;
    delete mKeyValPanel;
    delete mDlgSave;
}

QString TmVornBrowser::DefaultClassList() {
    return QCoreApplication::applicationDirPath() + "/classlist.txt";
}

void TmVornBrowser::SetDialogs(TmVornListSorter* sorter, TmObjPropertyDlg* properties) {
    mSorter = sorter;
    mProperties = properties;
}

void TmVornBrowser::BuildPanels() {
    mVornPanel = new QWidget;
    mVornPanel->setObjectName("mVornPanel");
    QVBoxLayout* column = FillingLayout(mVornPanel);
    auto* bar = new QToolBar(mVornPanel);
    bar->setObjectName("ToolBar1");
    bar->setFixedHeight(24);
    bar->setIconSize(QSize(16, 16));
    auto button = [&](const char* name, const char* hint, int image) {
        auto* b = new QToolButton(bar);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setProperty("image", image);
        b->setIcon(mShell.Image(image));
        bar->addWidget(b);
        return b;
    };
    connect(button("mGoHome", "Go to ROT", 48), &QToolButton::clicked, this,
            [this] { RunWork([this] { mGoHomeClick(); }); });
    connect(button("mGoKxDevice", "Go to Kalix Device", 58), &QToolButton::clicked, this,
            [this] { RunWork([this] { mGoKxDeviceClick(); }); });
    bar->addSeparator()->setObjectName("ToolButton7");
    auto* expand = new QToolButton(bar);
    expand->setObjectName("ToolButton1");
    bar->addWidget(expand);
    bar->addSeparator()->setObjectName("ToolButton2");
    mAutoRerfreshPropertyViewer =
        button("mAutoRerfreshPropertyViewer", "Auto-update property panel", 77);
    mAutoRerfreshPropertyViewer->setCheckable(true);
    mAutoRerfreshPropertyViewer->setChecked(true);
    connect(mAutoRerfreshPropertyViewer, &QToolButton::clicked, this,
            &TmVornBrowser::mAutoRerfreshPropertyViewerClick);
    column->addWidget(bar);

    // made before the tree, so it comes before it in the focus chain: Tab still goes from the
    // tree to the grid
    column->addWidget(MakeFilterLine());

    auto* split = new QSplitter(Qt::Vertical, mVornPanel);
    split->setObjectName("Splitter1");
    mVornTree = new QTreeView(split);
    mVornTree->setObjectName("mVornTree");
    mVornTree->setHeaderHidden(true);
    // deep labels stay readable in a narrow panel: the column is wide and the tree scrolls
    mVornTree->header()->setMinimumSectionSize(320);
    mVornTree->setUniformRowHeights(true);
    mVornTree->setIndentation(19);
    mVornTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mVornTree->setContextMenuPolicy(Qt::CustomContextMenu);
    mTreeViewport = mVornTree->viewport();
    mTreeViewport->installEventFilter(this);
    mVornTree->installEventFilter(this);
    mCustomEditPanel = new QLabel("Nothing to see here...", split);
    mCustomEditPanel->setObjectName("mCustomEditPanel");
    mCustomEditPanel->setFixedHeight(33);
    mCustomEditPanel->setIndent(4);
    split->setCollapsible(0, false);
    column->addWidget(split, 1);

    mKeyValPanel = new QWidget;
    mKeyValPanel->setObjectName("mKeyValPanel");
    mKeyValPanel->setMinimumHeight(10);
    mGrid = new QTableView(mKeyValPanel);
    mGrid->setObjectName("mGrid");
    mGrid->horizontalHeader()->hide();
    mGrid->verticalHeader()->hide();
    mGrid->verticalHeader()->setDefaultSectionSize(18);
    mGrid->horizontalHeader()->setDefaultSectionSize(100);
    // the values fill what the panel leaves beside the names, so a value is never out of sight
    mGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    mGrid->horizontalHeader()->setStretchLastSection(true);
    mGrid->horizontalScrollBar()->setEnabled(false);
    mGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    mGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    mGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mGrid->installEventFilter(this);
    FillingLayout(mKeyValPanel)->addWidget(mGrid);
}

QAction* TmVornBrowser::AddAction(const char* name, const char* category, const QString& caption,
                                  const QKeySequence& key, int image) {
    auto* action = new QAction(caption, mVornPanel);
    action->setObjectName(name);
    action->setProperty("category", category);
    if (!key.isEmpty()) action->setShortcut(key);
    // the browser's keys work while its tree or grid has the focus, not in the console
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    if (image >= 0) {
        action->setProperty("image", image);
        action->setIcon(mShell.Image(image));
    }
    mVornPanel->addAction(action);
    mKeyValPanel->addAction(action);
    return action;
}

void TmVornBrowser::BuildActions() {
    mListAdd = AddAction("mListAdd", "List", "&Add Item...", QKeySequence("Ctrl+Ins"), 3);
    mListRemove = AddAction("mListRemove", "List", "&Remove Item", QKeySequence("Ctrl+Del"), 3);
    mIRootNewObject = AddAction("mIRootNewObject", "IRootRef", "&New Object", {}, mw::images::kNew);
    mListRemoveAll = AddAction("mListRemoveAll", "List", "&Remove All", {}, 4);
    mListManage = AddAction("mListManage", "List", "&Sort && Rearrange...", {}, 4);
    mIRootClear = AddAction("mIRootClear", "IRootRef", "&Clear", QKeySequence(Qt::Key_Delete), 0);
    mIRootFindInROT =
        AddAction("mIRootFindInROT", "IRootRef", "&Find in ROT", QKeySequence("Ctrl+F"), 0);
    mTreeExpand = AddAction("mTreeExpand", "Tree", "&Expand Node", {}, 12);
    mTreeExpand->setToolTip("Expands the node to display all child nodes");
    mIRootProperties =
        AddAction("mIRootProperties", "IRoot", "&Properties", QKeySequence("Alt+Return"), 18);
    mIRootBranch = AddAction("mIRootBranch", "IRootRef", "&Branch", {}, -1);
    mCopyPythonPath =
        AddAction("mCopyPythonPath", "Tree", "Copy P&ython Path", QKeySequence("Ctrl+Shift+C"), -1);
    connect(mCopyPythonPath, &QAction::triggered, this, [this] {
        RunWork([this] { CopyPythonPath(mGrid->hasFocus() ? mGrid->currentIndex().row() : 0); });
    });
    mIRootShare = AddAction("mIRootShare", "IRootRef", "&Share...", {}, -1);
    mIRootAssign = AddAction("mIRootAssign", "IRootRef", "&Assign...", {}, -1);
    // F2 and Enter on the tree reach it through the tree's event filter: as shortcuts they would
    // take Enter from the filter line
    mChangeObject = new QAction("C&hange Object...", mVornPanel);
    mChangeObject->setObjectName("mChangeObject");
    mChangeObject->setShortcut(QKeySequence(Qt::Key_F2));  // shown only
    mChangeObject->setShortcutContext(Qt::WidgetShortcut);
    connect(mChangeObject, &QAction::triggered, this,
            [this] { RunWork([this] { ChangeObject(); }); });
    for (auto [action, which] : {std::pair{mListAdd, ListAction::Add},
                                 {mListRemove, ListAction::Remove},
                                 {mListRemoveAll, ListAction::RemoveAll},
                                 {mListManage, ListAction::Manage}})
        connect(action, &QAction::triggered, this,
                [this, which = which] { RunWork([this, which] { OnListAction(which); }); });
    for (auto [action, which] : {std::pair{mIRootProperties, IRootAction::Properties},
                                 {mIRootNewObject, IRootAction::NewObject},
                                 {mIRootClear, IRootAction::Clear},
                                 {mIRootFindInROT, IRootAction::FindInROT},
                                 {mIRootBranch, IRootAction::Branch},
                                 {mIRootShare, IRootAction::Share},
                                 {mIRootAssign, IRootAction::Assign}})
        connect(action, &QAction::triggered, this,
                [this, which = which] { RunWork([this, which] { OnIRootAction(which); }); });
    connect(mTreeExpand, &QAction::triggered, this,
            [this] { RunWork([this] { OnTreeAction(); }); });
    AddFilterAction();
    if (auto* expand = mVornPanel->findChild<QToolButton*>("ToolButton1"))
        expand->setDefaultAction(mTreeExpand);
}

void TmVornBrowser::BuildPopup() {
    mPopup = new QMenu(mVornPanel);
    mPopup->setObjectName("mPopup");
    mPopupMacro = mPopup->addMenu("ROT");
    mPopupMacro->setObjectName("mPopupMacro");
    mContextMenu = mPopup->addMenu("DoFuncy");
    mContextMenu->setObjectName("mContextMenu");
    auto entry = [this](const char* name, const char* caption, int image) {
        QAction* a = mPopup->addAction(caption);
        a->setObjectName(name);
        a->setVisible(false);
        if (image >= 0) a->setProperty("image", image);
        return a;
    };
    mNewItem = entry("mNewItem", "&New Item", mw::images::kNew);
    mDeleteItem = entry("mDeleteItem", "&Delete Item", 12);
    mSortList = entry("mSortList", "&Sort List...", -1);
    // the popup's own list entries do what the list actions do
    for (auto [action, which] : {std::pair{mNewItem, ListAction::Add},
                                 {mDeleteItem, ListAction::Remove},
                                 {mSortList, ListAction::Manage}})
        connect(action, &QAction::triggered, this,
                [this, which = which] { RunWork([this, which] { OnListAction(which); }); });
    mPopup->addSeparator()->setObjectName("N1");
    mPopup->addAction(mTreeExpand);
    mTreeExpand->setVisible(false);
    QAction* n2 = mPopup->addSeparator();
    n2->setObjectName("N2");
    n2->setVisible(false);
    mNewObjectMenu = new QMenu("&New Object", mPopup);
    mNewObjectMenu->setObjectName("mNewObject");
    mNewObjectMenu->menuAction()->setIcon(mIRootNewObject->icon());
    mNewObjectMenu->menuAction()->setProperty("image", mw::images::kNew);
    mPopup->addAction(mChangeObject);
    mPopup->addMenu(mNewObjectMenu);
    mPopup->addAction(mIRootClear);
    mPopup->addAction(mIRootFindInROT);
    mPopup->addAction(mCopyPythonPath);
    mPopup->addSeparator()->setObjectName("N4");
    mPopup->addActions({mListAdd, mListRemove, mListRemoveAll, mListManage});
    mPopup->addSeparator()->setObjectName("N3");
    mPopup->addAction(mIRootProperties);
    mPopup->addAction(mIRootBranch);
    mIRootBranch->setVisible(false);
    connect(mPopup, &QMenu::aboutToShow, this, [this] {
        TBrowserWork::Scope work(mKit.Work());  // the menu shows now, or not at all
        mPopupPopup();
    });
}

void TmVornBrowser::FormCreate(const QString& classList) {
    TheMacro().BuildMenu(mPopupMacro, TheMacro().PopupFolder);
    mPopupMacro->menuAction()->setVisible(!mPopupMacro->actions().isEmpty());
    mModel =
        std::make_unique<TBrowserModel>(mVornTree, mGrid, mCustomEditPanel, mKeyValPanel, mKit);
    mVornTree->setModel(mModel.get());
    mGrid->setModel(&mModel->Rows());
    mGrid->setItemDelegate(new TGridDelegate(mModel->Rows(), mGrid));
    mGrid->setEnabled(false);
    PutInto(mVornPanel, mShell.Place(TShellPlace::BrowserPage));
    PutInto(mKeyValPanel, mShell.Place(TShellPlace::RightPanel));

    connect(&mKit.History(), &TEditHistory::Applied, this, [this](IRoot* target) {
        RunWork([this, keep = VnRef<IRoot>(target)] { ShowStepApplied(keep.get()); });
    });
    connect(mVornTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { RunWork([this] { RefreshSelection(); }); });
    connect(mVornTree, &QTreeView::clicked, this,
            [this] { RunWork([this] { mModel->RefreshSelection(); }); });
    connect(mVornTree, &QTreeView::activated, this,
            [this] { RunWork([this] { mModel->RefreshSelection(); }); });
    // a node the view expands is built unless code built it a moment ago (the view also opens
    // the parents of a node it is asked to show): rebuilding it would free the node in hand
    connect(mVornTree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (mModel->ExpandingInView()) return;
        RunWork([this, at = QPersistentModelIndex(index)] {
            TBrowserNode* node = mModel->NodeOf(at);
            if (node && !node->expanded) mModel->ExpandNode(node);
        });
    });
    connect(mVornTree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        RunWork([this, at = QPersistentModelIndex(index)] {
            if (!mVornTree->isExpanded(at)) mModel->CollapseNode(mModel->NodeOf(at));
        });
    });
    connect(mVornTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { mPopup->popup(mVornTree->viewport()->mapToGlobal(at)); });
    connect(mGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (!index.isValid()) return;
                RunWork([this, column = index.column(), row = index.row()] {
                    if (mGrid->currentIndex().row() == row) mModel->Rows().SelectCell(column, row);
                });
            });
    connect(mGrid, &QTableView::doubleClicked, this,
            [this] { RunWork([this] { mModel->Rows().EditRow(-1); }); });
    mGridPopup = new QMenu(mKeyValPanel);
    mGridPopup->setObjectName("mGridPopup");
    QAction* copyRow = mGridPopup->addAction("Copy P&ython Path");
    copyRow->setObjectName("mCopyRowPath");
    copyRow->setShortcut(mCopyPythonPath->shortcut());  // shown; the panel's action takes the key
    mGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mGrid, &QWidget::customContextMenuRequested, this, [this, copyRow](const QPoint& at) {
        const int row = mGrid->indexAt(at).row();
        copyRow->setData(row);
        copyRow->setEnabled(mModel->Selected() != nullptr);
        mGridPopup->popup(mGrid->viewport()->mapToGlobal(at));
    });
    connect(copyRow, &QAction::triggered, this, [this, copyRow] {
        RunWork([this, row = copyRow->data().toInt()] { CopyPythonPath(row); });
    });
    mAutoRedraw.setObjectName("mAutoRedraw");
    mAutoRedraw.setInterval(kRedrawMs);
    connect(&mAutoRedraw, &QTimer::timeout, this,
            [this] { RunWork([this] { mAutoRedrawTimer(); }); });
    mAutoRedraw.start();

    mDlgSave = new QFileDialog(mShell.DialogParent(), "Branch Object As...");
    mDlgSave->setObjectName("mDlgSave");
    mDlgSave->setAcceptMode(QFileDialog::AcceptSave);
    mDlgSave->setDefaultSuffix("vorn");
    mDlgSave->setNameFilter("Vorn Files (*.vorn);;All Files (*)");
    mDlgSave->setOption(QFileDialog::DontConfirmOverwrite);  // an existing file is refused below

    LoadClassList(classList);
    for (int i = 0; i < mClassList.size(); ++i)
        connect(mNewObjectMenu->addAction(mClassList[i]), &QAction::triggered, this,
                [this, i] { RunWork([this, i] { NewObjectClick(i); }); });
    mNewObjectMenu->menuAction()->setVisible(!mClassList.isEmpty());
    mActionUpdate();
}

void TmVornBrowser::LoadClassList(const QString& path) {
    if (!QFileInfo::exists(path)) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        mw::ShowMessageBox(nullptr, file.errorString(), "Couldn't load classlist.txt",
                           mw::kMbIconError);
        return;
    }
    QTextStream lines(&file);
    while (!lines.atEnd()) mClassList << lines.readLine();
}

bool TmVornBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mTreeViewport && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            // the popup works on the node under the pointer, or on none
            const QModelIndex at = mVornTree->indexAt(mouse->position().toPoint());
            mVornTree->setCurrentIndex(at);
            if (!at.isValid()) mVornTree->selectionModel()->clear();
        }
    }
    if (watched == mTreeFilter && FilterLineKey(event)) return true;
    if (watched == mVornTree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const TBrowserNode* node = mModel->Selected();
        if ((key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter) &&
            PointerSlot(node) && StorageOwner(node)) {
            mChangeObject->trigger();
            return true;
        }
    }
    if (watched == mGrid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
            RunWork([this] {
                const int row = mGrid->currentIndex().row();
                if (mModel->Rows().SelectCell(1, row)) {
                    mGrid->setCurrentIndex(mModel->Rows().index(row, 1));
                    mModel->Rows().EditRow(-1);
                }
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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

void TmVornBrowser::RefreshSelection() {
    mModel->RefreshSelection();
    mActionUpdate();
}

// --- what other parts call -----------------------------------------------------------------

void TmVornBrowser::ResetAfterException(const QString& message) {
    CollapseEverything();
    PyObject* none = Py_None;
    mModel->SetRoot(nullptr, none, message, false);
}

void TmVornBrowser::Browse(IRoot* object, PyObject* python, const QString& label, bool show) {
    mModel->SetRoot(object, python, label, show);
    mActionUpdate();
}

void TmVornBrowser::Expand(TBrowserNode* node) {
    mModel->ExpandNode(node);
    mModel->ExpandInView(node);
}

void TmVornBrowser::Collapse(TBrowserNode* node) {
    if (!node) return;
    mVornTree->collapse(mModel->IndexOf(node));  // when the view showed it expanded
    mModel->CollapseNode(node);
}

void TmVornBrowser::ExpandSelected() {
    if (TBrowserNode* node = mModel->Selected()) Expand(node);
}

void TmVornBrowser::CollapseSelectedParent() {
    TBrowserNode* node = mModel->Selected();
    TBrowserNode* parent = node ? node->parent : nullptr;
    if (!parent || !parent->HasData()) return;
    mModel->Select(parent);
    Collapse(parent);
}

void TmVornBrowser::ExpandEverything() {
    if (TBrowserNode* top = mModel->Top()) mModel->ExpandAll(top);
}

void TmVornBrowser::CollapseEverything() {
    if (TBrowserNode* top = mModel->Top()) Collapse(top);
}

// --- handlers ------------------------------------------------------------------------------

void TmVornBrowser::mGoHomeClick() {
    Browse(VnROT ? static_cast<IRoot*>(VnROT) : nullptr, nullptr, "ROT", true);
    if (TBrowserNode* top = mModel->Top()) Expand(top);
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
    if (TBrowserNode* top = mModel->Top()) Expand(top);
}

void TmVornBrowser::mAutoRerfreshPropertyViewerClick() {
    if (mAutoRerfreshPropertyViewer->isChecked())
        mAutoRedraw.start();
    else
        mAutoRedraw.stop();
}

void TmVornBrowser::mAutoRedrawTimer() {
    // only the value column repaints: the row editors read live storage
    const int x = mGrid->columnViewportPosition(1);
    mGrid->viewport()->update(QRect(x, 0, mGrid->columnWidth(1), mGrid->viewport()->height()));
    mActionUpdate();  // scripts may have filled or emptied a list meanwhile
}

void TmVornBrowser::mPopupPopup() {
    for (QAction* a : {mNewItem, mDeleteItem, mSortList}) a->setEnabled(false);
    mActionUpdate();
    const TBrowserNode* node = mModel->Selected();
    if (!node || !node->HasData()) return;
    IRoot* object = TBrowserModel::NodeObject(node);
    mContextMenu->clear();
    if (object) {
        mContextMenu->setTitle("On " + mModel->Label(node));
        TheMacro().BuildContextMenu(mContextMenu, QString::fromStdString(mw::ClassName(object)));
    }
    mContextMenu->menuAction()->setVisible(object && !mContextMenu->actions().isEmpty());
    if (ListOf(object)) {
        mNewItem->setEnabled(true);
        mSortList->setEnabled(true);
    }
}

void TmVornBrowser::mActionUpdate() {
    const TBrowserNode* node = mModel->Selected();
    const bool hasData = node && node->HasData();
    const uint32_t type = hasData ? node->value.desc->type : 0;
    IRoot* object = hasData ? TBrowserModel::NodeObject(node) : nullptr;
    VnRef<IList> list = ListOf(object);
    const TBrowserNode* parent = node ? node->parent : nullptr;
    mTreeExpand->setEnabled(node != nullptr);
    mIRootProperties->setEnabled(type == kVnObject || type == kVnObjectRef);
    mIRootNewObject->setEnabled(type == kVnObjectRef);
    mChangeObject->setEnabled(type == kVnObjectRef && StorageOwner(node));
    mNewObjectMenu->setEnabled(type == kVnObjectRef);
    mIRootClear->setEnabled(type == kVnObjectRef);
    mIRootFindInROT->setEnabled(type == kVnObjectRef && object);
    mListAdd->setEnabled(bool(list));
    mListManage->setEnabled(bool(list));
    mListRemoveAll->setEnabled(list && list->GetCount() > 0);
    mListRemove->setEnabled(parent && parent->HasData() &&
                            ListOf(TBrowserModel::NodeObject(parent)));
}

void TmVornBrowser::OnTreeAction() {
    if (TBrowserNode* node = mModel->Selected()) mModel->ExpandAll(node);
}

void TmVornBrowser::RefreshListNode(TBrowserNode* node) {
    VnRef<IList> list = ListOf(TBrowserModel::NodeObject(node));
    if (!list || list->GetCount() < 1)
        Collapse(node);
    else
        Expand(node);
}

void TmVornBrowser::OnListAction(ListAction action) {
    TBrowserNode* node = mModel->Selected();
    if (!node) return;
    TBrowserNode* changed = node;
    if (action == ListAction::Remove) {
        TBrowserNode* parent = node->parent;
        VnRef<IList> list = ListOf(TBrowserModel::NodeObject(parent));
        if (!list) return;
        const int position = node->position >= 0 ? node->position : node->row;
        const TListStep::Items before = TListStep::ItemsOf(list.get());
        const QString text = "Remove item from " + mModel->Label(parent);
        mModel->Select(parent);  // the removed item's node goes with the rebuild
        list->RemoveItem(position);
        if (VnOS->HasError(0)) mOutput.RefreshErrors();
        mKit.History().RecordList(list.get(), before, text);
        changed = parent;
    } else {
        VnRef<IList> list = ListOf(TBrowserModel::NodeObject(node));
        if (!list) return;
        const TListStep::Items before = TListStep::ItemsOf(list.get());
        const QString name = mModel->Label(node);
        if (action == ListAction::Add && !list->AddItem(-1, nullptr)) mOutput.RefreshErrors();
        if (action == ListAction::RemoveAll) list->RemoveItem(-1);
        // the sorter moves the items as the user asks, so even a cancelled one may have moved some;
        // scripts may rebuild the tree while it shows: the node is looked up again after it
        const QPersistentModelIndex at(mModel->IndexOf(node));
        const bool sorted = action == ListAction::Manage && RunSorter(list.get());
        changed = mModel->NodeOf(at);
        const char* what = action == ListAction::Add         ? "Add item to "
                           : action == ListAction::RemoveAll ? "Remove all items from "
                                                             : "Rearrange ";
        mKit.History().RecordList(list.get(), before, what + name);
        if (action == ListAction::Manage && !sorted) return;
    }
    if (changed) RefreshListNode(changed);
    mModel->RefreshSelection();
    mActionUpdate();
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
        VnRef<IRoot> owner = VnQuery<IRoot>(StorageOwner(node), 1);
        if ((identity && identity.get() == target && ListOf(identity.get())) ||
            (owner && owner.get() == target && PointerSlot(node)))
            changed.push_back(node);
        else
            for (const auto& child : node->children) pending.push_back(child.get());
    }
    for (TBrowserNode* node : changed) {
        // a selected node below goes with the rebuild: the rebuilt node is selected instead
        for (const TBrowserNode* at = mModel->Selected(); at; at = at->parent)
            if (at->parent == node) mModel->Select(node);
        ShowAnew(node);
    }
    mModel->RefreshSelection();
    mActionUpdate();
}

void TmVornBrowser::CopyPythonPath(int row) {
    const TBrowserNode* node = mModel->Selected();
    if (!node || !node->HasData()) return;
    QString path = browser::NodePath(node, node);
    if (!path.isEmpty() && row > 0) {
        const QString step = mModel->Rows().PathStep(row);
        path = step.isEmpty() ? QString() : path + step;
    }
    if (path.isEmpty()) {
        mShell.SetStatusText(0, "No Python path reaches this value");
        return;
    }
    QGuiApplication::clipboard()->setText(path);
    mShell.SetStatusText(0, "Copied " + path);
}

bool TmVornBrowser::RunSorter(IList* list) {
    TBrowserWork::Open open(mKit.Work());  // scripts may browse while the sorter shows
    return mSorter && mSorter->Run(list);
}

// Builds an open node again from what it holds now: a list's items, an object's members, or
// nothing for an empty pointer.
void TmVornBrowser::ShowAnew(TBrowserNode* node) {
    if (ListOf(TBrowserModel::NodeObject(node)))
        RefreshListNode(node);
    else if (TBrowserModel::NodeObject(node))
        Expand(node);
    else
        Collapse(node);
}

void TmVornBrowser::NotifyOwner(const TBrowserNode* node) {
    VnRef<INotify> notify = OwnerToNotify(node);
    if (notify && !notify->MemberChanged(node->value.value)) mOutput.RefreshErrors();
}

// The object picker for the pointer member the selected node shows, as the grid's pointer rows
// open it: the choice is stored, the owner told and the step recorded by the same editor.
void TmVornBrowser::ChangeObject() {
    const TBrowserNode* node = mModel->Selected();
    if (!PointerSlot(node) || !StorageOwner(node)) return;  // the root's slot is the browser's
    auto editor = std::make_unique<TRefRowEditor>(node->value, mKit, 0);
    editor->mOwner = VnRef<IRoot>(StorageOwner(node));
    editor->mNotify = OwnerToNotify(node);
    const VnRef<IRoot> keep = node->keep;  // the member's storage stays while the picker shows
    const QPersistentModelIndex at(mModel->IndexOf(node));
    editor->BeginEdit();
    mKit.Work().Retire(std::move(editor));
    // the node shows what the member holds now: built again when it was open
    TBrowserNode* shown = mModel->NodeOf(at);
    if (shown && shown->expanded) ShowAnew(shown);
    mModel->RefreshSelection();
    mActionUpdate();
}

void TmVornBrowser::NewObjectClick(int line) {
    const TBrowserNode* node = mModel->Selected();
    if (!PointerSlot(node) || line < 0 || line >= mClassList.size()) return;
    VnCLSID clsid{};
    void* made = nullptr;
    const QByteArray text = mClassList[line].toUtf8();
    if (!mw::ParseClassId(text.constData(), &clsid) ||
        !VnOS->CreateInstance(clsid, IID_IRoot, &made)) {
        mOutput.RefreshErrors();
        return;
    }
    VnRef<IRoot> object = VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
    if (StoreInPointer(node, object.get(), "New object in ")) {
        mModel->RefreshSelection();
        mActionUpdate();
    }
}

bool TmVornBrowser::StoreInPointer(const TBrowserNode* node, IRoot* object, const QString& step) {
    const TMemberState before = TMemberState::Take(node->value, true);
    if (!mw::StoreMemberObject(node->value, object)) {
        mKit.ReportRefusal(QString::fromUtf8(node->value.desc->name));  // it lacks the interface
        return false;
    }
    NotifyOwner(node);
    mKit.History().RecordMember(StorageOwner(node), node->value, before, step + MemberTitle(node));
    return true;
}

void TmVornBrowser::OnIRootAction(IRootAction action) {
    const TBrowserNode* node = mModel->Selected();
    if (!node || !node->HasData()) return;
    switch (action) {
        case IRootAction::Properties:
            if (mProperties) {
                // what the value lives in stays while the dialog shows, whatever scripts do
                const VnRef<IRoot> keep = node->keep;
                const PyRef keepPython = node->keepPython;
                const mw::MemberValue value = node->value;
                TBrowserWork::Open open(mKit.Work());
                mProperties->Run(value);
            }
            break;
        case IRootAction::Clear:
            if (PointerSlot(node)) StoreInPointer(node, nullptr, "Clear ");
            break;
        case IRootAction::FindInROT:
            FindInRot(node);
            return;
        case IRootAction::Branch:
            Branch(node);
            return;
        case IRootAction::NewObject:
        case IRootAction::Share:
        case IRootAction::Assign:
            break;
    }
    mModel->RefreshSelection();
    mActionUpdate();
}

void TmVornBrowser::Branch(const TBrowserNode* node) {
    IRoot* object = TBrowserModel::NodeObject(node);
    if (!object) return;
    VnRef<IRoot> keep(object);  // the dialog runs the event loop: scripts may let go meanwhile
    const bool pointer = node->value.desc->type == kVnObjectRef;
    const QPersistentModelIndex at(mModel->IndexOf(node));
    mDlgSave->setDirectory(QString::fromUtf8(VnOS->GetPath(kVnPathResource)));
    QString name = browser::NameOf(object);
    mDlgSave->selectFile(name.isEmpty() ? QString::fromStdString(mw::ClassName(object)) : name);
    {
        TBrowserWork::Open open(mKit.Work());  // scripts may browse while the dialog shows
        if (mDlgSave->exec() != QDialog::Accepted || mDlgSave->selectedFiles().isEmpty()) return;
    }
    const QString file = mDlgSave->selectedFiles().first();
    if (QFileInfo::exists(file)) {
        TBrowserWork::Open open(mKit.Work());
        mw::ShowMessageBox(mShell.DialogParent(), "File already exists!", "Cannot Branch",
                           mw::kMbIconWarning);
        return;
    }
    char* moniker = nullptr;
    if (!VnROT->PathToMoniker(file.toUtf8().constData(), &moniker)) {
        mOutput.RefreshErrors();
        return;
    }
    mw::VornString held;
    held.adopt(moniker);
    IRoot* copy = nullptr;
    if (!VnROT->Branch(object, &copy, held.c_str(), 0)) {
        mOutput.RefreshErrors();
        return;
    }
    VnRef<IRoot> branched = VnRef<IRoot>::Adopt(copy);  // the member keeps what it held
    node = mModel->NodeOf(at);  // looked up again: a script may have rebuilt the tree
    if (pointer && node && node == mModel->Selected()) NotifyOwner(node);
    mModel->RefreshSelection();
}

void TmVornBrowser::FindInRot(const TBrowserNode* node) {
    VnRef<IRoot> wanted(TBrowserModel::NodeObject(node));
    if (!wanted || !VnROT->EntryOf(wanted.get())) {
        mShell.SetStatusText(0, "The object is not registered in the running object table");
        return;
    }
    VnRef<IRoot> identity = VnQuery<IRoot>(wanted.get(), 1);
    mGoHomeClick();
    TBrowserNode* top = mModel->Top();
    if (!top) return;
    for (const auto& child : top->children) {
        VnRef<IRoot> id = VnQuery<IRoot>(TBrowserModel::NodeObject(child.get()), 1);
        if (id && id.get() == identity.get()) {
            if (child->hidden) mTreeFilter->clear();  // the user asked to see it
            mModel->Select(child.get());
            mVornTree->scrollTo(mModel->IndexOf(child.get()));
            break;
        }
    }
    mActionUpdate();
}

// --- the tree's filter line ------------------------------------------------------------------

QLineEdit* TmVornBrowser::MakeFilterLine() {
    mTreeFilter = new QLineEdit(mVornPanel);
    mTreeFilter->setObjectName("mTreeFilter");
    mTreeFilter->setPlaceholderText("Filter");
    mTreeFilter->setClearButtonEnabled(true);
    mTreeFilter->setToolTip(
        "Shows the open nodes whose name holds the text, with the nodes above them "
        "(Ctrl+Shift+F; Escape clears)");
    mTreeFilter->installEventFilter(this);
    connect(mTreeFilter, &QLineEdit::textChanged, this,
            [this](const QString& text) { RunWork([this, text] { ApplyFilter(text); }); });
    return mTreeFilter;
}

// Ctrl+F is Find in ROT.
void TmVornBrowser::AddFilterAction() {
    mTreeFilterFocus =
        AddAction("mTreeFilterFocus", "Tree", "&Filter Tree", QKeySequence("Ctrl+Shift+F"), -1);
    connect(mTreeFilterFocus, &QAction::triggered, this, [this] {
        mTreeFilter->setFocus(Qt::ShortcutFocusReason);
        mTreeFilter->selectAll();
    });
}

bool TmVornBrowser::FilterLineKey(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Delete, Ctrl+Insert and Ctrl+Delete edit the text here: as the browser's keys they
        // would clear a member or change a list
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Insert) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        // Escape clears the text, and on an empty line goes back to the tree, as do Down and
        // Enter
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape && !mTreeFilter->text().isEmpty()) {
            mTreeFilter->clear();
            return true;
        }
        if (key == Qt::Key_Escape || key == Qt::Key_Down || key == Qt::Key_Return ||
            key == Qt::Key_Enter) {
            mVornTree->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return false;
}

// The selected node keeps its selection and the grid even while the filter hides it.
void TmVornBrowser::ApplyFilter(const QString& text) {
    mModel->SetFilter(text);
    ScrollToSelected();
}

// Only when the view shows every node above it open: scrolling to a node opens its parents.
void TmVornBrowser::ScrollToSelected() {
    const TBrowserNode* node = mModel->Selected();
    if (!node || node->hidden) return;
    for (const TBrowserNode* up = node->parent; up && up->parent; up = up->parent)
        if (!mVornTree->isExpanded(mModel->IndexOf(up))) return;
    mVornTree->scrollTo(mModel->IndexOf(node));
}
