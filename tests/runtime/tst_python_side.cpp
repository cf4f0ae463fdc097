// The runtime's Python side through the SDK: wrappers and their members, methods of static
// script objects with the call bracket, the event sink, and tasklets.
#include <Python.h>

#include <QtTest>

#include "../core/test_objects.h"
#include "py/name_cache.h"
#include "py/python_side.h"
#include "python_checks.h"
#include "test_env.h"
#include "vorn/members.h"
#include "vorn/object.h"
#include "vorn/pyos.h"
#include "vorn/ref.h"
#include "vorn/rot.h"
#include "vorn_list.h"

namespace {

const VnCLSID kProbeClass = VnMakeCLSID("test", "Probe", 1);
const VnCLSID kScriptClass = VnMakeCLSID("test", "Script", 1);
const VnCLSID kTwinClass = VnMakeCLSID("test", "Twin", 1);

// An object with a member of every type Python can reach.
class Probe final : public VnObject<INotify> {
public:
    Probe() {
        items.SetOuter(Root());
        PyObject_Init(&inner, &PyBaseObject_Type);  // the probe's own reference keeps it
    }
    static VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    bool MemberChanged(void* member) override {
        changed.push_back(member);
        if (refuse) VnOS->SetError(-1, &kProbeClass, "the probe refuses %s", "changes");
        return !refuse;
    }
    ~Probe() override {
        VnOS->Free(name);
        VnOS->Free(link);
        if (ref) ref->Release();
        Py_XDECREF(py);
    }

    int32_t count = 0;
    float ratio = 0;
    double precise = 0;
    unsigned char flag = 0;
    IRoot* ref = nullptr;
    char label[8] = {};
    char* name = nullptr;
    int64_t stamp = 0;
    PyObject* py = nullptr;
    char* link = nullptr;
    int32_t locked = 7;
    vorn::VornList items;  // embedded: counts through the probe
    PyObject inner;        // an embedded Python object
    std::vector<void*> changed;
    bool refuse = false;
};

#define PROBE_MEMBER(n, type, field, flags)                                        \
    {                                                                              \
        n, type, 0, sizeof(Probe::field), nullptr, n " member", flags, nullptr, {} \
    }

VnMemberDescriptor gProbeMembers[] = {
    PROBE_MEMBER("count", kVnLong, count, kVnEditable | kVnEditNotify),
    PROBE_MEMBER("ratio", kVnFloat, ratio, kVnEditable),
    PROBE_MEMBER("precise", kVnDouble, precise, kVnEditable),
    PROBE_MEMBER("flag", kVnBool, flag, kVnEditable),
    {"ref", kVnObjectRef, 0, sizeof(IRoot*), &IID_IList, "ref member", kVnEditable, nullptr, {}},
    PROBE_MEMBER("label", kVnString, label, kVnEditable),
    PROBE_MEMBER("name", kVnVornString, name, kVnEditable | kVnEditNotify),
    PROBE_MEMBER("stamp", kVnTime, stamp, kVnEditable),
    PROBE_MEMBER("py", kVnPythonRef, py, kVnEditable),
    PROBE_MEMBER("link", kVnROTReference, link, kVnEditable),
    PROBE_MEMBER("locked", kVnLong, locked, 0),
    {"items", kVnObject, 0, 0, nullptr, "embedded list", kVnEditable, nullptr, {}},
    {"inner", kVnPython, 0, 0, nullptr, "embedded Python object", kVnEditable, nullptr, {}},
    {},
};

VnTypeInfo* Probe::Type() {
    static VnTypeInfo type = {&kProbeClass, "probe", Interfaces(), gProbeMembers, nullptr,
                              nullptr,      0};
    return &type;
}

void FillProbeOffsets() {
    Probe p;
    char* start = reinterpret_cast<char*>(&p);
    void* fields[] = {&p.count, &p.ratio, &p.precise, &p.flag,   &p.ref,   p.label, &p.name,
                      &p.stamp, &p.py,    &p.link,    &p.locked, &p.items, &p.inner};
    for (size_t i = 0; i < std::size(fields); ++i)
        gProbeMembers[i].offset = static_cast<int32_t>(static_cast<char*>(fields[i]) - start);
}

// A static script object with methods, as an embedding program defines them.
class ScriptThing final : public VnStaticObject<IRoot> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    int calls = 0;
};

