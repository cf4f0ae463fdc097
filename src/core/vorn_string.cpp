#include "core/vorn_string.h"

#include <cstring>
#include <utility>

#include "vorn/os.h"

namespace mw {

VornString::VornString(VornString&& other) noexcept : mText(std::exchange(other.mText, nullptr)) {}

VornString& VornString::operator=(const VornString& other) {
    if (this != &other) assign(other.mText);
    return *this;
}

VornString& VornString::operator=(VornString&& other) noexcept {
    if (this != &other) {
        reset();
        mText = std::exchange(other.mText, nullptr);
    }
    return *this;
}

void VornString::assign(const char* text) {
    // The copy is made before the old block goes, so a text may be assigned from itself.
    char* copy = nullptr;
    if (text) {
        std::size_t length = std::strlen(text);
        copy = static_cast<char*>(VnOS->Alloc(length + 1));
        if (copy) std::memcpy(copy, text, length + 1);
    }
    reset();
    mText = copy;
}

void VornString::reset() {
    if (char* text = std::exchange(mText, nullptr)) VnOS->Free(text);
}

char* VornString::release() { return std::exchange(mText, nullptr); }

}  // namespace mw
