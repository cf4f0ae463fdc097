// Rich text reading: any bytes give runs of well-formed UTF-8, fonts and colours within their
// tables, merged neighbours and no more text than the input can spell.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/rtf_reader.h"

namespace {

// Well-formed UTF-8 without surrogates, overlong forms or values above U+10FFFF.
bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<uint8_t>(s[i]);
        size_t length = lead < 0x80   ? 1
                        : lead < 0xC2 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4
                                      : 0;
        if (length == 0 || s.size() - i < length) return false;
        uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(s[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = cp << 6 | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if ((cp < 0x20 && cp != '\t' && cp != '\n') || (cp >= 0x7F && cp < 0xA0)) return false;
        i += length;
    }
    return true;
}

bool SameFormat(const mw::RichRun& a, const mw::RichRun& b) {
    return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline &&
           a.font == b.font && a.color == b.color && a.points == b.points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const mw::RichText text = mw::ParseRtf(bytes);
    for (const std::string& name : text.fonts)
        if (name.size() > 255 || !IsUtf8(name) || name.find_first_of("\t\n") != std::string::npos)
            std::abort();
    if (text.paragraphs.size() > size + 1) std::abort();
    size_t total = 0;
    for (const mw::RichParagraph& paragraph : text.paragraphs) {
        for (size_t i = 0; i < paragraph.runs.size(); ++i) {
            const mw::RichRun& run = paragraph.runs[i];
            if (run.text.empty() || !IsUtf8(run.text)) std::abort();
            if (run.font < -1 || run.font >= static_cast<int>(text.fonts.size())) std::abort();
            if (run.color < -1 || run.color >= static_cast<int>(text.colors.size())) std::abort();
            if (run.points < 0 || run.points > 1638) std::abort();
            if (i > 0 && SameFormat(run, paragraph.runs[i - 1])) std::abort();
            if (!text.FontName(run).empty() && run.font < 0) std::abort();
            total += run.text.size();
        }
    }
    // A single input byte spells at most one three-byte character (0x80 is the euro sign).
    if (total > 3 * size) std::abort();
    return 0;
}