ScriptThing gScript;

PyObject* EchoBody(ScriptThing* self, PyObject* args) {
    ++self->calls;
    return Py_NewRef(args);
}

PyObject* Echo(PyObject* self, PyObject* args) {
    PyThunkEnter();
    return PyThunkLeave(EchoBody(VnSelf<ScriptThing>(self), args));
}

PyObject* Fail(PyObject*, PyObject*) {
    PyThunkEnter();
    return PyThunkLeave(VnOS->SetError(-1, &kScriptClass, "Failed after %d tries", 3));
}

PyObject* Nothing(PyObject*, PyObject*) {
    PyThunkEnter();
    return PyThunkLeave(nullptr);
}

const VnMethodDef kScriptMethods[] = {
    {"Echo", Echo, 1, "Answers its arguments"},
    {"Fail", Fail, 1, "Always fails"},
    {"Nothing", Nothing, 4, "Answers nothing"},
    {nullptr, nullptr, 0, nullptr},
};
const VnMemberDescriptor kNoMembers[] = {{}};

const VnTypeInfo* ScriptThing::Type() {
    static const VnTypeInfo type = {
        &kScriptClass, nullptr, ScriptThing::Interfaces(), kNoMembers, kScriptMethods, nullptr, 0};
    return &type;
}

// Uses the probe's names otherwise: "ratio" is a long elsewhere in the object, "count" a method.
class Twin final : public VnObject<IRoot> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    int64_t before = 0;
    int32_t ratio = 0;
};

PyObject* TwinCount(PyObject*, PyObject*) {
    PyThunkEnter();
    return PyThunkLeave(PyLong_FromLong(99));
}

const VnMethodDef kTwinMethods[] = {
    {"count", TwinCount, 1, "Answers 99"},
    {nullptr, nullptr, 0, nullptr},
};
VnMemberDescriptor gTwinMembers[] = {
    {"ratio", kVnLong, 0, sizeof(int32_t), nullptr, "a long", kVnEditable, nullptr, {}},
    {},
};

const VnTypeInfo* Twin::Type() {
    static const VnTypeInfo type = {&kTwinClass, "twin", Interfaces(), gTwinMembers, kTwinMethods,
                                    nullptr,     0};
    return &type;
}

void FillTwinOffsets() {
    Twin t;
    gTwinMembers[0].offset =
        static_cast<int32_t>(reinterpret_cast<char*>(&t.ratio) - reinterpret_cast<char*>(&t));
}

PrintCollector gSink;

PyObject* Main() { return PyImport_AddModule("__main__"); }

void SetGlobal(const char* name, PyObject* value) {
    PyDict_SetItemString(PyModule_GetDict(Main()), name, value);
    Py_DECREF(value);
}

}  // namespace

