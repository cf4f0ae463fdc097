#include "plain_text.h"

namespace vorn {

std::size_t ValidUtf8Length(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4;
        else
            return i;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
        if (text.size() - i < length) return i;
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return i;
        }
        i += length;
    }
    return i;
}

std::string LineAndColumn(std::string_view text, std::size_t offset) {
    std::string_view before = text.substr(0, offset);
    std::size_t line = 1;
    for (char c : before)
        if (c == '\n') ++line;
    std::size_t newline = before.rfind('\n');
    std::size_t column = offset - (newline == std::string_view::npos ? 0 : newline + 1) + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string PlainJsonMessage(const char* what) {
    std::string text = what ? what : "";
    if (text.rfind("[json.exception.", 0) == 0) {
        std::string::size_type end = text.find("] ");
        if (end != std::string::npos) text.erase(0, end + 2);
    }
    // "; last read: '<bytes>'" may be followed by what the reader expected instead
    std::string::size_type quoted = text.find("; last read:");
    if (quoted != std::string::npos) {
        std::string::size_type expected = text.rfind("; expected ");
        std::string tail = expected != std::string::npos && expected > quoted
                               ? text.substr(expected)
                               : std::string();
        text.erase(quoted);
        text += tail;
    }
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return text;
}

}  // namespace vorn
