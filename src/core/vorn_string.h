#pragma once

namespace mw {

// Owns one text allocated by the runtime (VnOS->Alloc), or none.
class VornString {
public:
    VornString() = default;
    explicit VornString(const char* text) { assign(text); }
    VornString(const VornString& other) { assign(other.mText); }
    VornString(VornString&& other) noexcept;
    VornString& operator=(const VornString& other);
    VornString& operator=(VornString&& other) noexcept;
    VornString& operator=(const char* text) {
        assign(text);
        return *this;
    }
    ~VornString() { reset(); }

    // Replaces the text with a new copy of `text`; null or a failed allocation leaves it empty.
    void assign(const char* text);
    // Frees the text.
    void reset();
    // Takes over a block the runtime handed out (GetErrorText, Setting, ...).
    void adopt(char* block) {
        reset();
        mText = block;
    }
    // Hands the block over to the caller, who must Free it; leaves this empty.
    char* release();

    const char* get() const { return mText; }  // null when empty
    const char* c_str() const { return mText ? mText : ""; }
    bool isNull() const { return mText == nullptr; }

private:
    char* mText = nullptr;
};

}  // namespace mw
