// Member values of live objects: text, comparison, storage through bases, references, texts.
#include <Python.h>

#include <QtTest>
#include <clocale>
#include <cstring>

#include "core/member_ref.h"
#include "core/python_value.h"
#include "core/time_text.h"
#include "core/value_text.h"
#include "core/vorn_string.h"
#include "test_env.h"
#include "test_objects.h"
#include "vorn/ranges.h"
#include "vorn/ref.h"

using namespace mw;

namespace {

constexpr int64_t kUnixEpoch = 116444736000000000;            // 1970-01-01 in ticks since 1601
constexpr int64_t kLeapDay = kUnixEpoch + 17092143070890000;  // 2024-02-29 13:45:07.089

MemberValue Find(IRoot* object, const char* name) {
    MemberValue found;
    ForEachMember(object, [&](const MemberValue& v, const VnTypeInfo*) {
        if (std::strcmp(v.desc->name, name) == 0) found = v;
        return !found.desc;
    });
    return found;
}

// Sets a member from a row's text; "(null)" leaves it untouched, links name their target.
void Set(Widget* w, const MemberValue& v, const QByteArray& text, Shape* shape, Shape* other) {
    if (text == "(null)") return;
    if (v.desc->type != kVnObjectRef) {
        TextToValue(v, text.constData());
        return;
    }
    IRoot* target = text == "shape" ? shape->Root() : other->Root();
    if (text == "shape as ITestShape") target = static_cast<ITestShape*>(shape);
    target->AddRef();
    w->data.link = target;
}

}  // namespace

