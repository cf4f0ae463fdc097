#include "editors/browser_work.h"

#include <QTimer>

#include "vorn/py_ref.h"

namespace {

VnTasklet Running() { return PyOS ? PyOS->CurrentTasklet() : nullptr; }

}  // namespace

TBrowserWork::Scope::Scope(TBrowserWork& work) : mWork(work) {
    if (mWork.mDepth++ == 0) mWork.mOwner = Running();
}

TBrowserWork::Scope::~Scope() {
    if (--mWork.mDepth == 0) mWork.Post();
}

TBrowserWork::Open::Open(TBrowserWork& work)
    : mWork(work), mDepth(work.mDepth), mOwner(work.mOwner) {
    mWork.mDepth = 0;
    mWork.Post();
}

TBrowserWork::Open::~Open() {
    // work begun inside the loop has ended by now: scopes are never left open across it
    mWork.mDepth = mDepth;
    mWork.mOwner = mOwner;
}

// What is still kept goes last, after every form that used it.
TBrowserWork::~TBrowserWork() { ReleaseAll(); }

bool TBrowserWork::BusyElsewhere() const { return mDepth > 0 && mOwner != Running(); }

void TBrowserWork::Keep(std::shared_ptr<void> held) {
    mRetired.push_back(std::move(held));
    if (mDepth == 0) Post();
}

void TBrowserWork::Later(QObject* context, std::function<void()> task) {
    mLater.emplace_back(context, std::move(task));
    if (mDepth == 0) Post();
}

bool TBrowserWork::RefuseScriptCall(const char* call) const {
    if (mDepth == 0) return true;
    PyErr_Format(PyExc_RuntimeError,
                 "%s cannot run while the browser is updating: it was called from code the "
                 "browser runs (a __str__, __len__, __del__, property or callback), or while "
                 "another tasklet waits inside such code",
                 call);
    return false;
}

void TBrowserWork::Post() {
    if (mPosted || (mRetired.empty() && mLater.empty())) return;
    mPosted = true;
    QTimer::singleShot(0, this, &TBrowserWork::Settle);
}

// A __del__ run here may browse and retire more, and a task may begin new work: each round
// takes what is there when it starts, until nothing is left or work is under way again.
void TBrowserWork::Settle() {
    mPosted = false;
    while (mDepth == 0 && (!mRetired.empty() || !mLater.empty())) {
        DropRetired();
        auto tasks = std::move(mLater);
        mLater.clear();
        for (auto& [context, task] : tasks)
            if (context) task();
    }
}

void TBrowserWork::ReleaseAll() {
    mLater.clear();
    while (!mRetired.empty()) DropRetired();
}

// What a dropped value's __del__ retires meanwhile waits for the next round.
void TBrowserWork::DropRetired() {
    std::vector<std::shared_ptr<void>> batch = std::move(mRetired);
    mRetired.clear();
    batch.clear();
}
