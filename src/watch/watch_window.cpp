#include "watch/watch_window.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "watch/watch_list.h"
#include "watch/watch_plot.h"

namespace {

const QColor kLineColours[4] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                                QColor(120, 120, 120)};

// Paints a watch's last TWatchPlot::kSpanSeconds in its plot cell, its least and greatest value
// per pixel column.
class TSparkDelegate : public QStyledItemDelegate {
public:
    TSparkDelegate(TWatchList& list, QObject* parent) : QStyledItemDelegate(parent), mList(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const TWatch* watch = mList.At(index.row());
        const TSampleRing* ring = watch ? watch->Ring() : nullptr;
        if (!ring || ring->Size() == 0) return;
        const QRectF box = QRectF(option.rect).adjusted(2, 2, -2, -2);
        const double to = ring->Time(ring->Size() - 1), from = to - TWatchPlot::kSpanSeconds;
        const std::size_t first = ring->NewestSince(from);
        float low = ring->Value(first < ring->Size() ? first : 0, 0), high = low;
        for (std::size_t i = first; i < ring->Size(); ++i)
            for (int c = 0; c < ring->Channels(); ++c) {
                low = std::min(low, ring->Value(i, c));
                high = std::max(high, ring->Value(i, c));
            }
        const double range = high > low ? high - low : 1;
        painter->save();
        painter->setClipRect(option.rect);
        for (int c = 0; c < ring->Channels(); ++c) {
            QPolygonF line;
            int lastX = -1;
            for (std::size_t i = first; i < ring->Size(); ++i) {
                const double x =
                    box.left() + (ring->Time(i) - from) / TWatchPlot::kSpanSeconds * box.width();
                if (static_cast<int>(x) == lastX && i + 1 < ring->Size())
                    continue;  // a point per pixel
                lastX = static_cast<int>(x);
                line << QPointF(x, box.bottom() - (ring->Value(i, c) - low) / range * box.height());
            }
            painter->setPen(kLineColours[c]);
            painter->drawPolyline(line);
        }
        painter->restore();
    }

private:
    TWatchList& mList;
};

}  // namespace

TWatchWindow::TWatchWindow(TWatchList& list, QWidget* parent) : QWidget(parent), mList(list) {
    setObjectName("mWatchWindow");
    setWindowTitle("Watches");
    mTable = new QTableView;
    mTable->setObjectName("mWatchTable");
    mTable->setModel(&mList);
    mTable->setItemDelegateForColumn(TWatchList::PlotColumn, new TSparkDelegate(mList, mTable));
    mTable->setWordWrap(false);
    mTable->setTextElideMode(Qt::ElideLeft);  // a path's end names the value
    mTable->verticalHeader()->hide();
    mTable->verticalHeader()->setDefaultSectionSize(22);
    mTable->horizontalHeader()->setStretchLastSection(true);
    mTable->setColumnWidth(TWatchList::PathColumn, 260);
    mTable->setColumnWidth(TWatchList::ValueColumn, 140);
    mTable->setColumnWidth(TWatchList::PlotColumn, 160);
    mTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    mTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    // a row dragged to another place moves there; the list moves it itself
    mTable->setDragDropMode(QAbstractItemView::InternalMove);
    mTable->setDragDropOverwriteMode(false);
    mTable->setDefaultDropAction(Qt::MoveAction);
    mPlot = new TWatchPlot;
    auto* split = new QSplitter(Qt::Vertical);
    split->setObjectName("mWatchSplit");
    split->addWidget(mTable);
    split->addWidget(mPlot);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    BuildActions();
    connect(&mList, &TWatchList::Sampled, this, [this] { mDirty = true; });
    connect(mPlot, &TWatchPlot::ViewChanged, this, [this] {
        mDirty = true;
        Redraw();
    });
    connect(mTable->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        mDirty = true;
        Redraw();
    });
    mRedraw.setObjectName("mWatchRedraw");
    mRedraw.setInterval(kRedrawMs);
    connect(&mRedraw, &QTimer::timeout, this, &TWatchWindow::Redraw);
    mRedraw.start();
}

QAction* TWatchWindow::AddAction(const char* name, const QString& caption, const QKeySequence& key,
                                 const std::function<void()>& handler) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(action, &QAction::triggered, this, handler);
    mTable->addAction(action);
    return action;
}

void TWatchWindow::BuildActions() {
    mTable->setContextMenuPolicy(Qt::ActionsContextMenu);
    AddAction("mWatchRemove", "&Remove", QKeySequence::Delete, [this] { RemoveChosen(); });
    AddAction("mWatchClear", "Clear &All", {}, [this] { mList.Clear(); });
    AddAction("mWatchCopyCsv", "&Copy as CSV", QKeySequence::Copy, [this] { CopyCsv(); });
    AddAction("mWatchSaveCsv", "&Save as CSV...", {}, [this] { SaveCsv(); });
}

void TWatchWindow::Redraw() {
    if (!mDirty || !isVisible()) return;
    mDirty = false;
    // only the value and plot cells change as samples come
    const int x = mTable->columnViewportPosition(TWatchList::ValueColumn);
    const int right = mTable->columnViewportPosition(TWatchList::PlotColumn) +
                      mTable->columnWidth(TWatchList::PlotColumn);
    mTable->viewport()->update(QRect(x, 0, right - x, mTable->viewport()->height()));
    const int row = mTable->currentIndex().isValid() ? mTable->currentIndex().row() : 0;
    mPlot->Show(mList.At(row), mList.LastClock());
}

std::vector<int> TWatchWindow::ChosenRows() const {
    std::set<int> rows;
    for (const QModelIndex& index : mTable->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    if (rows.empty())
        for (int i = 0; i < mList.Count(); ++i) rows.insert(i);
    return {rows.begin(), rows.end()};
}

void TWatchWindow::RemoveChosen() {
    if (mTable->selectionModel()->selectedIndexes().isEmpty()) return;
    const std::vector<int> rows = ChosenRows();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) mList.Remove(*row);
}

void TWatchWindow::CopyCsv() { QGuiApplication::clipboard()->setText(mList.Csv(ChosenRows())); }

bool TWatchWindow::SaveCsv() {
    const QString file = QFileDialog::getSaveFileName(this, "Save Samples", "watches.csv",
                                                      "CSV files (*.csv);;All files (*)");
    return !file.isEmpty() && SaveCsvTo(file);
}

bool TWatchWindow::SaveCsvTo(const QString& file) {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        mList.Report("Cannot write " + file + ": " + out.errorString());
        return false;
    }
    const QByteArray text = mList.Csv(ChosenRows()).toUtf8();
    if (out.write(text) != text.size() || !out.flush()) {
        mList.Report("Cannot write " + file + ": " + out.errorString());
        return false;
    }
    return true;
}
