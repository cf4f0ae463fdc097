// Rich text reading: formatting and its groups, font and colour tables, characters, skipped
// destinations, broken and huge input, plain text, and the read-me shipped with the app.
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include "core/rtf_reader.h"

using namespace mw;

namespace {

RichText Parse(const QByteArray& bytes) {
    return ParseRtf(std::string_view(bytes.constData(), bytes.size()));
}

// The model on one line: paragraphs joined by " | ", each run as [attributes]text.
QByteArray Describe(const RichText& text) {
    QByteArrayList paragraphs;
    for (const RichParagraph& paragraph : text.paragraphs) {
        QByteArray line;
        for (const RichRun& run : paragraph.runs) {
            QByteArrayList attributes;
            if (run.bold) attributes << "b";
            if (run.italic) attributes << "i";
            if (run.underline) attributes << "u";
            if (!text.FontName(run).empty())
                attributes << "f=" + QByteArray::fromStdString(text.FontName(run));
            if (run.points > 0) attributes << "s=" + QByteArray::number(run.points);
            if (const auto c = text.Color(run)) {
                const char rgb[3] = {char(c->red), char(c->green), char(c->blue)};
                attributes << "c=" + QByteArray(rgb, 3).toHex();
            }
            line += '[' + attributes.join(',') + ']' + QByteArray::fromStdString(run.text);
        }
        paragraphs << line;
    }
    return paragraphs.join(" | ");
}

void Row(const char* name, const QByteArray& input, const QByteArray& expected) {
    QTest::newRow(name) << input << expected;
}

}  // namespace

