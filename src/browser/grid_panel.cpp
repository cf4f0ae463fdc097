#include "browser/grid_panel.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QVBoxLayout>

#include "browser/grid_rows.h"
#include "browser/grid_view.h"
#include "browser/tm_vorn_browser.h"
#include "shell/ishell.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"

namespace {

constexpr int kRedrawMs = 333;
const char* const kNameWidth = "110";  // "lastFrameTime" and "KxTextureStage" read whole
constexpr int kMinimumNameWidth = 40;

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

TGridPanel::~TGridPanel() { mAutoRedraw.stop(); }

void TGridPanel::BuildGrid() {
    mGrid = new TGridView(this);
    mGrid->setObjectName("mGrid");
    mGrid->verticalHeader()->hide();
    mGrid->verticalHeader()->setDefaultSectionSize(18);
    // the header names the object's class and stays while the rows scroll
    QHeaderView* header = mGrid->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    // the names keep the width the user gave them; the values fill the rest, never out of sight
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    header->setDefaultSectionSize(mw::SettingNumber(mw::keys::kGridNameWidth, kNameWidth));
    header->setMinimumSectionSize(kMinimumNameWidth);
    connect(header, &QHeaderView::sectionResized, this, [](int section, int, int width) {
        if (section == 0) mw::WriteNumber(mw::keys::kGridNameWidth, width);
    });
    mGrid->horizontalScrollBar()->setEnabled(false);
    mGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    mGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    mGrid->SetDialogOpener([this](int row) {
        mForm.RunWork([this, row] {
            // the dialog's edit goes on without the row if a script rebuilds the grid meanwhile
            if (TRowEditor* editor = mRows->Editor(row)) editor->BeginEdit();
        });
    });
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

// The status bar describes the member of the current row.
void TGridPanel::ConnectGrid() {
    connect(mGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (!index.isValid()) return;
                mForm.RunWork([this, row = index.row()] {
                    if (mGrid->currentIndex().row() == row)
                        mForm.Shell().SetStatusText(0, mRows->StatusText(row));
                });
            });
}

void TGridPanel::BuildPopup(const QKeySequence& copyKey, const QKeySequence& watchKey) {
    mGridPopup = new QMenu(this);
    mGridPopup->setObjectName("mGridPopup");
    QAction* copyRow = mGridPopup->addAction("Copy P&ython Path");
    copyRow->setObjectName("mCopyRowPath");
    copyRow->setShortcut(copyKey);  // shown; the panel's action takes the key
    QAction* watchRow = mGridPopup->addAction("&Watch");
    watchRow->setObjectName("mWatchRow");
    watchRow->setShortcut(watchKey);
    mGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mGrid, &QWidget::customContextMenuRequested, this,
            [this, copyRow, watchRow](const QPoint& at) {
                const int row = mGrid->indexAt(at).row();
                for (QAction* entry : {copyRow, watchRow}) {
                    entry->setData(row);
                    entry->setEnabled(mForm.Selected() != nullptr);
                }
                mGridPopup->popup(mGrid->viewport()->mapToGlobal(at));
            });
    connect(copyRow, &QAction::triggered, this, [this, copyRow] {
        mForm.RunWork([this, row = copyRow->data().toInt()] { mForm.CopyPythonPath(row); });
    });
    connect(watchRow, &QAction::triggered, this, [this, watchRow] {
        mForm.RunWork([this, row = watchRow->data().toInt()] { mForm.WatchValue(row); });
    });
}

void TGridPanel::StartAutoRedraw() { mAutoRedraw.start(); }

void TGridPanel::StopAutoRedraw() { mAutoRedraw.stop(); }

int TGridPanel::CopyRow() const { return mGrid->hasFocus() ? mGrid->currentIndex().row() : -1; }

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
