#include "trashcan.h"

#include <deque>

namespace vorn {

namespace {

struct Pending {
    IRoot* object;
    void (*destroy)(IRoot*);
};

thread_local bool tDestroying = false;
thread_local std::deque<Pending> tQueue;  // first in, first out: items go in the order released

}  // namespace

void Trashcan::Destroy(IRoot* object, void (*destroy)(IRoot*)) {
    if (tDestroying) {
        tQueue.push_back(Pending{object, destroy});
        return;
    }
    tDestroying = true;
    destroy(object);
    while (!tQueue.empty()) {
        Pending next = tQueue.front();
        tQueue.pop_front();
        next.destroy(next.object);
    }
    tDestroying = false;
}

}  // namespace vorn
