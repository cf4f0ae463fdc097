#include "name_cache.h"

#include <utility>

namespace vorn {

namespace {
constexpr size_t kFirstSlots = 64;
}

bool NameCache::SameText(PyObject* a, PyObject* b) {
    // exact str on both sides: the comparison cannot fail
    return PyUnicode_Compare(a, b) == 0;
}

const NameMeaning* NameCache::Add(const VnTypeInfo* type, PyObject* name, Py_hash_t hash,
                                  const NameMeaning& meaning) {
    if (mUsed >= kMaxEntries) Clear();
    if ((mUsed + 1) * 2 > mSlots.size()) Grow();
    size_t mask = mSlots.size() - 1;
    size_t i = Slot(type, hash, mask);
    while (mSlots[i].name) i = (i + 1) & mask;
    mSlots[i] = Entry{type, Py_NewRef(name), hash, meaning};
    ++mUsed;
    return &mSlots[i].meaning;
}

void NameCache::Grow() {
    std::vector<Entry> old(mSlots.empty() ? kFirstSlots : mSlots.size() * 2);
    std::swap(old, mSlots);  // the entries are in `old` now, the empty larger table in mSlots
    size_t mask = mSlots.size() - 1;
    for (Entry& e : old) {
        if (!e.name) continue;
        size_t i = Slot(e.type, e.hash, mask);
        while (mSlots[i].name) i = (i + 1) & mask;
        mSlots[i] = e;
    }
}

void NameCache::Clear() {
    // emptied before the names go, so the cache is consistent whatever their release runs
    std::vector<Entry> old;
    std::swap(old, mSlots);
    mUsed = 0;
    for (Entry& e : old) Py_XDECREF(e.name);
}

void NameCache::Abandon() {
    mSlots.clear();
    mUsed = 0;
}

}  // namespace vorn
