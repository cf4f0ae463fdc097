#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "vorn/pyos.h"

// The browser and its editors call Python while they work: a value's __str__ as its cell paints,
// __len__ and __getitem__ as a node expands, __setitem__ as an editor stores, __del__ as a row
// lets go. That code may run any script, which may browse, wait, or free what the calling frame
// uses. While such work is under way:
// - scripts may not rebuild the browser: they get a clear Python error (RefuseScriptCall);
// - what the work lets go of (nodes, rows, Python values) is kept until no work is under way,
//   and released from the event loop (Retire), so no frame is left holding freed memory and no
//   __del__ runs inside an update;
// - what the user does meanwhile (only possible while a tasklet waits inside the work) is done
//   once the work is over (Later).
class TBrowserWork : public QObject {
    Q_OBJECT
public:
    // Marks the browser's work for the life of the scope. Nested scopes of the same tasklet
    // count as one piece of work.
    class Scope {
    public:
        explicit Scope(TBrowserWork& work);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        TBrowserWork& mWork;
    };
    // Lifts the work's mark while a modal loop runs inside it: scripts may browse then, and
    // the frames that run the loop look up again what they use once it ends.
    class Open {
    public:
        explicit Open(TBrowserWork& work);
        ~Open();
        Open(const Open&) = delete;
        Open& operator=(const Open&) = delete;

    private:
        TBrowserWork& mWork;
        int mDepth;
        VnTasklet mOwner;
    };

    TBrowserWork() = default;
    ~TBrowserWork() override;

    bool Busy() const { return mDepth > 0; }
    // Work is under way on another tasklet, which waits inside it: the calling frame must not
    // change what that work uses.
    bool BusyElsewhere() const;

    // Keeps `held` until no work is under way; then it is released from the event loop.
    template <class T>
    void Retire(std::unique_ptr<T> held) {
        if (held) Keep(std::shared_ptr<void>(std::move(held)));
    }
    void Keep(std::shared_ptr<void> held);
    // Runs `task` once no work is under way, unless `context` has gone by then.
    void Later(QObject* context, std::function<void()> task);
    // Answers false with a Python RuntimeError naming `call` while work is under way.
    bool RefuseScriptCall(const char* call) const;
    // Releases what was retired and runs what waits, when no work is under way.
    void Settle();
    // Releases everything kept and drops what waits, whatever is under way: for the end.
    void ReleaseAll();

private:
    void Post();
    void DropRetired();

    int mDepth = 0;
    VnTasklet mOwner = nullptr;  // the tasklet doing the work; null for the main tasklet
    bool mPosted = false;
    std::vector<std::shared_ptr<void>> mRetired;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> mLater;
};
