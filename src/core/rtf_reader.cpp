#include "core/rtf_reader.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace mw {

namespace {

constexpr size_t kMaxDepth = 256;      // deeper groups are read flat, in the state they meet
constexpr size_t kMaxWordLength = 32;  // longer control words are read and ignored
constexpr int64_t kMaxParameter = 0x7FFFFFFF;  // larger numbers are clamped to it
constexpr size_t kMaxFontName = 255;           // bytes; longer names are cut at a character
constexpr int kMaxHalfPoints = 3276;           // 1638 points
constexpr int kMaxUnicodeSkip = 255;
constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 for bytes 0x80-0x9F; the five bytes the code page leaves out read as U+FFFD.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t FromCp1252(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

struct Decoded {
    char32_t cp;
    size_t length;
};

// The character at `at`: a well-formed UTF-8 sequence, or else its first byte as Windows-1252.
Decoded DecodeAt(std::string_view text, size_t at) {
    const auto lead = static_cast<uint8_t>(text[at]);
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    char32_t cp = 0;
    if (lead < 0x80) return {lead, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    if (length == 0 || text.size() - at < length) return {FromCp1252(lead), 1};
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[at + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
            return {FromCp1252(lead), 1};
        cp = cp << 6 | (next & 0x3F);
    }
    return {cp, length};
}

// Encodes a scalar value; the caller never passes a surrogate or a value above U+10FFFF.
size_t EncodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | cp >> 6);
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | cp >> 12);
        out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | cp >> 18);
    out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// Printable ASCII that is text as it stands: read in stretches rather than byte by byte.
bool IsPlainByte(char c) { return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}'; }

enum class Act : uint8_t {
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Font,
    Size,
    Color,
    Plain,
    Paragraph,
    Character,
    Unicode,
    UnicodeSkip,
    Binary,
    DefaultFont,
    FontTable,
    ColorTable,
    Red,
    Green,
    Blue,
    Skip,
};

struct Word {
    std::string_view name;
    Act act;
    char32_t character = 0;  // for Act::Character
};

// Sorted by name. Skip marks destinations whose text is never shown.
constexpr Word kWords[] = {
    {"annotation", Act::Skip},
    {"atnauthor", Act::Skip},
    {"atnid", Act::Skip},
    {"author", Act::Skip},
    {"b", Act::Bold},
    {"bin", Act::Binary},
    {"bkmkend", Act::Skip},
    {"bkmkstart", Act::Skip},
    {"blue", Act::Blue},
    {"bullet", Act::Character, 0x2022},
    {"buptim", Act::Skip},
    {"cell", Act::Character, '\t'},
    {"cf", Act::Color},
    {"colortbl", Act::ColorTable},
    {"comment", Act::Skip},
    {"company", Act::Skip},
    {"creatim", Act::Skip},
    {"datastore", Act::Skip},
    {"deff", Act::DefaultFont},
    {"doccomm", Act::Skip},
    {"docvar", Act::Skip},
    {"emdash", Act::Character, 0x2014},
    {"emspace", Act::Character, 0x2003},
    {"endash", Act::Character, 0x2013},
    {"enspace", Act::Character, 0x2002},
    {"f", Act::Font},
    {"falt", Act::Skip},
    {"fldinst", Act::Skip},
    {"fonttbl", Act::FontTable},
    {"footer", Act::Skip},
    {"footerf", Act::Skip},
    {"footerl", Act::Skip},
    {"footerr", Act::Skip},
    {"footnote", Act::Skip},
    {"fs", Act::Size},
    {"ftncn", Act::Skip},
    {"ftnsep", Act::Skip},
    {"ftnsepc", Act::Skip},
    {"generator", Act::Skip},
    {"green", Act::Green},
    {"header", Act::Skip},
    {"headerf", Act::Skip},
    {"headerl", Act::Skip},
    {"headerr", Act::Skip},
    {"i", Act::Italic},
    {"info", Act::Skip},
    {"keywords", Act::Skip},
    {"latentstyles", Act::Skip},
    {"ldblquote", Act::Character, 0x201C},
    {"line", Act::Character, '\n'},
    {"listoverridetable", Act::Skip},
    {"listtable", Act::Skip},
    {"lquote", Act::Character, 0x2018},
    {"mmathPr", Act::Skip},
    {"nonshppict", Act::Skip},
    {"objdata", Act::Skip},
    {"object", Act::Skip},
    {"operator", Act::Skip},
    {"page", Act::Paragraph},
    {"panose", Act::Skip},
    {"par", Act::Paragraph},
    {"pgdsctbl", Act::Skip},
    {"pict", Act::Skip},
    {"plain", Act::Plain},
    {"printim", Act::Skip},
    {"private", Act::Skip},
    {"rdblquote", Act::Character, 0x201D},
    {"red", Act::Red},
    {"revtbl", Act::Skip},
    {"revtim", Act::Skip},
    {"row", Act::Paragraph},
    {"rquote", Act::Character, 0x2019},
    {"rsidtbl", Act::Skip},
    {"rxe", Act::Skip},
    {"sect", Act::Paragraph},
    {"shp", Act::Skip},
    {"shpinst", Act::Skip},
    {"stylesheet", Act::Skip},
    {"subject", Act::Skip},
    {"tab", Act::Character, '\t'},
    {"tc", Act::Skip},
    {"template", Act::Skip},
    {"themedata", Act::Skip},
    {"title", Act::Skip},
    {"txe", Act::Skip},
    {"u", Act::Unicode},
    {"uc", Act::UnicodeSkip},
    {"ul", Act::Underline},
    {"uld", Act::Underline},
    {"uldb", Act::Underline},
    {"ulnone", Act::UnderlineNone},
    {"ulw", Act::Underline},
    {"ulwave", Act::Underline},
    {"userprops", Act::Skip},
    {"xe", Act::Skip},
    {"xmlnstbl", Act::Skip},
};

