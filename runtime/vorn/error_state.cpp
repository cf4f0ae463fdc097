#include "error_state.h"

#include <cstdio>
#include <vector>

namespace vorn {

namespace {
std::string Format(const char* format, va_list args) VORN_PRINTF(1, 0);
std::string Format(const char* format, va_list args) {
    if (!format) return {};
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) return format;  // a broken format still says something
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    return std::string(buf.data(), static_cast<size_t>(n));
}
}  // namespace

void ErrorState::Set(int code, const VnCLSID* context, const char* format, va_list args) {
    if (code == 0 && !format) {
        Clear();
        return;
    }
    std::string text = Format(format, args);
    std::lock_guard<std::mutex> lock(mMutex);
    mPending = true;
    mCode = code;
    mContext = context ? *context : VnCLSID{};
    mText = std::move(text);
}

void ErrorState::SetText(int code, const char* text) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPending = true;
    mCode = code;
    mContext = VnCLSID{};
    mText = text ? text : "";
}

void ErrorState::Clear() {
    std::lock_guard<std::mutex> lock(mMutex);
    mPending = false;
    mCode = 0;
    mText.clear();
}

bool ErrorState::Has(int code) const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPending && (code == 0 || code == mCode);
}

int ErrorState::Code() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPending ? mCode : 0;
}

std::string ErrorState::Text() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPending ? mText : std::string();
}

}  // namespace vorn
