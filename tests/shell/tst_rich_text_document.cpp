// Rich text in Qt documents: character formats, blocks per paragraph and appending at a cursor.
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include "shell/rich_text_document.h"

using namespace mw;

namespace {

RichText Parse(const QByteArray& bytes) { return ParseRtf(Bytes(bytes)); }

// The document on one line: blocks joined by " | ", each fragment as [attributes]text.
QString Describe(const QTextDocument& document) {
    QStringList blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString line;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            QStringList attributes;
            if (format.fontWeight() == QFont::Bold) attributes << "b";
            if (format.fontItalic()) attributes << "i";
            if (format.fontUnderline()) attributes << "u";
            if (format.hasProperty(QTextFormat::FontFamilies))
                attributes << "f=" + format.fontFamilies().toStringList().join('/');
            if (format.hasProperty(QTextFormat::FontPointSize))
                attributes << "s=" + QString::number(format.fontPointSize());
            if (format.hasProperty(QTextFormat::ForegroundBrush))
                attributes << "c=" + format.foreground().color().name().mid(1);
            line += '[' + attributes.join(',') + ']' + it.fragment().text();
        }
        blocks << line;
    }
    return blocks.join(" | ");
}

}  // namespace

class TestRichTextDocument : public QObject {
    Q_OBJECT

private slots:
    void toDocument_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("blocks");
        QTest::newRow("each format")
            << QByteArray(R"({\rtf1{\fonttbl{\f0 Serif Test;}}{\colortbl;\red10\green20\blue30;})"
                          R"(a{\b b}{\i c}{\ul d}{\f0 e}{\fs30 f}{\cf1 g}\par})")
            << "[]a[b]b[i]c[u]d[f=Serif Test]e[s=15]f[c=0a141e]g" << 1;
        QTest::newRow("line break inside a block")
            << QByteArray(R"({\rtf1 a\line b\tab c\par d})") << "[]a\u2028b\tc | []d" << 2;
        QTest::newRow("empty paragraph is a block")
            << QByteArray(R"({\rtf1 a\par\par{\b b}})") << "[]a |  | [b]b" << 3;
        QTest::newRow("nothing") << QByteArray() << "" << 1;
    }
    void toDocument() {
        // Catches formats not carried over, "\n" splitting blocks, or a block per run.
        QFETCH(QByteArray, input);
        QFETCH(QString, expected);
        QFETCH(int, blocks);
        QObject owner;
        QTextDocument* document = ToDocument(Parse(input), &owner);
        QCOMPARE(document->parent(), &owner);
        QCOMPARE(document->blockCount(), blocks);
        QCOMPARE(Describe(*document), expected);
        QVERIFY(!document->isUndoAvailable());
    }

    void appendAtCursor() {
        // Catches the first paragraph starting a block, formats leaking either way, or an
        // append that takes more than one undo step.
        QTextDocument document;
        QTextCursor cursor(&document);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.insertText("old ", bold);
        AppendRichText(cursor, Parse(R"({\rtf1 new\par{\i next}})"));
        QCOMPARE(Describe(document), QString("[b]old []new | [i]next"));
        document.undo();
        QCOMPARE(document.toPlainText(), QString("old "));
    }
};

QTEST_MAIN(TestRichTextDocument)
#include "tst_rich_text_document.moc"