constexpr bool WordsSorted() {
    for (size_t k = 1; k < std::size(kWords); ++k)
        if (!(kWords[k - 1].name < kWords[k].name)) return false;
    return true;
}
static_assert(WordsSorted(), "kWords must stay sorted for the binary search");

const Word* FindWord(std::string_view name) {
    const Word* end = std::end(kWords);
    const Word* found =
        std::lower_bound(std::begin(kWords), end, name,
                         [](const Word& w, std::string_view n) { return w.name < n; });
    return found != end && found->name == name ? found : nullptr;
}

// One pass over the input; group states live on a bounded stack, never in recursion.
class Reader {
public:
    explicit Reader(std::string_view in) : mIn(in) {}

    RichText ReadRtf(size_t start);
    RichText ReadPlain();

private:
    enum class Dest : uint8_t { Text, FontTable, ColorTable, Skip };
    struct State {
        bool bold = false;
        bool italic = false;
        bool underline = false;
        int font = -1;
        int color = -1;
        int halfPoints = 0;
        int unicodeSkip = 1;
        Dest dest = Dest::Text;
    };

    void OpenGroup();
    void CloseGroup();
    void ControlWord();
    void ControlSymbol();
    void Apply(const Word& word, bool hasParameter, int32_t parameter);
    void Unicode(int32_t value);
    void CommitFont();
    void CommitColor();
    int FontIndex(int32_t number) const;

    void Put(char32_t cp);
    void PutNow(char32_t cp);
    void FlushSurrogate();
    void AppendText(std::string_view utf8);
    void EndParagraph();
    RichParagraph& Current();

    std::string_view mIn;
    size_t mPos = 0;
    RichText mOut;
    bool mOpen = false;  // the last paragraph still takes text
    State mState;
    std::vector<State> mStack;
    size_t mFlatGroups = 0;  // groups opened beyond kMaxDepth and not yet closed
    int mSkipCount = 0;      // characters still to skip after \u
    char32_t mHighSurrogate = 0;

    std::unordered_map<int32_t, int> mFontByNumber;
    bool mHasDefaultFont = false;
    int32_t mDefaultFont = 0;
    bool mHasFontNumber = false;
    int32_t mFontNumber = 0;
    std::string mFontName;

    std::vector<int> mColorByNumber;  // the colour table's entries; -1 for "auto"
    bool mHasComponent = false;
    RichColor mColor;
};

