#include "allocator.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vorn {

void* Allocator::Alloc(std::size_t size) {
    if (size > SIZE_MAX - sizeof(Header)) return nullptr;
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) return nullptr;
    h->magic = kLiveMagic;
    h->size = size;
    ++mLive;
    return h + 1;
}

bool Allocator::Free(void* block) {
    if (!block) return true;
    Header* h = static_cast<Header*>(block) - 1;
    if (h->magic != kLiveMagic) return false;
    h->magic = kFreedMagic;
    --mLive;
    std::free(h);
    return true;
}

char* Allocator::Dup(const char* text) { return Dup(text, text ? std::strlen(text) : 0); }

char* Allocator::Dup(const char* text, std::size_t length) {
    char* copy = static_cast<char*>(Alloc(length + 1));
    if (!copy) return nullptr;
    if (length) std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

char* Allocator::Replace(void* block, const char* text, std::size_t length) {
    if (block) {
        if (Room(block) > length) {
            char* same = static_cast<char*>(block);
            if (length) std::memmove(same, text, length);
            same[length] = 0;
            return same;
        }
    }
    char* copy = Dup(text, length);
    if (copy) Free(block);
    return copy;
}

}  // namespace vorn