class TestMemberValues : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        QVERIFY(VnOS->RegisterClass({Widget::Type(), &Widget::Create}));
        static const VnMemberRange ranges[] = {{"count", 1, 10, 1}, {"ratio", 0, 1, 0.25}, {}};
        QVERIFY(VnSetMemberRanges(Widget::Type(), ranges));
        std::setlocale(LC_ALL, "C");
    }

    void textRoundTrip_data() {
        for (const char* c : {"member", "text", "shown", "locale"}) QTest::addColumn<QByteArray>(c);
        Row("long with blanks and tail", "count", " \t-42abc", "-42", "");
        Row("long clamps high", "count", "99999999999", "2147483647", "");
        Row("long clamps low", "count", "-99999999999", "-2147483648", "");
        Row("float", "ratio", "1.5", "1.5000", "");
        Row("double rounds to 4", "scale", "2.71828", "2.7183", "");
        Row("double huge", "scale", "1e20", "100000000000000000000.0000", "");
        Row("float under comma locale", "ratio", "2.25", "2.2500", "de_DE.UTF-8");
        Row("double under comma locale", "scale", "-0.5", "-0.5000", "de_DE.UTF-8");
        Row("bool from 1", "enabled", "1", "1", "");
        Row("bool from abc", "enabled", "abc", "0", "");
        Row("bool from 256", "enabled", "256", "1", "");
        Row("size-8 string from 20 chars", "tag", "abcdefghijklmnopqrst", "abcdefg", "");
        Row("vornstring", "note", "hello", "hello", "");
        Row("ROT reference", "source", "res:/a.scene", "res:/a.scene", "");
        Row("time from ticks", "when", "133536879070890000", "02/29/24 13:45:07 07.89", "");
        Row("time from empty text takes the clock", "when", "", "01/01/70 00:00:00 00.00", "");
    }
    void textRoundTrip() {
        // Catches wrong parsing, clamping, truncation, "%.4f", locale decimals and text leaks.
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, shown);
        QFETCH(QByteArray, locale);
        if (!locale.isEmpty() && !std::setlocale(LC_NUMERIC, locale.constData()))
            QSKIP("locale not installed");
        VnOS->GetClock()->currentTime = kUnixEpoch;
        const long blocks = VnOS->LiveBlocks();
        Widget* w = NewWidget();
        MemberValue v = Find(w->Root(), member.constData());
        char buffer[512];
        QVERIFY(TextToValue(v, text.constData()));
        QCOMPARE(QByteArray(ValueToText(v, buffer, sizeof buffer)), shown);
        if (IsTextMember(v)) {  // stored again from its own text
            QVERIFY(TextToValue(v, ValueToText(v, buffer, sizeof buffer)));
            QCOMPARE(QByteArray(ValueToText(v, buffer, sizeof buffer)), shown);
        }
        w->Release();
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(VnOS->LiveBlocks(), blocks);
    }

    void civilTime_data() {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<QByteArray>("date");  // y-m-d h:m:s.ms weekday yearday
        Row("start of 1601", qint64(0), "1601-1-1 0:0:0.0 1 0");
        Row("one tick before 1601", qint64(-1), "1600-12-31 23:59:59.999 0 365");
        Row("leap day 2024", qint64(kLeapDay), "2024-2-29 13:45:7.89 4 59");
        Row("1900 has no leap day", qint64(kUnixEpoch - 25508 * 864000000000),
            "1900-3-1 0:0:0.0 4 59");
        Row("largest ticks", qint64(INT64_MAX), "30828-9-14 2:48:5.477 4 257");
        Row("smallest ticks", qint64(INT64_MIN), "-27627-4-19 21:11:54.522 4 108");
    }
    void civilTime() {
        // Catches truncating division of negative ticks, overflow at the extremes, leap rules.
        QFETCH(qint64, ticks);
        QFETCH(QByteArray, date);
        const CivilTime c = TicksToCivil(ticks);
        const QString shown = QString::asprintf(
            "%lld-%d-%d %d:%d:%d.%d %d %d", static_cast<long long>(c.year), c.month, c.day, c.hour,
            c.minute, c.second, c.millisecond, c.weekday, c.yearDay);
        QCOMPARE(shown.toUtf8(), date);
    }

    void smallBuffers_data() {
        for (const char* c : {"member", "text"}) QTest::addColumn<QByteArray>(c);
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QByteArray>("shown");
        const QByteArray day = QByteArray::number(kLeapDay);
        Row("long in 4", "count", "-123456", 4, "-12");
        Row("long in 0", "count", "5", 0, "");
        Row("double in 8", "scale", "1e300", 8, "1000000");
        Row("time cut in the seconds", "when", day, 20, "02/29/24 13:45:07 0");
        Row("time without room for the time of day", "when", day, 14, "02/29/24 [err");
        Row("time without room for the date", "when", day, 5, " [er");
        Row("time in 0", "when", day, 0, "");
    }
    void smallBuffers() {
        // Catches writes past the capacity and missing terminators.
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, text);
        QFETCH(int, capacity);
        QFETCH(QByteArray, shown);
        Widget* w = NewWidget();
        MemberValue v = Find(w->Root(), member.constData());
        QVERIFY(TextToValue(v, text.constData()));
        char buffer[600];
        std::memset(buffer, 0x5a, sizeof buffer);
        QCOMPARE(QByteArray(ValueToText(v, buffer, size_t(capacity))), shown);
        for (size_t i = size_t(capacity); i < sizeof buffer; ++i) QCOMPARE(buffer[i], char(0x5a));
        QCOMPARE(QByteArray(ValueToText(v, nullptr, 512)), QByteArray());
        w->Release();
    }

    void textsCutAtCharacters_data() {
        for (const char* c : {"member", "text"}) QTest::addColumn<QByteArray>(c);
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QByteArray>("shown");
        Row("Python text, é cut after its first byte", "python", "abcdé", 6, "abcd");
        Row("Python text, € cut after two of its bytes", "python", "ab€x", 5, "ab");
        Row("Python text, a 4-byte character that just fits", "python", "a😀b", 6, "a😀");
        Row("stored inline text, € cut after its first byte", "tag", "abcde€", 64, "abcde");
        Row("bytes that are no UTF-8 cut where they must", "", "\x80\x80\x80\x80\x80", 3,
            "\x80\x80");
    }
    void textsCutAtCharacters() {
        // Catches a text cut inside a UTF-8 character, which then shows as a broken character.
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, text);
        QFETCH(int, capacity);
        QFETCH(QByteArray, shown);
        char buffer[64];
        if (member.isEmpty()) {
            QCOMPARE(QByteArray(CopyText(buffer, size_t(capacity), text.constData())), shown);
        } else if (member == "python") {
            VnMemberDescriptor ref = TestMember("ref", kVnPythonRef, 0, 8);
            PyObject* slot = PyUnicode_FromString(text.constData());
            QCOMPARE(QByteArray(ValueToText({&ref, &slot}, buffer, size_t(capacity))), shown);
            Py_DECREF(slot);
        } else {
            Widget* w = NewWidget();
            const MemberValue v = Find(w->Root(), member.constData());
            QVERIFY(TextToValue(v, text.constData()));
            QCOMPARE(QByteArray(ValueToText(v, buffer, size_t(capacity))), shown);
            w->Release();
        }
    }

    void typeCodes_data() {
        QTest::addColumn<uint>("code");
        for (const char* c : {"name", "shown"}) QTest::addColumn<QByteArray>(c);
        QTest::addColumn<bool>("stored");
        Row("code 0", 0u, "unknown type?!?", "unknown type?!?", false);
        Row("code 13", 13u, "unknown type?!?", "unknown type?!?", false);
        Row("embedded object", 5u, "IRoot object", "IRoot object", false);
        Row("object pointer", 6u, "IRoot* object", "IRoot* object", false);
        Row("empty Python pointer", 11u, "Python object pointer", "", true);
        Row("null ROT reference", 12u, "ROT reference", "", true);
    }
    void typeCodes() {
        // Catches an off-by-one name table and empty slots shown as something.
        QFETCH(uint, code);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, shown);
        QFETCH(bool, stored);
        VnMemberDescriptor d = TestMember("m", code, 0, 8);
        void* storage = nullptr;
        char buffer[512];
        QCOMPARE(QByteArray(TypeName(code)), name);
        QCOMPARE(QByteArray(ValueToText({&d, &storage}, buffer, sizeof buffer)), shown);
        QCOMPARE(TextToValue({&d, &storage}, "x"), stored);
        if (code == kVnPythonRef)
            Py_XDECREF(static_cast<PyObject*>(storage));
        else
            VnOS->Free(storage);
    }

    void pythonMembers() {
        // Catches Python members read through the wrong address, a failing string form that
        // crashes, or text that replaces an embedded object.
        VnMemberDescriptor ref = TestMember("ref", kVnPythonRef, 0, 8);
        VnMemberDescriptor embedded = TestMember("embedded", kVnPython, 0, 0);
        PyObject* slot = PyLong_FromLong(42);
        char buffer[8];
        QCOMPARE(MemberPython({&ref, &slot}), slot);
        QCOMPARE(QByteArray(ValueToText({&ref, &slot}, buffer, sizeof buffer)), QByteArray("42"));
        QVERIFY(TextToValue({&ref, &slot}, "a long text"));
        QVERIFY(PyUnicode_Check(slot));
        QCOMPARE(QByteArray(ValueToText({&ref, &slot}, buffer, sizeof buffer)),
                 QByteArray("a long "));  // cut to the buffer
        PyObject* list = Py_BuildValue("[i,s]", 1, "x");
        QCOMPARE(MemberPython({&embedded, list}), list);
        QCOMPARE(QByteArray(ValueToText({&embedded, list}, buffer, sizeof buffer)),
                 QByteArray("[1, 'x'"));
        QVERIFY(!TextToValue({&embedded, list}, "5"));
        QVERIFY(VnOS->HasError(-1));
        VnOS->SetError(0, nullptr, nullptr);
        PyRun_SimpleString(
            "class Mute:\n    def __str__(self): raise ValueError('no')\n"
            "mute = Mute()\n");
        PyObject* mute =
            PyDict_GetItemString(PyModule_GetDict(PyImport_AddModule("__main__")), "mute");
        QCOMPARE(QByteArray(ValueToText({&embedded, mute}, buffer, sizeof buffer)),
                 QByteArray("An unrepresentable Python object"));
        QVERIFY(!PyErr_Occurred());
        Py_DECREF(list);
        Py_DECREF(slot);
    }

    void compare_data() {
        for (const char* c : {"a", "aText", "b", "bText"}) QTest::addColumn<QByteArray>(c);
        QTest::addColumn<int>("expected");
        Row("object vs text", "link", "shape", "note", "x", -1);
        Row("text vs object", "note", "x", "link", "shape", -1);
        Row("two empty object members", "link", "(null)", "link", "(null)", 0);
        Row("one empty object member", "link", "shape", "link", "(null)", -1);
        Row("one object through two interfaces", "link", "shape", "link", "shape as ITestShape", 0);
        Row("two objects", "link", "shape", "link", "other", -1);
        Row("embedded objects of two owners", "child", "(null)", "child", "(null)", -1);
        Row("null vornstring equals empty one", "note", "(null)", "source", "", 0);
        Row("texts compare unsigned", "note", "\xc3\xa9", "note", "z", 1);
        Row("shorter text first", "note", "ab", "note", "abc", -1);
        Row("string vs vornstring by text", "tag", "abc", "note", "abc", 0);
        Row("equal longs", "count", "3", "count", "3", 0);
        Row("long vs double", "count", "3", "scale", "3", -1);
    }
    void compare() {
        // Catches raw-pointer identity, signed text order and references kept by the query.
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, aText);
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, bText);
        QFETCH(int, expected);
        const long blocks = VnOS->LiveBlocks();
        Shape* shape = new Shape;
        Shape* other = new Shape;
        Widget* wa = NewWidget();
        Widget* wb = NewWidget();
        MemberValue va = Find(wa->Root(), a.constData());
        MemberValue vb = Find(wb->Root(), b.constData());
        Set(wa, va, aText, shape, other);
        Set(wb, vb, bText, shape, other);
        const int refs = Refs(shape->Root());
        QCOMPARE(CompareValues(va, vb), expected);
        QCOMPARE(CompareValues(va, va), 0);
        QCOMPARE(Refs(shape->Root()), refs);
        wa->Release();
        wb->Release();
        QCOMPARE(shape->Release() + other->Release(), 0);
        QCOMPARE(VnOS->LiveBlocks(), blocks);
    }

    void storageThroughBases_data() {
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<int>("level");
        Row("own member", "count", 0);
        Row("embedded object", "child", 0);
        Row("base part text", "caption", 1);
        Row("base of base string", "label", 2);
    }
    void storageThroughBases() {
        // Catches base members addressed without the summed offsets of the parts above them.
        QFETCH(QByteArray, member);
        QFETCH(int, level);
        Widget* w = NewWidget();
        WidgetData& d = w->data;
        const QHash<QByteArray, void*> fields = {{"count", &d.count},
                                                 {"child", &w->child},
                                                 {"caption", &d.part.caption},
                                                 {"label", d.part.core.label}};
        const VnTypeInfo* levels[] = {Widget::Type(), PartType(), CoreType()};
        MemberRef ref(kVnDouble, member.constData(), w->Root());
        QCOMPARE(ref.address(), fields[member]);
        const VnTypeInfo* declaring = nullptr;
        ForEachMember(w->Root(), [&](const MemberValue& v, const VnTypeInfo* t) {
            if (member == v.desc->name) QCOMPARE(v.value, fields[member]);
            if (member == v.desc->name) declaring = t;
        });
        QCOMPARE(declaring, levels[level]);
        QCOMPARE(TextToValue(ref.value(), "12"), member != "child");  // objects are not text
        if (member == "label") QCOMPARE(QByteArray(d.part.core.label), QByteArray("12"));
        ref.reset();
        w->Release();
    }

    void memberRefHoldsAndReleases() {
        // Catches a reference kept after rebinding, after a failed look-up or after destruction.
        Widget* w = NewWidget();
        const int refs = Refs(w->Root());
        {
            MemberRef ref(kVnLong, "note", w->Root());  // the expected type is not enforced
            QCOMPARE(Refs(w->Root()), refs + 1);
            QCOMPARE(QByteArray(ref.text()), QByteArray(""));
            QVERIFY(!ref.Bind("no such member", w->Root()));
            QVERIFY(!ref.isBound() && !ref.object() && !ref.address());
            QCOMPARE(Refs(w->Root()), refs);
            QVERIFY(ref.Bind("tag", w->Root()));
            std::strcpy(w->data.tag, "abc");
            QCOMPARE(QByteArray(ref.text()), QByteArray("abc"));
        }
        QCOMPARE(w->Release(), 0);
    }

    void vornStringOwnsOneBlock() {
        // Catches leaked, doubly freed or shared blocks when texts are copied, moved, handed over.
        const long blocks = VnOS->LiveBlocks();
        {
            VornString a("abc");
            VornString b(a);
            b = a;
            QVERIFY(b.get() != a.get());
            a = a.get();
            QCOMPARE(QByteArray(a.c_str()), QByteArray("abc"));
            VornString c = std::move(b);
            QVERIFY(b.isNull());
            QCOMPARE(VnOS->LiveBlocks(), blocks + 2);
            VnOS->Free(c.release());
            QVERIFY(c.isNull());
            a = nullptr;
            QCOMPARE(QByteArray(a.c_str()), QByteArray(""));
        }
        QCOMPARE(VnOS->LiveBlocks(), blocks);
    }

    void typedTextOutsideRangeOrChoices_data() {
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("why");  // empty: accepted
        QTest::newRow("inside the range") << QByteArray("count") << QByteArray(" 10 ") << "";
        QTest::newRow("above the range")
            << QByteArray("count") << QByteArray("1000") << "count takes 1 to 10, not 1000";
        QTest::newRow("below a float range")
            << QByteArray("ratio") << QByteArray("-0.5") << "ratio takes 0 to 1, not -0.5";
        QTest::newRow("no range") << QByteArray("scale") << QByteArray("-1e9") << "";
        QTest::newRow("a choice") << QByteArray("mode") << QByteArray("1") << "";
        QTest::newRow("no choice")
            << QByteArray("mode") << QByteArray("7") << "7 is no choice of mode";
        QTest::newRow("known bits") << QByteArray("flags") << QByteArray("3") << "";
        QTest::newRow("unknown bits")
            << QByteArray("flags") << QByteArray("4") << "4 is no choice of flags (unknown bits)";
        QTest::newRow("not a number first")
            << QByteArray("count") << QByteArray("ten") << "\"ten\" is not a whole number";
    }
    void typedTextOutsideRangeOrChoices() {
        // Catches typed text outside a member's range or choices let through to the member.
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, text);
        QFETCH(QString, why);
        VnRef<IRoot> w = VnRef<IRoot>::Adopt(Widget::Create());
        std::string reason;
        QCOMPARE(CheckTypedText(Find(w.get(), member.constData()), text.constData(), &reason),
                 why.isEmpty());
        QCOMPARE(QString::fromStdString(reason), why);
    }

    void rangeForSpinBox() {
        // Catches a range not handed to the tool, or one made up for a member without one.
        double low = 0, high = 0, step = 0;
        VnRef<IRoot> w = VnRef<IRoot>::Adopt(Widget::Create());
        QVERIFY(MemberRange(Find(w.get(), "ratio").desc, &low, &high, &step));
        QCOMPARE(QList<double>({low, high, step}), QList<double>({0, 1, 0.25}));
        QVERIFY(!MemberRange(Find(w.get(), "scale").desc, &low, &high, &step));
    }

    void choiceTables() {
        // Catches a ROT reference's file dialog entry offered as a choice table.
        intptr_t adjustment = 0;
        auto member = [&](const char* name) {
            return VnOS->FindMember(name, Widget::Type(), &adjustment);
        };
        QCOMPARE(ChoiceTable(member("mode")), kModes);
        QVERIFY(IsExclusiveChoice(member("mode")) && !IsExclusiveChoice(member("flags")));
        QVERIFY(!ChoiceTable(member("source")) && !FileDialogEntry(member("mode")));
        QCOMPARE(QByteArray(FileDialogEntry(member("source"))->description), QByteArray("*.scene"));
    }
};

QTEST_GUILESS_MAIN(TestMemberValues)
#include "tst_member_values.moc"