RichText Reader::ReadRtf(size_t start) {
    mPos = start;
    while (mPos < mIn.size()) {
        const char c = mIn[mPos];
        if (c == '{') {
            ++mPos;
            OpenGroup();
        } else if (c == '}') {
            ++mPos;
            CloseGroup();
        } else if (c == '\\') {
            ++mPos;
            if (mPos >= mIn.size()) break;
            if (IsLetter(mIn[mPos]))
                ControlWord();
            else
                ControlSymbol();
        } else if (c == '\r' || c == '\n') {
            ++mPos;  // line ends in the source carry no meaning
        } else if (mSkipCount > 0) {
            mPos += DecodeAt(mIn, mPos).length;
            --mSkipCount;
        } else if (mState.dest == Dest::Skip) {
            while (mPos < mIn.size() && mIn[mPos] != '{' && mIn[mPos] != '}' && mIn[mPos] != '\\')
                ++mPos;
        } else if (c == ';' && mState.dest == Dest::FontTable) {
            ++mPos;
            CommitFont();
        } else if (c == ';' && mState.dest == Dest::ColorTable) {
            ++mPos;
            CommitColor();
        } else if (mState.dest == Dest::Text && IsPlainByte(c)) {
            const size_t from = mPos;
            while (mPos < mIn.size() && IsPlainByte(mIn[mPos])) ++mPos;
            AppendText(mIn.substr(from, mPos - from));
        } else {
            const Decoded d = DecodeAt(mIn, mPos);
            mPos += d.length;
            Put(d.cp);
        }
    }
    FlushSurrogate();
    return std::move(mOut);
}

RichText Reader::ReadPlain() {
    if (mIn.substr(0, 3) == "\xEF\xBB\xBF") mPos = 3;
    while (mPos < mIn.size()) {
        const char c = mIn[mPos];
        if (c == '\n' || c == '\r') {
            ++mPos;
            if (c == '\r' && mPos < mIn.size() && mIn[mPos] == '\n') ++mPos;
            EndParagraph();
        } else if (c >= 0x20 && c < 0x7F) {
            const size_t from = mPos;
            while (mPos < mIn.size() && mIn[mPos] >= 0x20 && mIn[mPos] < 0x7F) ++mPos;
            AppendText(mIn.substr(from, mPos - from));
        } else {
            const Decoded d = DecodeAt(mIn, mPos);
            mPos += d.length;
            Put(d.cp);
        }
    }
    return std::move(mOut);
}

void Reader::OpenGroup() {
    FlushSurrogate();
    mSkipCount = 0;
    if (mStack.size() >= kMaxDepth) {
        ++mFlatGroups;
        return;
    }
    mStack.push_back(mState);
}

void Reader::CloseGroup() {
    FlushSurrogate();
    mSkipCount = 0;
    if (mFlatGroups > 0) {
        --mFlatGroups;
        return;
    }
    if (mStack.empty()) return;  // a closing brace too many
    const Dest closing = mState.dest;
    if (closing == Dest::FontTable && mHasFontNumber) CommitFont();
    if (closing == Dest::ColorTable && mHasComponent) CommitColor();
    mState = mStack.back();
    mStack.pop_back();
    // Text after the font table, which names no font yet, is in the default font.
    if (closing == Dest::FontTable && mState.dest != Dest::FontTable && mState.font < 0 &&
        mHasDefaultFont)
        mState.font = FontIndex(mDefaultFont);
}

void Reader::ControlWord() {
    const size_t from = mPos;
    while (mPos < mIn.size() && IsLetter(mIn[mPos])) ++mPos;
    const size_t length = mPos - from;
    bool negative = false, hasParameter = false;
    int64_t value = 0;
    if (mPos + 1 < mIn.size() && mIn[mPos] == '-' && IsDigit(mIn[mPos + 1])) {
        negative = true;
        ++mPos;
    }
    while (mPos < mIn.size() && IsDigit(mIn[mPos])) {
        hasParameter = true;
        value = std::min(value * 10 + (mIn[mPos] - '0'), kMaxParameter);
        ++mPos;
    }
    if (mPos < mIn.size() && mIn[mPos] == ' ') ++mPos;  // the delimiter belongs to the word
    if (mSkipCount > 0) {
        --mSkipCount;
        return;
    }
    if (length > kMaxWordLength) return;
    if (const Word* word = FindWord(mIn.substr(from, length)))
        Apply(*word, hasParameter, static_cast<int32_t>(negative ? -value : value));
}

