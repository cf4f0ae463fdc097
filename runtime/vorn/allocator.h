#pragma once

#include <atomic>
#include <cstddef>

namespace vorn {

// Blocks handed out to callers. Each block carries a header so that a block that did not come
// from here, or one freed twice, is refused instead of corrupting the heap.
class Allocator {
public:
    void* Alloc(std::size_t size);
    // false when the block is not a live block of this allocator (nothing is freed then).
    bool Free(void* block);
    long Live() const { return mLive.load(); }
    // An Alloc'ed copy of the text (null text gives an empty one).
    char* Dup(const char* text);
    char* Dup(const char* text, std::size_t length);
    // A block holding a copy of the text: `block` itself, written over, when it is a live block
    // of this allocator with room for the text; else a new block, and `block` is freed. Null
    // when no memory is left; `block` is untouched then.
    char* Replace(void* block, const char* text, std::size_t length);

private:
    std::atomic<long> mLive{0};
};

}  // namespace vorn
