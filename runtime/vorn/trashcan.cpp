#include "trashcan.h"

#include <cstddef>
#include <vector>

namespace vorn {

namespace {

struct Pending {
    IRoot* object;
    void (*destroy)(IRoot*);
};

// Objects waiting to be destroyed, first in first out, with the entries already taken cleared
// away once they are the larger part.
class Queue {
public:
    void Push(Pending p) { mItems.push_back(p); }
    bool Take(Pending* out) {
        if (mNext == mItems.size()) return false;
        *out = mItems[mNext++];
        if (mNext == mItems.size()) {
            mItems.clear();
            mNext = 0;
        } else if (mNext > 1024 && mNext * 2 > mItems.size()) {
            mItems.erase(mItems.begin(), mItems.begin() + static_cast<std::ptrdiff_t>(mNext));
            mNext = 0;
        }
        return true;
    }

private:
    std::vector<Pending> mItems;
    size_t mNext = 0;
};

// The queue of the destruction running on this thread, kept on its stack: a plain pointer, so
// objects released by static destructors at exit never meet a queue already destroyed.
thread_local Queue* tQueue = nullptr;

}  // namespace

void Trashcan::Destroy(IRoot* object, void (*destroy)(IRoot*)) {
    if (tQueue) {
        tQueue->Push(Pending{object, destroy});
        return;
    }
    Queue queue;
    tQueue = &queue;
    destroy(object);
    for (Pending next{}; queue.Take(&next);) next.destroy(next.object);
    tQueue = nullptr;
}

}  // namespace vorn