void Reader::ControlSymbol() {
    const char c = mIn[mPos++];
    if (c == '\'') {
        int byte = 0, digits = 0;
        while (digits < 2 && mPos < mIn.size() && HexValue(mIn[mPos]) >= 0) {
            byte = byte * 16 + HexValue(mIn[mPos++]);
            ++digits;
        }
        if (mSkipCount > 0) {
            --mSkipCount;
        } else if (digits == 2) {
            Put(FromCp1252(static_cast<uint8_t>(byte)));
        }
        return;
    }
    if (mSkipCount > 0) {
        --mSkipCount;
        return;
    }
    switch (c) {
        case '\\':
        case '{':
        case '}':
            Put(static_cast<unsigned char>(c));
            break;
        case '~':
            Put(0x00A0);  // non-breaking space
            break;
        case '_':
            Put(0x2011);  // non-breaking hyphen
            break;
        case '*':
            mState.dest = Dest::Skip;  // an optional destination: we know none worth showing
            break;
        case '\r':
        case '\n':
            EndParagraph();
            break;
        default:  // \- (optional hyphen) and symbols we do not show
            break;
    }
}

void Reader::Apply(const Word& word, bool hasParameter, int32_t parameter) {
    const bool on = !hasParameter || parameter != 0;
    switch (word.act) {
        case Act::Bold:
            mState.bold = on;
            break;
        case Act::Italic:
            mState.italic = on;
            break;
        case Act::Underline:
            mState.underline = on;
            break;
        case Act::UnderlineNone:
            mState.underline = false;
            break;
        case Act::Font:
            if (mState.dest == Dest::FontTable) {
                if (mHasFontNumber) CommitFont();  // the previous entry lacked its ';'
                mHasFontNumber = true;
                mFontNumber = parameter;
                mFontName.clear();
            } else if (const int index = FontIndex(parameter); index >= 0) {
                mState.font = index;
            }
            break;
        case Act::Size:
            if (parameter > 0) mState.halfPoints = std::min(parameter, kMaxHalfPoints);
            break;
        case Act::Color:
            if (parameter == 0)
                mState.color = -1;  // entry 0 is the default colour
            else if (parameter > 0 && static_cast<size_t>(parameter) < mColorByNumber.size())
                mState.color = mColorByNumber[parameter];
            break;
        case Act::Plain: {
            const State plain{};
            mState.bold = plain.bold;
            mState.italic = plain.italic;
            mState.underline = plain.underline;
            mState.color = plain.color;
            mState.halfPoints = plain.halfPoints;
            mState.font = mHasDefaultFont ? FontIndex(mDefaultFont) : -1;
            break;
        }
        case Act::Paragraph:
            EndParagraph();
            break;
        case Act::Character:
            Put(word.character);
            break;
        case Act::Unicode:
            Unicode(parameter);
            mSkipCount = mState.unicodeSkip;
            break;
        case Act::UnicodeSkip:
            mState.unicodeSkip = std::clamp(parameter, 0, kMaxUnicodeSkip);
            break;
        case Act::Binary:
            // Raw bytes follow the word; they may hold anything, braces included.
            mPos += std::min(static_cast<size_t>(std::max(parameter, 0)), mIn.size() - mPos);
            break;
        case Act::DefaultFont:
            mHasDefaultFont = true;
            mDefaultFont = parameter;
            break;
        case Act::FontTable:
            if (mState.dest != Dest::Text) break;
            mState.dest = Dest::FontTable;
            mHasFontNumber = false;
            mFontName.clear();
            break;
        case Act::ColorTable:
            if (mState.dest != Dest::Text) break;
            mState.dest = Dest::ColorTable;
            mHasComponent = false;
            mColor = RichColor();
            break;
        case Act::Red:
        case Act::Green:
        case Act::Blue: {
            if (mState.dest != Dest::ColorTable) break;
            const auto level = static_cast<uint8_t>(std::clamp(parameter, 0, 255));
            if (word.act == Act::Red) mColor.red = level;
            if (word.act == Act::Green) mColor.green = level;
            if (word.act == Act::Blue) mColor.blue = level;
            mHasComponent = true;
            break;
        }
        case Act::Skip:
            mState.dest = Dest::Skip;
            break;
    }
}

// \uN names a UTF-16 unit, negative ones written as signed; pairs of surrogates are joined.
void Reader::Unicode(int32_t value) {
    if (value < 0) value += 0x10000;
    const auto cp = value < 0 || value > 0x10FFFF ? kReplacement : static_cast<char32_t>(value);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        FlushSurrogate();
        mHighSurrogate = cp;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
        const char32_t high = std::exchange(mHighSurrogate, 0);
        PutNow(high ? 0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00) : kReplacement);
    } else {
        Put(cp);
    }
}

