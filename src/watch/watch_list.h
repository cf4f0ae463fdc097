#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "watch/watch.h"

// The watched values, in the user's order: added from the browser or by scripts, read and
// sampled on the idle pass, kept in the settings when their path starts from a registered
// object. A table of path, value, plot and condition for the Watches window.
class TWatchList : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { PathColumn, ValueColumn, PlotColumn, ConditionColumn, ColumnCount };
    // at most this many samples a second of wall time
    static constexpr int kSamplesPerSecond = 60;

    explicit TWatchList(QObject* parent = nullptr);
    ~TWatchList() override;

    // Watches `path` as Copy Python Path makes it: one from a registered object is kept and
    // resolved again while it does not resolve; any other is bound now and lives for the run.
    // -1 with the reason when such a path does not resolve now.
    int Add(const QString& path, QString* why);
    // Watches what `target` reads, shown as `path`.
    int AddBound(const QString& path, TWatchTarget target, bool kept);
    bool Remove(int index);
    void Clear();
    // Moves the watch at `from` to stand at `to` (the position among the others after it).
    bool Move(int from, int to);
    // False with the reason for an index out of range or a condition that does not compile.
    bool SetCondition(int index, const QString& text, QString* why);

    int Count() const { return static_cast<int>(mWatches.size()); }
    const TWatch* At(int index) const;
    // Whether `path` starts from a registered object, so it is kept.
    static bool IsKeptPath(const QString& path);

    // Reads every watch; when the clock moved since the last sample and a sample is due by
    // wall time, each numeric watch keeps a sample and its condition is checked.
    void Sample(double clockSeconds, qint64 wallMs);
    // Milliseconds until Sample has work, -1 without watches.
    int NextSampleIn(qint64 wallMs) const;
    // Wall milliseconds between looks while the clock stands still.
    static constexpr int kStillLookMs = 250;
    // The clock's time at the last look.
    double LastClock() const { return mLastClock; }
    // Says `text` where the user reads what the tool tells (the status bar).
    void Report(const QString& text);
    void SetReporter(std::function<void(const QString&)> reporter) {
        mReporter = std::move(reporter);
    }
    // Called when a condition becomes true: the watch's index and the clock's time.
    void SetOnFire(std::function<void(int, double)> onFire) { mOnFire = std::move(onFire); }

    // Reads the kept watches from the settings and writes them there.
    void Load();
    void Store() const;
    // Lets go of every watch without touching the settings, as the tool closes.
    void Forget();

    // The samples of the watches `indices` as CSV: a time column, then one per value.
    QString Csv(const std::vector<int>& indices) const;

    // Adds and removes through the list every part of the tool shares.
    static TWatchList& Shared();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    // New samples were taken (or values read): what shows them may redraw.
    void Sampled();
    // A condition became true.
    void Fired(int index, double time);

private:
    // Reads every watch and, with a time, samples them and checks their conditions.
    void LookAll(std::optional<double> sampleAt, qint64 wallMs);
    int IndexOf(const TWatch* watch) const;
    void Changed();

    std::vector<std::shared_ptr<TWatch>> mWatches;
    std::function<void(int, double)> mOnFire;
    std::function<void(const QString&)> mReporter;
    double mLastClock = 0;
    bool mClockSeen = false;
    bool mClockMoving = false;  // the clock moved between the last two passes
    double mNextSampleMs = 0;
    double mNextLookMs = 0;
    bool mLoading = false;
};
