#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mw {

struct RichColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// Text in one format. The text is valid UTF-8 and never empty; "\t" is a tab and "\n" a line
// break inside the paragraph, and it holds no other control characters.
struct RichRun {
    std::string text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int font = -1;      // index into RichText::fonts, -1 when the run names none
    int color = -1;     // index into RichText::colors, -1 for the default colour
    double points = 0;  // size in points, 0 for the default size
};

// Neighbouring runs of a paragraph always differ in format.
struct RichParagraph {
    std::vector<RichRun> runs;
};

struct RichText {
    std::vector<RichParagraph> paragraphs;
    std::vector<std::string> fonts;  // family names, UTF-8, possibly empty
    std::vector<RichColor> colors;

    // The run's font family, empty when it has none.
    const std::string& FontName(const RichRun& run) const;
    // The run's colour, none for the default colour.
    std::optional<RichColor> Color(const RichRun& run) const;
};

// True when the bytes, after an optional UTF-8 byte order mark and white space, open "{\rtf".
bool LooksLikeRtf(std::string_view bytes);

// Reads rich text; any other bytes are read as plain text, one paragraph per line. Bytes that are
// not UTF-8 are read as Windows-1252. Each \par or line end closes a paragraph; text after the
// last one forms a final paragraph. Never fails: broken input gives what could be read of it.
RichText ParseRtf(std::string_view bytes);

}  // namespace mw
