#include "browser/tree_panel.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "browser/browser_model.h"
#include "browser/node_slots.h"
#include "browser/tm_vorn_browser.h"
#include "shell/ishell.h"

TTreePanel::TTreePanel(TmVornBrowser& form, TBrowserModel& model) : mForm(form), mModel(model) {
    setObjectName("mVornPanel");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    BuildToolBar();
    // made before the tree, so it comes before it in the focus chain: Tab still goes from the
    // tree to the grid
    column->addWidget(MakeFilterLine());
    BuildTree();
    mVornTree->setModel(&mModel);
    ConnectModel();
    ConnectTree();
}

// events that reach the filters while the children go no longer reach this panel
TTreePanel::~TTreePanel() {
    mVornTree->viewport()->removeEventFilter(this);
    mVornTree->removeEventFilter(this);
    mTreeFilter->removeEventFilter(this);
}

void TTreePanel::BuildToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName("ToolBar1");
    bar->setFixedHeight(24);
    bar->setIconSize(QSize(16, 16));
    auto button = [&](const char* name, const char* hint, int image) {
        auto* b = new QToolButton(bar);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setProperty("image", image);
        b->setIcon(mForm.Shell().Image(image));
        bar->addWidget(b);
        return b;
    };
    connect(button("mGoHome", "Go to ROT", 48), &QToolButton::clicked, this,
            [this] { mForm.RunWork([this] { mForm.mGoHomeClick(); }); });
    connect(button("mGoKxDevice", "Go to Kalix Device", 58), &QToolButton::clicked, this,
            [this] { mForm.RunWork([this] { mForm.mGoKxDeviceClick(); }); });
    bar->addSeparator()->setObjectName("ToolButton7");
    auto* expand = new QToolButton(bar);
    expand->setObjectName("ToolButton1");
    bar->addWidget(expand);
    bar->addSeparator()->setObjectName("ToolButton2");
    mAutoRerfreshPropertyViewer =
        button("mAutoRerfreshPropertyViewer", "Auto-update property panel", 77);
    mAutoRerfreshPropertyViewer->setCheckable(true);
    mAutoRerfreshPropertyViewer->setChecked(true);
    layout()->addWidget(bar);
}

void TTreePanel::BuildTree() {
    auto* split = new QSplitter(Qt::Vertical, this);
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
    static_cast<QVBoxLayout*>(layout())->addWidget(split, 1);
}

void TTreePanel::BuildActions() {
    mTreeExpand = mForm.AddAction("mTreeExpand", "Tree", "&Expand Node", {}, 12);
    mTreeExpand->setToolTip("Expands the node to display all child nodes");
    connect(mTreeExpand, &QAction::triggered, this,
            [this] { mForm.RunWork([this] { OnTreeAction(); }); });
    AddFilterAction();
    if (auto* expand = findChild<QToolButton*>("ToolButton1"))
        expand->setDefaultAction(mTreeExpand);
}

// What the model asks of the view: rows the filter hides, nodes opened by code, bold to redraw.
void TTreePanel::ConnectModel() {
    connect(&mModel, &TBrowserModel::RowShownChanged, this,
            [this](const TBrowserNode* node, bool shown) {
                mVornTree->setRowHidden(node->row, mModel.IndexOf(node->parent), !shown);
            });
    connect(&mModel, &TBrowserModel::OpenRequested, this,
            [this](const TBrowserNode* node) { mVornTree->expand(mModel.IndexOf(node)); });
    connect(&mModel, &TBrowserModel::FilterApplied, this,
            [this] { mVornTree->viewport()->update(); });
}

// a node the view expands is built unless code built it a moment ago (the view also opens
// the parents of a node it is asked to show): rebuilding it would free the node in hand
void TTreePanel::ConnectTree() {
    connect(mVornTree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (mModel.ExpandingInView()) return;
        mForm.RunWork([this, at = QPersistentModelIndex(index)] {
            TBrowserNode* node = mModel.NodeOf(at);
            if (node && !node->expanded) mModel.ExpandNode(node);
        });
    });
    connect(mVornTree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        mForm.RunWork([this, at = QPersistentModelIndex(index)] {
            if (!mVornTree->isExpanded(at)) mModel.CollapseNode(mModel.NodeOf(at));
        });
    });
}

void TTreePanel::SetCaption(const QString& text) { mCustomEditPanel->setText(text); }

TBrowserNode* TTreePanel::Selected() const { return mModel.NodeOf(mVornTree->currentIndex()); }

