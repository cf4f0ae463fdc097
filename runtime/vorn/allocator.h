#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

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
    // The room of a live block of any allocator like this one (what it was allocated with), or
    // 0 for anything else. Inline: scripts write texts over texts as often as numbers.
    static std::size_t Room(const void* block) {
        const Header* h = static_cast<const Header*>(block) - 1;
        return h->magic == kLiveMagic ? static_cast<std::size_t>(h->size) : 0;
    }

private:
    static constexpr uint64_t kLiveMagic = 0x564F524E424C4B31ull;  // "VORNBLK1"
    static constexpr uint64_t kFreedMagic = 0x564F524E46524545ull;
    struct alignas(16) Header {
        uint64_t magic;
        uint64_t size;  // what the block was allocated with: its room
    };

    std::atomic<long> mLive{0};
};

}  // namespace vorn
