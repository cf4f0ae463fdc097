#pragma once

#include <cstdarg>
#include <mutex>
#include <string>

#include "vorn/ids.h"

namespace vorn {

// The one pending error of the runtime: a code, the class it came from and a text.
class ErrorState {
public:
    void Set(int code, const VnCLSID* context, const char* format, va_list args) VORN_PRINTF(4, 0);
    void SetText(int code, const char* text);
    void Clear();
    bool Has(int code) const;
    int Code() const;
    std::string Text() const;

private:
    mutable std::mutex mMutex;
    int mCode = 0;
    bool mPending = false;
    VnCLSID mContext{};
    std::string mText;
};

}  // namespace vorn