class TestPythonSide : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    Probe* mProbe = nullptr;

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        FillProbeOffsets();
        FillTwinOffsets();
        QVERIFY(VnOS->RegisterClass({Probe::Type(), [] { return (new Probe())->Root(); }}));
        QVERIFY(PyOS->SetEventSink(&gSink));
        mProbe = new Probe();
        SetGlobal("probe", PyOS->Wrap(mProbe->Root(), -1));
        SetGlobal("script", PyOS->Wrap(&gScript, -1));
        QVERIFY(RunPython("import vorn"));
    }

    void init() {
        gSink.lines.clear();
        gSink.all.clear();
        VnOS->SetError(0, nullptr, nullptr);
    }

    // Catches a wrapper made twice for one object, or one that keeps its object alive after.
    void wrapperIsOnePerObject() {
        auto* p = new Probe();
        PyObject* a = PyOS->Wrap(p->Root(), -1);
        PyObject* b = PyOS->Wrap(p->Root(), -1);
        QCOMPARE(a, b);
        QCOMPARE(PyOS->Unwrap(a), p->Root());
        QVERIFY(PyObject_TypeCheck(a, PyOS->WrapperType()));
        QCOMPARE(p->AddRef(), 3);  // creation reference and the wrapper's
        p->Release();
        Py_DECREF(a);
        Py_DECREF(b);
        QCOMPARE(p->Release(), 0);  // the wrapper let go, so this was the last reference
        PyObject* none = PyOS->Wrap(nullptr, -1);
        QCOMPARE(none, Py_None);
        Py_DECREF(none);
        QVERIFY(!PyOS->Unwrap(Py_None));
    }

    // Catches members that read back differently from what was written, per type code.
    void membersRoundTrip_data() {
        QTest::addColumn<QByteArray>("statement");
        QTest::addColumn<QByteArray>("expression");
        QTest::addColumn<QByteArray>("expected");
        Row("long", "probe.count = -42", "probe.count", "-42");
        Row("float", "probe.ratio = 0.5", "probe.ratio", "0.5");
        Row("double", "probe.precise = 1/3", "probe.precise", "0.3333333333333333");
        Row("bool", "probe.flag = True", "probe.flag", "True");
        Row("inline string", "probe.label = 'abcdefg'", "probe.label", "abcdefg");
        Row("vornstring", "probe.name = 'Ünïcode'", "probe.name", "Ünïcode");
        Row("vornstring none", "probe.name = None", "probe.name", "None");
        Row("time", "probe.stamp = 2**40", "probe.stamp", "1099511627776");
        Row("python object", "probe.py = {'a': [1]}", "probe.py['a'][0]", "1");
        Row("ROT reference", "probe.link = 'kx:/dev'", "probe.link", "kx:/dev");
        Row("object reference", "probe.ref = vorn.os.CreateInstance('vorn.List')", "len(probe.ref)",
            "0");
        Row("object reference none", "probe.ref = None", "probe.ref", "None");
    }
    void membersRoundTrip() {
        QFETCH(QByteArray, statement);
        QFETCH(QByteArray, expression);
        QFETCH(QByteArray, expected);
        QVERIFY2(RunPython(statement.constData()), qPrintable(gSink.all));
        QCOMPARE(EvalPython(expression.constData()), QString::fromUtf8(expected));
    }

    // Catches bad values that are stored anyway, or errors that are not the right kind.
    void badValuesAreRefused_data() {
        QTest::addColumn<QByteArray>("statement");
        QTest::addColumn<QByteArray>("error");
        Row("text into long", "probe.count = 'x'", "TypeError");
        Row("long overflow", "probe.count = 2**31", "OverflowError");
        Row("float overflow", "probe.ratio = 1e300", "OverflowError");
        Row("number into string", "probe.name = 5", "TypeError");
        Row("string too long", "probe.label = 'abcdefgh'", "ValueError");
        Row("NUL in text", "probe.name = 'a\\0b'", "ValueError");
        Row("object lacks interface", "probe.ref = script", "TypeError");
        Row("not an object", "probe.ref = 5", "TypeError");
        Row("read-only member", "probe.locked = 1", "AttributeError");
        Row("delete member", "del probe.count", "AttributeError");
        Row("replace method", "script.Echo = 1", "AttributeError");
        Row("replace list method", "probe.items.append = 1", "AttributeError");
    }
    void badValuesAreRefused() {
        QFETCH(QByteArray, statement);
        QFETCH(QByteArray, error);
        RunPython("probe.count = 5; probe.label = 'keep'");
        gSink.all.clear();
        QVERIFY(!RunPython(statement.constData()));
        QVERIFY2(gSink.all.contains(QString::fromUtf8(error)), qPrintable(gSink.all));
        QCOMPARE(mProbe->count, 5);
        QCOMPARE(QString(mProbe->label), QString("keep"));
    }

    // Catches embedded members read through the wrong address, replaced, or not keeping
    // their owner alive while a script holds them.
    void embeddedMembers() {
        auto* p = new Probe();
        SetGlobal("holder", PyOS->Wrap(p->Root(), -1));
        QVERIFY(
            RunPython("items = holder.items\n"
                      "items.append(vorn.os.CreateInstance('vorn.List'))\n"
                      "inner = holder.inner\n"
                      "del holder"));
        QCOMPARE(p->items.GetCount(), 1);
        QCOMPARE(EvalPython("type(inner).__name__"), QString("object"));
        QCOMPARE(p->Release(), 1);  // the wrapper of its embedded list still holds the probe
        QVERIFY(!RunPython("probe.items = None"));
        QVERIFY(gSink.all.contains("cannot be replaced"));
        QVERIFY(!RunPython("probe.inner = 1"));
        QVERIFY(RunPython("del inner; del items"));  // the embedded object goes before its owner
    }

    // Catches owners not told of changes, or a refusal that does not reach the script.
    void ownerIsNotified() {
        mProbe->changed.clear();
        QVERIFY(RunPython("probe.count = 9; probe.ratio = 2.0"));
        QCOMPARE(mProbe->changed.size(), size_t(1));  // only count asks for notification
        QCOMPARE(mProbe->changed[0], static_cast<void*>(&mProbe->count));
        mProbe->refuse = true;
        QVERIFY(!RunPython("probe.name = 'x'"));
        mProbe->refuse = false;
        QVERIFY2(gSink.all.contains("vorn.error: the probe refuses changes"),
                 qPrintable(gSink.all));
        QVERIFY(!VnOS->HasError(0));
        QCOMPARE(QString(mProbe->name), QString("x"));  // the owner refused, the value stays
    }

    // Catches script attributes that vanish with a wrapper or outlive their object.
    void scriptAttributesStayWithTheObject() {
        auto* p = new Probe();
        PyObject* w = PyOS->Wrap(p->Root(), -1);
        SetGlobal("other", w);
        QVERIFY(RunPython("other.note = 'kept'; del other"));
        PyObject* again = PyOS->Wrap(p->Root(), -1);
        SetGlobal("other", again);
        QCOMPARE(EvalPython("other.note"), QString("kept"));
        PyObject* split = PyOS->Split(p->Root(), -1);
        QVERIFY(split && PyTuple_Check(split) && PyTuple_Size(split) == 2);
        QCOMPARE(PyList_Size(PyTuple_GetItem(split, 1)), Py_ssize_t(1));
        Py_DECREF(split);
        QVERIFY(RunPython("del other"));
        QCOMPARE(p->Release(), 0);
        // a new object at the same address starts without attributes
        auto* fresh = new Probe();
        SetGlobal("other", PyOS->Wrap(fresh->Root(), -1));
        QCOMPARE(EvalPython("hasattr(other, 'note')"), QString("False"));
        QVERIFY(RunPython("del other"));
        fresh->Release();
    }

    // Catches methods that lose their object, errors that do not become vorn.error, or a
    // method answering nothing that passes silently.
    void scriptMethodsUseTheCallBracket() {
        QCOMPARE(EvalPython("script.Echo(1, 'a')"), QString("(1, 'a')"));
        QCOMPARE(gScript.calls, 1);
        QVERIFY(!RunPython("script.Fail()"));
        QVERIFY(gSink.all.contains("vorn.error: Failed after 3 tries"));
        QVERIFY(!VnOS->HasError(0));
        gSink.all.clear();
        QVERIFY(!RunPython("script.Nothing()"));
        QVERIFY(gSink.all.contains("SystemError"));
    }

    // Catches output that is reordered, split badly, cut at a NUL or answered with the wrong
    // length.
    void sinkIsATextStream() {
        QVERIFY(RunPython("import sys\nprint('one')\nsys.stderr.write('two\\n')\nprint('three')"));
        QCOMPARE(gSink.lines, QStringList({"O:one", "O:\n", "E:two\n", "O:three", "O:\n"}));
        gSink.lines.clear();
        QCOMPARE(EvalPython("sys.stdout.write('a\\0b\\n')"), QString("4"));
        QCOMPARE(gSink.lines, QStringList({QString("O:a") + QChar(0x2400) + "b\n"}));
        QCOMPARE(EvalPython("sys.stdout.write('héllo')"), QString("5"));
        QCOMPARE(EvalPython("(sys.stdout.encoding, sys.stdout.isatty(), sys.stderr.writable())"),
                 QString("('utf-8', False, True)"));
        QVERIFY(RunPython("sys.stdout.flush()"));
        QVERIFY(!RunPython("sys.stdout.write(b'x')"));
    }

    // Catches tasklets that block their caller, lose the value handed over, or stay alive.
    void tasklets() {
        QVERIFY(
            RunPython("import vorn.synchro as s\n"
                      "log = []\n"
                      "def waiter():\n"
                      "    log.append('start')\n"
                      "    log.append(s.Block())\n"
                      "    log.append('end')\n"));
        PyObject* function = PyDict_GetItemString(PyModule_GetDict(Main()), "waiter");
        PyObject* tasklet = PyTasklet_New(nullptr, function);
        QVERIFY(tasklet);
        PyObject* args = PyTuple_New(0);
        QCOMPARE(PyTasklet_Call(tasklet, args, nullptr), 0);
        QCOMPARE(EvalPython("log"), QString("['start']"));
        QVERIFY(!PyOS->CurrentTasklet());
        PyObject* value = PyUnicode_FromString("handed");
        QVERIFY(PyOS->ResumeTasklet(tasklet, value));
        QCOMPARE(EvalPython("log"), QString("['start', 'handed', 'end']"));
        QVERIFY(!PyOS->ResumeTasklet(tasklet, value));  // it has ended
        QVERIFY(VnOS->HasError(-1));
        Py_DECREF(value);
        Py_DECREF(args);
        Py_DECREF(tasklet);
        QCOMPARE(EvalPython("s.Live()"), QString("0"));
    }

    // Catches a name resolved once and then taken to mean the same on every type, or on every
    // object of a type whatever its script attributes: wrappers remember what names stand for.
    void namesResolvePerTypeAndObject() {
        auto* twin = new Twin();
        SetGlobal("twin", PyOS->Wrap(twin->Root(), -1));
        QVERIFY(RunPython("probe.count = 4; probe.ratio = 0.25; twin.ratio = 7"));
        QCOMPARE(twin->ratio, 7);
        QCOMPARE(mProbe->ratio, 0.25f);
        QCOMPARE(EvalPython("(probe.count, twin.count(), probe.ratio, twin.ratio, probe.count)"),
                 QString("(4, 99, 0.25, 7, 4)"));
        QVERIFY(!RunPython("twin.count = 1"));
        QVERIFY2(gSink.all.contains("method 'count' cannot be replaced"), qPrintable(gSink.all));
        QVERIFY(!RunPython("twin.ratio = 0.5"));  // a long there, whatever the probe's is
        QCOMPARE(mProbe->ratio, 0.25f);
        // names made at run time, or of a str subclass, mean what their literals do
        QCOMPARE(EvalPython("(getattr(probe, 'co' + 'unt'), getattr(twin, 'co' + 'unt')(),"
                            " getattr(probe, type('S', (str,), {})('ratio')))"),
                 QString("(4, 99, 0.25)"));
        // a script attribute where the type has no such member, set, read and taken away
        gSink.all.clear();
        QVERIFY(
            RunPython("for o in (twin, script):\n"
                      "    o.note = o\n"
                      "    assert o.note is o\n"
                      "    del o.note\n"
                      "    assert not hasattr(o, 'note')\n"
                      "twin.note = 1"));
        QVERIFY(!RunPython("del script.note"));
        QVERIFY2(gSink.all.contains("has no attribute 'note'"), qPrintable(gSink.all));
        QCOMPARE(EvalPython("(twin.note, hasattr(probe, 'note'), script.__class__.__name__)"),
                 QString("(1, False, 'Object')"));
        // more names than the wrappers keep: the oldest are worked out again
        QVERIFY(
            RunPython("names = ['n%d' % i for i in range(5000)]\n"
                      "for n in names: setattr(twin, n, n)\n"
                      "assert all(getattr(twin, n) == n for n in names)\n"
                      "assert not any(hasattr(probe, n) for n in names)\n"
                      "assert (probe.count, twin.count(), twin.ratio) == (4, 99, 7)"));
        QVERIFY2(RunPython("del twin, names"), qPrintable(gSink.all));
        QCOMPARE(twin->Release(), 0);
    }

    // Catches a name cache that grows without bound, or misses a name equal to one it holds.
    void nameCacheIsBounded() {
        using vorn::NameCache;
        NameCache cache;
        vorn::NameMeaning meaning;
        meaning.special = true;
        PyObject* kept = PyUnicode_FromString("kept");
        PyObject* same = PyUnicode_FromStringAndSize("kept!", 4);  // equal, another object
        QVERIFY(cache.Add(Probe::Type(), kept, NameCache::HashOf(kept), meaning)->special);
        const vorn::NameMeaning* found = cache.Find(Probe::Type(), same, NameCache::HashOf(same));
        QVERIFY(found && found->special);
        QVERIFY(!cache.Find(Twin::Type(), same, NameCache::HashOf(same)));
        for (size_t i = 0; i < 2 * NameCache::kMaxEntries; ++i) {
            PyObject* name = PyUnicode_FromFormat("n%zu", i);
            cache.Add(Twin::Type(), name, NameCache::HashOf(name), meaning);
            Py_DECREF(name);
            QVERIFY(cache.Size() <= NameCache::kMaxEntries);
        }
        cache.Clear();
        QCOMPARE(cache.Size(), size_t(0));
        QVERIFY(!cache.Find(Probe::Type(), kept, NameCache::HashOf(kept)));
        Py_DECREF(kept);
        Py_DECREF(same);
    }

    // Catches a text read handed out again after the member's text changed behind the wrapper.
    void textsReadAfterEveryChange() {
        QVERIFY(RunPython("probe.name = 'first'; probe.link = 'a link'; probe.label = 'inl'"));
        QCOMPARE(EvalPython("(probe.name, probe.link, probe.label, probe.name)"),
                 QString("('first', 'a link', 'inl', 'first')"));
        std::strcpy(mProbe->name, "fir");  // the same block, written over by the owner
        std::strcpy(mProbe->label, "ilk");
        QCOMPARE(EvalPython("(probe.name, probe.label)"), QString("('fir', 'ilk')"));
        QVERIFY(RunPython("probe.name = 'a far longer text than the first'"));
        QCOMPARE(EvalPython("probe.name"), QString("a far longer text than the first"));
        QVERIFY(RunPython("probe.name = 'é'"));
        QCOMPARE(EvalPython("probe.name"), QString("é"));
        QVERIFY(RunPython("probe.name = None"));
        QCOMPARE(EvalPython("probe.name"), QString("None"));
    }

    // Catches runtime texts handed out by wrappers and never given back.
    void runtimeTextsAreGivenBack() {
        QVERIFY(RunPython("probe.name = None; probe.link = None"));
        long before = VnOS->LiveBlocks();
        QVERIFY(
            RunPython("for i in range(100):\n"
                      "    probe.name = 'n%d' % i; probe.link = 'l'; x = probe.name\n"
                      "probe.name = None; probe.link = None"));
        QCOMPARE(VnOS->LiveBlocks(), before);
    }

    // Catches a release that recurses once per link through Python (a model's userData, a
    // script attribute holding the next object's wrapper), overflowing the stack.
    void deepChainsReleased_data() {
        QTest::addColumn<QByteArray>("cls");
        QTest::addColumn<QByteArray>("member");  // empty: a script attribute
        QTest::newRow("models chained through userData")
            << QByteArray("kalix.KxModel") << QByteArray("userData");
        QTest::newRow("probes chained through script attributes")
            << QByteArray("test.Probe") << QByteArray();
    }

    void deepChainsReleased() {
        QFETCH(QByteArray, cls);
        QFETCH(QByteArray, member);
        constexpr int kDepth = 1000000;
        const size_t wrappersBefore = vorn::ThePythonSide().WrapperCount();
        VnCLSID clsid;
        QVERIFY(VnParseCLSID(cls.constData(), &clsid));
        PyObject* chain = nullptr;  // the wrapper of the object made last, holding the rest
        for (int i = 0; i <= kDepth; ++i) {
            VnRef<IRoot> object;
            QVERIFY(VnOS->CreateInstance(clsid, IID_IRoot, object.out()));
            PyObject* wrapper = PyOS->Wrap(object.get(), -1);
            QVERIFY(wrapper);
            if (!chain) {
            } else if (member.isEmpty()) {
                QCOMPARE(PyObject_SetAttrString(wrapper, "next", chain), 0);
                Py_DECREF(chain);
            } else {
                intptr_t adjustment = 0;
                const VnMemberDescriptor* d =
                    VnOS->FindMember(member.constData(), object->GetTypeInfo(), &adjustment);
                QVERIFY(d && d->type == kVnPythonRef);
                auto* slot = static_cast<PyObject**>(VnMemberStorage(object.get(), d, adjustment));
                QVERIFY(slot && !*slot);
                *slot = chain;  // takes over the reference
            }
            chain = wrapper;
        }
        QCOMPARE(vorn::ThePythonSide().WrapperCount(), wrappersBefore + kDepth + 1);
        Py_DECREF(chain);
        QCOMPARE(vorn::ThePythonSide().WrapperCount(), wrappersBefore);
    }

    void cleanupTestCase() {
        RunPython("globals().clear()");
        mProbe->Release();
        QVERIFY(PyOS->SetEventSink(nullptr));
        VnOS->Shutdown();
    }
};

QTEST_GUILESS_MAIN(TestPythonSide)
#include "tst_python_side.moc"