class TestRtfReader : public QObject {
    Q_OBJECT

private slots:
    void read_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        // Formatting and groups.
        Row("group restores bold", R"({\rtf1 a{\b b}c})", "[]a[b]b[]c");
        Row("zero parameter turns off", R"({\rtf1\b x\b0 y\i z\i0 \ul u\ulnone v\ul w\ul0 q})",
            "[b]x[]y[i]z[u]u[]v[u]w[]q");
        Row("nested groups unwind in order", R"({\rtf1{\b a{\i b{\ul c}d}e}f})",
            "[b]a[b,i]b[b,i,u]c[b,i]d[b]e[]f");
        Row("same format across groups is one run", R"({\rtf1{\b a}{\b b}})", "[b]ab");
        Row("plain resets all",
            R"({\rtf1{\colortbl;\red255\green0\blue0;}\b\i\ul\fs30\cf1 x\plain y})",
            "[b,i,u,s=15,c=ff0000]x[]y");
        Row("half points, zero ignored", R"({\rtf1\fs21 a\fs0 b})", "[s=10.5]ab");
        Row("huge size clamped", R"({\rtf1\fs99999999999999999999 a})", "[s=1638]a");
        // Font and colour tables.
        Row("font table of groups",
            R"({\rtf1{\fonttbl{\f0\fswiss Sans;}{\f3\froman{\*\panose 0102}Serif Two;}}\f3 a\f0 b})",
            "[f=Serif Two]a[f=Sans]b");
        Row("flat font table and default font",
            R"({\rtf1\deff1{\fonttbl\f0 Mono;\f1 Sans;}a\f0 b\plain c})",
            "[f=Sans]a[f=Mono]b[f=Sans]c");
        Row("unknown font ignored", R"({\rtf1{\fonttbl{\f0 Sans;}}\f0 a\f9 b})", "[f=Sans]ab");
        Row("font names escaped, trimmed, unterminated",
            R"({\rtf1{\fonttbl{\f0 Caf\'e9}{\f1   Spaced  ;}}\f0 a\f1 b})", "[f=Café]a[f=Spaced]b");
        Row("colour table with auto entry",
            R"({\rtf1{\colortbl;\red255\green0\blue0;\red0\green0\blue255;}\cf1 r\cf2 b\cf0 d})",
            "[c=ff0000]r[c=0000ff]b[]d");
        Row("invalid colour index ignored",
            R"({\rtf1{\colortbl;\red0\green128\blue0;}\cf1 g\cf2 x\cf-1 y})", "[c=008000]gxy");
        Row("colour levels clamped, empty entry auto",
            R"({\rtf1{\colortbl;\red300\green-5\blue16;;}\cf1 a\cf2 b})", "[c=ff0010]a[]b");
        // Characters.
        Row("windows-1252 escapes", R"({\rtf1 caf\'e9 \'80\'96\'81})", "[]café €–\uFFFD");
        Row("unicode skips one fallback", R"({\rtf1 a\u8364?b})", "[]a€b");
        Row("negative unicode as unsigned", R"({\rtf1\u-1280?})", "[]\uFB00");
        Row("surrogate pair joined", R"({\rtf1\u-10179?\u-8704?})", "[]\U0001F600");
        Row("lone surrogates replaced", R"({\rtf1\u-10179?x\u-8704?})", "[]\uFFFDx\uFFFD");
        Row("uc2 skips two escapes", R"({\rtf1\uc2\u20013\'d6\'d0 zh})", "[]中 zh");
        Row("uc0 skips nothing", R"({\rtf1\uc0\u233 x})", "[]éx");
        Row("uc restored after group", R"({\rtf1{\uc0\u233}\u233?})", "[]éé");
        Row("skipping stops at a brace", R"({\rtf1\uc3\u233 a{\b b}})", "[]é[b]b");
        Row("control symbols", R"({\rtf1 a\~b\-c\_d\\e\{f\}g})", "[]a\u00A0bc\u2011d\\e{f}g");
        Row("named characters", R"({\rtf1\emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
            "[]—–•‘’“”");
        Row("line and tab stay in paragraph", R"({\rtf1 a\line b\tab c\par d})", "[]a\nb\tc | []d");
        Row("par closes, empty paragraph kept", R"({\rtf1 a\par\par b\par})", "[]a |  | []b");
        Row("source line ends ignored, escaped one breaks", "{\\rtf1 a\r\nb\\\nc}", "[]ab | []c");
        Row("raw bytes: utf-8 or windows-1252", "{\\rtf1 caf\xe9 \xc3\xa9}", "[]café é");
        Row("control characters dropped", QByteArray("{\\rtf1 a\0b\\'00c\x01\\u7?d}", 22),
            "[]abcd");
        // Destinations.
        Row("optional destinations skipped", R"({\rtf1{\*\generator W;}{\*\unknown {\b x} y}a})",
            "[]a");
        Row("known destinations skipped",
            R"({\rtf1{\stylesheet{\s0 Normal;}}{\info{\title T}}{\header h}{\footer f}a})", "[]a");
        Row("field shows its result",
            R"({\rtf1{\field{\*\fldinst HYPERLINK "u"}{\fldrslt{\ul link}}} end})",
            "[u]link[] end");
        Row("binary data skipped", R"({\rtf1{\pict\bin2 }x}d})", "[]d");
        Row("tables inside skipped groups ignored",
            R"({\rtf1{\info{\fonttbl{\f0 F;}}{\colortbl;\red9\green0\blue0;}}\f0\cf1 a})", "[]a");
        // Broken input.
        Row("extra closing braces ignored", R"({\rtf1{\b a}}}} b})", "[b]a[] b");
        Row("missing closing braces", R"({\rtf1{\b a{\i b)", "[b]a[b,i]b");
        Row("truncated hex escape", R"({\rtf1 a\'4)", "[]a");
        Row("hex escape with bad digits", R"({\rtf1 a\'zz})", "[]azz");
        Row("backslash at end", R"({\rtf1 a\)", "[]a");
        Row("binary length beyond input", R"({\rtf1 a\bin999999 xyz)", "[]a");
        Row("overlong control word ignored",
            R"({\rtf1 \bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb x})", "[]x");
        // Plain text.
        Row("plain text lines", "first\r\nsecond\nthird", "[]first | []second | []third");
        Row("plain text keeps rtf characters", "a {\\b} c\n", "[]a {\\b} c");
        Row("plain text not utf-8", "caf\xe9 \xe2\x82\xac", "[]café €");
        Row("empty input", "", "");
        Row("rtf after byte order mark and blanks", "\xEF\xBB\xBF \n{\\rtf1 x}", "[]x");
        Row("rtf word without brace is plain", "\\rtf1 x", "[]\\rtf1 x");
    }
    void read() {
        // Catches state not restored at '}', unmerged runs, table mix-ups, wrong code points,
        // skipped text shown, and crashes or lost text on broken input.
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(Describe(Parse(input)), expected);
    }

    void deepNesting() {
        // Catches unbounded recursion or state stack, and state lost on the way back out.
        const int n = 100000;
        QCOMPARE(Describe(Parse("{\\rtf1 " + QByteArray(n, '{') + "\\b deep" + QByteArray(n, '}') +
                                " after}")),
                 QByteArray("[b]deep[] after"));
        // Groups past the limit are read flat, so bold outlives the brace after "x".
        QCOMPARE(Describe(Parse("{\\rtf1 " + QByteArray(300, '{') + "\\b x}y" +
                                QByteArray(299, '}') + "z}")),
                 QByteArray("[b]xy[]z"));
        QCOMPARE(Describe(Parse("{\\rtf1 " + QByteArray(n, '{') + "x")), QByteArray("[]x"));
        QCOMPARE(Describe(Parse("{\\rtf1 x" + QByteArray(n, '}') + "y")), QByteArray("[]xy"));
    }

    void hugeInputIsLinear() {
        // Catches quadratic run merging or string building: these take hours when quadratic,
        // far past the test's time limit, whatever else the machine is doing.
        QByteArray input = "{\\rtf1 ";
        for (int k = 0; k < 200000; ++k) input += "{\\b x}y\\'e9\\u8364?";
        input += QByteArray(8 << 20, 'z') + QByteArray(100000, '\\').replace("\\", "\\par ") + "}";
        const RichText text = Parse(input);
        QCOMPARE(text.paragraphs.size(), size_t(100000));
        QCOMPARE(text.paragraphs[0].runs.size(), size_t(400000));
        QCOMPARE(text.paragraphs[0].runs.back().text.size(), size_t(1 + 2 + 3 + (8 << 20)));
    }

    void readme() {
        // Catches a broken read-me: swallowed text, stray control words, lost tables.
        QFile file(qEnvironmentVariable("MOSSWICK_SOURCE_DIR") + "/resources/readme.rtf");
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray bytes = file.readAll();
        QVERIFY(LooksLikeRtf(std::string_view(bytes.constData(), bytes.size())));
        const RichText text = Parse(bytes);
        QByteArray all;
        int headings = 0;
        for (const RichParagraph& paragraph : text.paragraphs) {
            for (const RichRun& run : paragraph.runs) {
                QVERIFY2(!text.FontName(run).empty(), run.text.c_str());
                all += QByteArray::fromStdString(run.text);
                headings += run.bold && run.points > 12 && text.Color(run).has_value();
            }
            all += '\n';
        }
        QVERIFY2(all.indexOf('\\') < 0 && all.indexOf('{') < 0 && all.indexOf('}') < 0, all);
        QVERIFY(headings >= 4);
        for (const char* needle : {"Vorn Surfer", "Ctrl+1", "Ctrl+2", "Alt+1", "Alt+3", "F11"})
            QVERIFY2(all.contains(needle), needle);
    }
};

QTEST_GUILESS_MAIN(TestRtfReader)
#include "tst_rtf_reader.moc"
