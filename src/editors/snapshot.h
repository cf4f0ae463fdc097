#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "vorn/ref.h"
#include "vorn/weak.h"

class TEditHistory;
class TEditStep;

// One value that differs between a snapshot and the live world.
struct TChangeRow {
    enum class Kind { Changed, Added, Removed, Moved, Replaced };
    Kind kind = Kind::Changed;
    QString path;         // from the snapshot's root: ".color", ".models[2]"
    QString then;         // as the snapshot holds it
    QString now;          // as the live world holds it
    QString writer;       // who wrote it last: "Spin Model.py:12", "colour editor", "engine"
    VnWeak<IRoot> owner;  // the live object that holds the value, for revealing it
    // Puts the snapshot's value back and answers the step that undoes it; null when it cannot.
    std::function<std::unique_ptr<TEditStep>(TEditHistory&)> revert;
};

// The state of an object and everything below it (members, list items, script attributes
// that branch files hold) at one moment, or as a branch file holds it: a copy of the objects,
// made through branch file text, paired with the live objects it was taken from.
class TSnapshot {
public:
    // A snapshot of `live` now. Null with the reason in `why`.
    static std::shared_ptr<TSnapshot> Take(IRoot* live, const QString& rootPath, QString* why);
    // The branch file `file` as a snapshot of `live`: objects are matched by their path from the
    // root. Null with the reason in `why`.
    static std::shared_ptr<TSnapshot> Load(const QString& file, IRoot* live,
                                           const QString& rootPath, QString* why);
    ~TSnapshot();
    TSnapshot(const TSnapshot&) = delete;
    TSnapshot& operator=(const TSnapshot&) = delete;

    // Every value that differs between the snapshot and the live objects now.
    std::vector<TChangeRow> Compare() const;
    // Puts back the values of `rows` as one undo step named `text`; answers how many were put
    // back.
    int Revert(std::vector<TChangeRow>& rows, TEditHistory& history, const QString& text) const;
    // Writes the snapshot as a branch file. False with the reason in `why`.
    bool Save(const QString& file, QString* why) const;

    const QString& RootPath() const { return mRootPath; }
    // The live root, held, while it lives.
    VnRef<IRoot> LiveRoot() const { return mLive.lock(); }
    // "a moment" or the file a snapshot came from.
    const QString& Source() const { return mSource; }

private:
    TSnapshot(VnRef<IRoot> copy, IRoot* live, QString rootPath, QString source);

    VnRef<IRoot> mCopy;
    VnWeak<IRoot> mLive;
    QString mRootPath;
    QString mSource;
    // each copied object to the live one it was taken from; empty for a branch file
    std::unordered_map<IRoot*, VnWeak<IRoot>> mPairs;
    friend class TSnapshotCompare;
    friend class TSnapshotCopy;
};
