#include "watch/watch_list.h"

#include <QColor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "watch/watch_csv.h"

namespace {

const char* const kRowsType = "application/x-mosswick-watch-rows";

}  // namespace

TWatchList::TWatchList(QObject* parent) : QAbstractTableModel(parent) {
    setObjectName("mWatchList");
}

TWatchList::~TWatchList() = default;

TWatchList& TWatchList::Shared() {
    static TWatchList* shared = new TWatchList;  // lives as long as the process
    return *shared;
}

bool TWatchList::IsKeptPath(const QString& path) { return path.startsWith("vorn.os.GetObject("); }

int TWatchList::Add(const QString& path, QString* why) {
    const QString trimmed = path.trimmed();
    const bool kept = IsKeptPath(trimmed);
    TWatchTarget target = watch::Resolve(trimmed, why);
    if (!kept && !target.IsSet()) return -1;
    return AddBound(trimmed, std::move(target), kept);
}

int TWatchList::AddBound(const QString& path, TWatchTarget target, bool kept) {
    const int row = Count();
    beginInsertRows({}, row, row);
    auto added = std::make_shared<TWatch>(path, kept, std::move(target));
    added->Look(0);
    mWatches.push_back(std::move(added));
    endInsertRows();
    Changed();
    return row;
}

bool TWatchList::Remove(int index) {
    if (index < 0 || index >= Count()) return false;
    beginRemoveRows({}, index, index);
    // the watch goes once the model is updated: its Python references may run a __del__
    std::shared_ptr<TWatch> gone = std::move(mWatches[static_cast<std::size_t>(index)]);
    mWatches.erase(mWatches.begin() + index);
    endRemoveRows();
    Changed();
    return true;
}

void TWatchList::Clear() {
    beginResetModel();
    std::vector<std::shared_ptr<TWatch>> gone = std::move(mWatches);
    mWatches.clear();
    endResetModel();
    Changed();
}

bool TWatchList::Move(int from, int to) {
    if (from < 0 || from >= Count() || to < 0 || to > Count()) return false;
    if (to == from || to == from + 1) return true;
    beginMoveRows({}, from, from, {}, to);
    std::shared_ptr<TWatch> moved = std::move(mWatches[static_cast<std::size_t>(from)]);
    mWatches.erase(mWatches.begin() + from);
    mWatches.insert(mWatches.begin() + (to > from ? to - 1 : to), std::move(moved));
    endMoveRows();
    Changed();
    return true;
}

bool TWatchList::SetCondition(int index, const QString& text, QString* why) {
    if (index < 0 || index >= Count()) {
        *why = QString("no watch %1").arg(index);
        return false;
    }
    if (!mWatches[static_cast<std::size_t>(index)]->SetCondition(text, why)) return false;
    emit dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
    Changed();
    return true;
}

const TWatch* TWatchList::At(int index) const {
    return index >= 0 && index < Count() ? mWatches[static_cast<std::size_t>(index)].get()
                                         : nullptr;
}

int TWatchList::IndexOf(const TWatch* watch) const {
    for (int i = 0; i < Count(); ++i)
        if (mWatches[static_cast<std::size_t>(i)].get() == watch) return i;
    return -1;
}

void TWatchList::Sample(double clockSeconds, qint64 wallMs) {
    if (mWatches.empty()) return;
    const auto wall = static_cast<double>(wallMs);
    const bool moved = mClockSeen && clockSeconds != mLastClock;
    if (moved && !mClockMoving) mNextSampleMs = wall;  // the clock starts: a sample at once
    mClockMoving = moved;
    if (moved ? wall < mNextSampleMs : wall < mNextLookMs) return;
    if (moved) {
        constexpr double kStep = 1000.0 / kSamplesPerSecond;
        if (mNextSampleMs + kStep < wall) mNextSampleMs = wall;  // late passes do not catch up
        mNextSampleMs += kStep;
    }
    mNextLookMs = wall + kStillLookMs;
    mClockSeen = true;
    mLastClock = clockSeconds;
    LookAll(moved ? clockSeconds : std::optional<double>(), wallMs);
}

void TWatchList::LookAll(std::optional<double> sampleAt, qint64 wallMs) {
    // a read or a condition may run a script that removes watches: each is held meanwhile
    const std::vector<std::shared_ptr<TWatch>> watches = mWatches;
    std::vector<const TWatch*> fired;
    for (const auto& watch : watches) {
        watch->Look(wallMs);
        if (!sampleAt) continue;
        const bool hadError = !watch->ConditionError().isEmpty(), wasFired = watch->Fired();
        watch->TakeSample(*sampleAt);
        if (watch->CheckCondition(*sampleAt)) fired.push_back(watch.get());
        // the condition's cell is drawn again only when its mark or its error changed
        if (hadError != !watch->ConditionError().isEmpty() || wasFired != watch->Fired())
            if (const int row = IndexOf(watch.get()); row >= 0)
                emit dataChanged(index(row, ConditionColumn), index(row, ConditionColumn));
    }
    emit Sampled();
    for (const TWatch* watch : fired) {
        const int row = IndexOf(watch);
        if (row < 0) continue;
        if (mOnFire) mOnFire(row, *sampleAt);
        emit Fired(row, *sampleAt);
    }
}

