// Class ids read from text: the parts, their limits, the pending error and matching.
#include <QtTest>

#include "core/class_id.h"
#include "test_env.h"
#include "test_objects.h"

using namespace mw;

class TestClassId : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;

private slots:
    void initTestCase() { QVERIFY(VnOS->IsStarted()); }

    void parse_data() {
        // parsed: module|class|version, empty when refused
        for (const char* c : {"text", "parsed", "error"}) QTest::addColumn<QByteArray>(c);
        const QByteArray c23 = "abcdefghijklmnopqrstuvw", c24 = c23 + "x";
        Row("any version", "vorn.Rot", "vorn|Rot|-1", "");
        Row("version", "vorn.Rot.2", "vorn|Rot|2", "");
        Row("version text read as integer", "vorn.Rot. 7x.9", "vorn|Rot|7", "");
        Row("no dot", "vornRot", "", "Cannot convert \"vornRot\" to a valid class id");
        Row("null text", "(null)", "", "Cannot convert \"\" to a valid class id");
        Row("module of 9 chars", "abcdefghi.Rot", "abcdefghi|Rot|-1", "");
        Row("module of 10 chars", "abcdefghij.Rot", "",
            "Modulename cannot exceed 9 chars: abcdefghij.Rot");
        Row("class of 23 chars", "m." + c23 + ".1", "m|" + c23 + "|1", "");
        Row("class of 24 chars", "m." + c24, "", "Classname cannot exceed 23 chars: m." + c24);
        Row("class of 24 chars before a version", "m." + c24 + ".3", "",
            "Classname cannot exceed 23 chars: m." + c24 + ".3");
        Row("lowest version", "m.C.-32768", "m|C|-32768", "");
        Row("version beyond int16", "m.C.32768", "",
            "Version must be between -32768 and 32767: m.C.32768");
        Row("version beyond int32", "m.C.-99999999999", "",
            "Version must be between -32768 and 32767: m.C.-99999999999");
    }
    void parse() {
        // Catches wrong splitting at the dots, off-by-one limits and silently wrapped versions.
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, parsed);
        QFETCH(QByteArray, error);
        const long blocks = VnOS->LiveBlocks();
        VnOS->SetError(0, nullptr, nullptr);
        VnCLSID id = VnMakeCLSID("old", "Old", 5);
        QCOMPARE(ParseClassId(text == "(null)" ? nullptr : text.constData(), &id), error.isEmpty());
        char* pending = nullptr;
        QVERIFY(VnOS->GetErrorText(&pending));
        QCOMPARE(QByteArray(pending), error);
        VnOS->Free(pending);
        const QByteArray got =
            QByteArray(id.module) + '|' + id.name + '|' + QByteArray::number(id.version);
        QCOMPARE(got, error.isEmpty() ? parsed : QByteArray("old|Old|5"));  // untouched on failure
        VnOS->SetError(0, nullptr, nullptr);
        QCOMPARE(VnOS->LiveBlocks(), blocks);
    }

    void matches_data() {
        for (const char* c : {"a", "b"}) QTest::addColumn<QByteArray>(c);
        QTest::addColumn<bool>("expected");
        Row("any version on the left", "vorn.Rot", "vorn.Rot.2", true);
        Row("any version on the right", "vorn.Rot.2", "vorn.Rot", true);
        Row("versions 1 and 2", "vorn.Rot.1", "vorn.Rot.2", false);
        Row("class name case", "vorn.Rot", "vorn.rot", false);
        Row("module differs", "vorn.Rot", "kx.Rot", false);
    }
    void matches() {
        // Catches versions compared before the any-version rule, or names compared loosely.
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, expected);
        VnCLSID ia{}, ib{};
        QVERIFY(ParseClassId(a.constData(), &ia) && ParseClassId(b.constData(), &ib));
        QCOMPARE(ClassIdMatches(ia, ib), expected);
        QCOMPARE(QByteArray(ClassIdToText(ia).c_str()), a);
    }
};

QTEST_GUILESS_MAIN(TestClassId)
#include "tst_class_id.moc"
