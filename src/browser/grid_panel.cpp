#include "browser/grid_panel.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "browser/grid_rows.h"
#include "browser/tm_vorn_browser.h"

namespace {

constexpr int kRedrawMs = 333;

}  // namespace

TGridPanel::TGridPanel(TmVornBrowser& form) : mForm(form) {
    setObjectName("mKeyValPanel");
    setMinimumHeight(10);
    BuildGrid();
    mAutoRedraw.setObjectName("mAutoRedraw");
    mAutoRedraw.setInterval(kRedrawMs);
    connect(&mAutoRedraw, &QTimer::timeout, this,
            [this] { mForm.RunWork([this] { mAutoRedrawTimer(); }); });
}

// events that reach the filter while the grid goes no longer reach this panel
TGridPanel::~TGridPanel() {
    mAutoRedraw.stop();
    mGrid->removeEventFilter(this);
}

void TGridPanel::BuildGrid() {
    mGrid = new QTableView(this);
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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mGrid);
}

void TGridPanel::SetRows(TGridRows& rows) {
    mRows = &rows;
    mGrid->setModel(mRows);
    mGrid->setItemDelegate(new TGridDelegate(*mRows, mGrid));
    mGrid->setEnabled(false);
    ConnectGrid();
}

void TGridPanel::ConnectGrid() {
    connect(mGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (!index.isValid()) return;
                mForm.RunWork([this, column = index.column(), row = index.row()] {
                    if (mGrid->currentIndex().row() == row) mRows->SelectCell(column, row);
                });
            });
    connect(mGrid, &QTableView::doubleClicked, this,
            [this] { mForm.RunWork([this] { mRows->EditRow(-1); }); });
}

void TGridPanel::BuildPopup(const QKeySequence& copyKey) {
    mGridPopup = new QMenu(this);
    mGridPopup->setObjectName("mGridPopup");
    QAction* copyRow = mGridPopup->addAction("Copy P&ython Path");
    copyRow->setObjectName("mCopyRowPath");
    copyRow->setShortcut(copyKey);  // shown; the panel's action takes the key
    mGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mGrid, &QWidget::customContextMenuRequested, this, [this, copyRow](const QPoint& at) {
        const int row = mGrid->indexAt(at).row();
        copyRow->setData(row);
        copyRow->setEnabled(mForm.Selected() != nullptr);
        mGridPopup->popup(mGrid->viewport()->mapToGlobal(at));
    });
    connect(copyRow, &QAction::triggered, this, [this, copyRow] {
        mForm.RunWork([this, row = copyRow->data().toInt()] { mForm.CopyPythonPath(row); });
    });
}

void TGridPanel::StartAutoRedraw() { mAutoRedraw.start(); }

void TGridPanel::StopAutoRedraw() { mAutoRedraw.stop(); }

int TGridPanel::CopyRow() const { return mGrid->hasFocus() ? mGrid->currentIndex().row() : 0; }

void TGridPanel::mAutoRerfreshPropertyViewerClick(bool on) {
    if (on)
        mAutoRedraw.start();
    else
        mAutoRedraw.stop();
}

void TGridPanel::mAutoRedrawTimer() {
    // only the value column repaints: the row editors read live storage
    const int x = mGrid->columnViewportPosition(1);
    mGrid->viewport()->update(QRect(x, 0, mGrid->columnWidth(1), mGrid->viewport()->height()));
    mForm.mActionUpdate();  // scripts may have filled or emptied a list meanwhile
}

bool TGridPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mGrid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
            mForm.RunWork([this] { EditCurrentValue(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TGridPanel::EditCurrentValue() {
    const int row = mGrid->currentIndex().row();
    if (mRows->SelectCell(1, row)) {
        mGrid->setCurrentIndex(mRows->index(row, 1));
        mRows->EditRow(-1);
    }
}