int TWatchList::NextSampleIn(qint64 wallMs) const {
    if (mWatches.empty()) return -1;
    const double due = mClockMoving ? mNextSampleMs : mNextLookMs;
    return std::max(0, static_cast<int>(std::ceil(due - static_cast<double>(wallMs))));
}

void TWatchList::Changed() {
    if (!mLoading) Store();
}

void TWatchList::Report(const QString& text) {
    if (mReporter) mReporter(text);
}

void TWatchList::Forget() {
    mLoading = true;
    Clear();
    mLoading = false;
    mClockSeen = false;
    mClockMoving = false;
    mNextSampleMs = 0;
    mNextLookMs = 0;
}

void TWatchList::Load() {
    Forget();
    const QJsonArray stored =
        QJsonDocument::fromJson(mw::ReadSetting(mw::keys::kWatches, "[]").toUtf8()).array();
    mLoading = true;
    for (const QJsonValue& entry : stored) {
        const QString path = entry.toObject().value("path").toString();
        if (!IsKeptPath(path)) continue;
        QString why;
        const int row = AddBound(path, watch::Resolve(path, &why), true);
        const QString condition = entry.toObject().value("when").toString();
        if (!condition.isEmpty()) SetCondition(row, condition, &why);
    }
    mLoading = false;
}

void TWatchList::Store() const {
    QJsonArray stored;
    for (const auto& watch : mWatches) {
        if (!watch->Kept()) continue;
        QJsonObject entry{{"path", watch->Path()}};
        if (!watch->Condition().isEmpty()) entry.insert("when", watch->Condition());
        stored.append(entry);
    }
    mw::WriteSetting(mw::keys::kWatches,
                     QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
}

QString TWatchList::Csv(const std::vector<int>& indices) const {
    std::vector<const TWatch*> watches;
    for (int i : indices)
        if (const TWatch* watch = At(i)) watches.push_back(watch);
    return watch::CsvText(watches);
}

// --- the table -------------------------------------------------------------------------------

int TWatchList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int TWatchList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TWatchList::data(const QModelIndex& index, int role) const {
    const TWatch* watch = At(index.row());
    if (!watch) return {};
    const bool shown = role == Qt::DisplayRole || role == Qt::ToolTipRole;
    switch (index.column()) {
        case PathColumn:
            if (shown) return watch->Path() + (watch->Kept() ? QString() : QString(" (this run)"));
            break;
        case ValueColumn:
            if (shown) return watch->Text();
            break;
        case ConditionColumn:
            if (role == Qt::EditRole) return watch->Condition();
            if (shown) {
                if (!watch->ConditionError().isEmpty())
                    return watch->Condition() + "  [off: " + watch->ConditionError() + "]";
                if (watch->Fired())
                    return watch->Condition() +
                           QString("  [stopped at %1 s]").arg(watch->FiredAt(), 0, 'f', 2);
                return watch->Condition();
            }
            if (role == Qt::BackgroundRole &&
                (watch->Fired() || !watch->ConditionError().isEmpty()))
                return QColor(watch->Fired() ? QColor(255, 200, 120) : QColor(255, 170, 170));
            break;
        default:
            break;
    }
    return {};
}

QVariant TWatchList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const names[] = {"Path", "Value", "Plot", "Stop when"};
    return section >= 0 && section < ColumnCount ? QString(names[section]) : QVariant();
}

Qt::ItemFlags TWatchList::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == ConditionColumn) flags |= Qt::ItemIsEditable;
    return flags;
}

bool TWatchList::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != ConditionColumn) return false;
    QString why;
    return SetCondition(index.row(), value.toString(), &why);
}

Qt::DropActions TWatchList::supportedDropActions() const { return Qt::MoveAction; }

QStringList TWatchList::mimeTypes() const { return {kRowsType}; }

QMimeData* TWatchList::mimeData(const QModelIndexList& indexes) const {
    auto* data = new QMimeData;
    const int row = indexes.isEmpty() ? -1 : indexes.first().row();
    data->setData(kRowsType, QByteArray::number(row));
    return data;
}

// The watch moves itself; the view is told nothing was dropped, so it removes nothing.
bool TWatchList::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                              const QModelIndex& parent) {
    if (!data || !data->hasFormat(kRowsType)) return false;
    bool ok = false;
    const int from = data->data(kRowsType).toInt(&ok);
    const int to = row >= 0 ? row : parent.isValid() ? parent.row() : Count();
    if (ok) Move(from, to);
    return false;
}