void Reader::CommitFont() {
    const size_t first = mFontName.find_first_not_of(' ');
    mFontName.erase(0, std::min(first, mFontName.size()));
    mFontName.erase(mFontName.find_last_not_of(' ') + 1);
    if (mHasFontNumber) {
        const auto [it, added] =
            mFontByNumber.emplace(mFontNumber, static_cast<int>(mOut.fonts.size()));
        if (added)
            mOut.fonts.push_back(mFontName);
        else
            mOut.fonts[it->second] = mFontName;
    }
    mHasFontNumber = false;
    mFontName.clear();
}

void Reader::CommitColor() {
    if (mHasComponent) {
        mColorByNumber.push_back(static_cast<int>(mOut.colors.size()));
        mOut.colors.push_back(mColor);
    } else {
        mColorByNumber.push_back(-1);
    }
    mHasComponent = false;
    mColor = RichColor();
}

int Reader::FontIndex(int32_t number) const {
    const auto it = mFontByNumber.find(number);
    return it == mFontByNumber.end() ? -1 : it->second;
}

void Reader::Put(char32_t cp) {
    FlushSurrogate();
    PutNow(cp);
}

void Reader::FlushSurrogate() {
    if (mHighSurrogate) {
        mHighSurrogate = 0;
        PutNow(kReplacement);  // a high surrogate with no low one after it
    }
}

void Reader::PutNow(char32_t cp) {
    if (cp == 0x2028 || cp == 0x2029) cp = '\n';
    const bool control = (cp < 0x20 && cp != '\t' && cp != '\n') || (cp >= 0x7F && cp < 0xA0);
    if (control) return;
    char utf8[4];
    const size_t length = EncodeUtf8(cp, utf8);
    if (mState.dest == Dest::Text) {
        AppendText(std::string_view(utf8, length));
    } else if (mState.dest == Dest::FontTable && cp >= 0x20 &&
               mFontName.size() + length <= kMaxFontName) {
        mFontName.append(utf8, length);
    }
}

void Reader::AppendText(std::string_view utf8) {
    FlushSurrogate();
    RichParagraph& paragraph = Current();
    const double points = mState.halfPoints / 2.0;
    const RichRun* last = paragraph.runs.empty() ? nullptr : &paragraph.runs.back();
    if (!last || last->bold != mState.bold || last->italic != mState.italic ||
        last->underline != mState.underline || last->font != mState.font ||
        last->color != mState.color || last->points != points) {
        RichRun run;
        run.bold = mState.bold;
        run.italic = mState.italic;
        run.underline = mState.underline;
        run.font = mState.font;
        run.color = mState.color;
        run.points = points;
        paragraph.runs.push_back(std::move(run));
    }
    paragraph.runs.back().text.append(utf8);
}

void Reader::EndParagraph() {
    FlushSurrogate();
    if (mState.dest != Dest::Text) return;
    Current();
    mOpen = false;
}

RichParagraph& Reader::Current() {
    if (!mOpen) {
        mOut.paragraphs.emplace_back();
        mOpen = true;
    }
    return mOut.paragraphs.back();
}

// Where "{\rtf" starts, or npos.
size_t RtfStart(std::string_view bytes) {
    size_t at = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    at = bytes.find_first_not_of(" \t\r\n", at);
    return at != std::string_view::npos && bytes.substr(at, 5) == "{\\rtf" ? at
                                                                           : std::string_view::npos;
}

}  // namespace

const std::string& RichText::FontName(const RichRun& run) const {
    static const std::string none;
    return run.font >= 0 && static_cast<size_t>(run.font) < fonts.size() ? fonts[run.font] : none;
}

std::optional<RichColor> RichText::Color(const RichRun& run) const {
    if (run.color < 0 || static_cast<size_t>(run.color) >= colors.size()) return std::nullopt;
    return colors[run.color];
}

bool LooksLikeRtf(std::string_view bytes) { return RtfStart(bytes) != std::string_view::npos; }

RichText ParseRtf(std::string_view bytes) {
    const size_t start = RtfStart(bytes);
    Reader reader(bytes);
    return start == std::string_view::npos ? reader.ReadPlain() : reader.ReadRtf(start);
}

}  // namespace mw