void TTreePanel::Select(const TBrowserNode* node) {
    mVornTree->setCurrentIndex(mModel.IndexOf(node));
}

void TTreePanel::UpdateEnabling(const TBrowserNode* node) {
    mTreeExpand->setEnabled(node != nullptr);
}

void TTreePanel::OnTreeAction() {
    if (TBrowserNode* node = Selected()) mForm.ExpandAll(node);
}

// --- expanding and collapsing --------------------------------------------------------------

void TTreePanel::Expand(TBrowserNode* node) {
    mModel.ExpandNode(node);
    mModel.ExpandInView(node);
}

void TTreePanel::Collapse(TBrowserNode* node) {
    if (!node) return;
    mVornTree->collapse(mModel.IndexOf(node));  // when the view showed it expanded
    mModel.CollapseNode(node);
}

void TTreePanel::ShowAnew(TBrowserNode* node) {
    if (browser::ListOf(TBrowserModel::NodeObject(node)))
        RefreshListNode(node);
    else if (TBrowserModel::NodeObject(node))
        Expand(node);
    else
        Collapse(node);
}

void TTreePanel::RefreshListNode(TBrowserNode* node) {
    VnRef<IList> list = browser::ListOf(TBrowserModel::NodeObject(node));
    if (!list || list->GetCount() < 1)
        Collapse(node);
    else
        Expand(node);
}

void TTreePanel::Reveal(const TBrowserNode* node) {
    if (node->hidden) mTreeFilter->clear();  // the user asked to see it
    Select(node);
    mVornTree->scrollTo(mModel.IndexOf(node));
}

// --- the view's events ---------------------------------------------------------------------

bool TTreePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mTreeViewport && event->type() == QEvent::MouseButtonPress) RightClick(event);
    if (watched == mTreeFilter && FilterLineKey(event)) return true;
    if (watched == mVornTree && event->type() == QEvent::KeyPress && TreeKey(event)) return true;
    return QWidget::eventFilter(watched, event);
}

// the popup works on the node under the pointer, or on none
void TTreePanel::RightClick(QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton) return;
    const QModelIndex at = mVornTree->indexAt(mouse->position().toPoint());
    mVornTree->setCurrentIndex(at);
    if (!at.isValid()) mVornTree->selectionModel()->clear();
}

bool TTreePanel::TreeKey(QEvent* event) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const TBrowserNode* node = Selected();
    if ((key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        browser::PointerSlot(node) && browser::StorageOwner(node)) {
        emit ChangeObjectKey();
        return true;
    }
    return false;
}

// --- the tree's filter line ------------------------------------------------------------------

QLineEdit* TTreePanel::MakeFilterLine() {
    mTreeFilter = new QLineEdit(this);
    mTreeFilter->setObjectName("mTreeFilter");
    mTreeFilter->setPlaceholderText("Filter");
    mTreeFilter->setClearButtonEnabled(true);
    mTreeFilter->setToolTip(
        "Shows the open nodes whose name holds the text, with the nodes above them "
        "(Ctrl+Shift+F; Escape clears)");
    mTreeFilter->installEventFilter(this);
    connect(mTreeFilter, &QLineEdit::textChanged, this,
            [this](const QString& text) { mForm.RunWork([this, text] { ApplyFilter(text); }); });
    return mTreeFilter;
}

// Ctrl+F is Find in ROT.
void TTreePanel::AddFilterAction() {
    mTreeFilterFocus = mForm.AddAction("mTreeFilterFocus", "Tree", "&Filter Tree",
                                       QKeySequence("Ctrl+Shift+F"), -1);
    connect(mTreeFilterFocus, &QAction::triggered, this, [this] {
        mTreeFilter->setFocus(Qt::ShortcutFocusReason);
        mTreeFilter->selectAll();
    });
}

bool TTreePanel::FilterLineKey(QEvent* event) {
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
void TTreePanel::ApplyFilter(const QString& text) {
    mModel.SetFilter(text);
    ScrollToSelected();
}

// Only when the view shows every node above it open: scrolling to a node opens its parents.
void TTreePanel::ScrollToSelected() {
    const TBrowserNode* node = Selected();
    if (!node || node->hidden) return;
    for (const TBrowserNode* up = node->parent; up && up->parent; up = up->parent)
        if (!mVornTree->isExpanded(mModel.IndexOf(up))) return;
    mVornTree->scrollTo(mModel.IndexOf(node));
}
