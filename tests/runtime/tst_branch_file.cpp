#include <Python.h>

#include <QtTest>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "branch_file.h"
#include "py/python_side.h"
#include "python_checks.h"
#include "runtime_checks.h"
#include "test_env.h"
#include "vorn/members.h"
#include "vorn/object.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace {

using Json = nlohmann::json;

char* Dup(const char* text) {
    if (!text) return nullptr;
    auto* copy = static_cast<char*>(VnOS->Alloc(std::strlen(text) + 1));
    std::memcpy(copy, text, std::strlen(text) + 1);
    return copy;
}

void SetText(char*& slot, const char* text) {
    VnOS->Free(slot);
    slot = Dup(text);
}

// Points a reference member at `target`, giving up what it held.
void Point(IRoot*& slot, IRoot* target) {
    if (target) target->AddRef();
    if (slot) slot->Release();
    slot = target;
}

int32_t Distance(const void* from, const void* to) {
    return static_cast<int32_t>(static_cast<const char*>(to) - static_cast<const char*>(from));
}

// A member stored in `field` of `object`.
template <class T>
VnMemberDescriptor Member(const char* name, uint32_t type, const void* object, const T* field,
                          const VnIID* iid = nullptr, uint32_t flags = kVnEditable) {
    return {name, type, Distance(object, field), sizeof(T), iid, name, flags, nullptr, {}};
}

const VnCLSID kLeafClass = VnMakeCLSID("test", "Leaf", 1);
const VnCLSID kThingClass = VnMakeCLSID("test", "Thing", 1);
const VnCLSID kListClass = VnMakeCLSID("vorn", "List", 1);
const VnInterfaceEntry kNoInterfaces[] = {{nullptr, 0}};

VnMemberDescriptor gLeafMembers[4];
VnMemberDescriptor gPartMembers[4];
VnMemberDescriptor gThingMembers[13];
const VnTypeInfo gLeafType = {&kLeafClass,
                              "A small object",
                              VnObject<IRoot>::Interfaces(),
                              gLeafMembers,
                              nullptr,
                              nullptr,
                              0};
// The part every thing has, declared as the thing's base type.
const VnTypeInfo gPartType = {
    nullptr, "Level and title", kNoInterfaces, gPartMembers, nullptr, nullptr, 0};
VnTypeInfo gThingType = {&kThingClass,
                         "An object with a member of every stored type",
                         VnObject<INotify>::Interfaces(),
                         gThingMembers,
                         nullptr,
                         &gPartType,
                         0};

// Stands alone, or is embedded in a thing.
class Leaf final : public VnObject<IRoot> {
public:
    struct Data {
        int32_t size = 0;
        char* name = nullptr;
        IRoot* peer = nullptr;
    };
    static inline int sLive = 0;

    Leaf() {
        ++sLive;
        d.name = Dup("unnamed");
    }
    ~Leaf() override {
        --sLive;
        if (d.peer) d.peer->Release();
        VnOS->Free(d.name);
    }
    const VnTypeInfo* GetTypeInfo() override { return &gLeafType; }

    Data d;
};

struct Part {
    int32_t level = 0;
    char* title = nullptr;
    double scale = 0;
};

class Thing final : public VnObject<INotify> {
public:
    struct Data {
        int32_t count = 0;
        float ratio = 0;
        double weight = 0;
        uint8_t flag = 0;
        IRoot* other = nullptr;
        IRoot* list = nullptr;
        char label[8] = {};
        char* note = nullptr;
        int64_t stamp = 0;
        char* source = nullptr;
        PyObject* script = nullptr;
    };
    static inline int sLive = 0;

    // Every thing starts with a leaf of its own as "other".
    Thing() {
        ++sLive;
        inner.SetOuter(Root());
        d.other = (new Leaf)->Root();
    }
    ~Thing() override {
        --sLive;
        if (d.other) d.other->Release();
        if (d.list) d.list->Release();
        VnOS->Free(d.note);
        VnOS->Free(d.source);
        VnOS->Free(part.title);
    }
    const VnTypeInfo* GetTypeInfo() override { return &gThingType; }
    bool MemberChanged(void* member) override {
        changed.push_back(member);
        return true;
    }

    Data d;
    Leaf inner;
    Part part;
    std::vector<void*> changed;
};

void DescribeClasses() {
    Leaf leaf;
    const Leaf::Data& l = leaf.d;
    gLeafMembers[0] = Member("size", kVnLong, &leaf, &l.size);
    gLeafMembers[1] = Member("name", kVnVornString, &leaf, &l.name);
    gLeafMembers[2] = Member("peer", kVnObjectRef, &leaf, &l.peer);

    Part part;
    gPartMembers[0] = Member("level", kVnLong, &part, &part.level);
    gPartMembers[1] = Member("title", kVnVornString, &part, &part.title);
    gPartMembers[2] = Member("scale", kVnDouble, &part, &part.scale);

    Thing thing;
    const Thing::Data& t = thing.d;
    const uint32_t notify = kVnEditable | kVnEditNotify;
    int i = 0;
    gThingMembers[i++] = Member("count", kVnLong, &thing, &t.count);
    gThingMembers[i++] = Member("ratio", kVnFloat, &thing, &t.ratio);
    gThingMembers[i++] = Member("weight", kVnDouble, &thing, &t.weight, nullptr, notify);
    gThingMembers[i++] = Member("flag", kVnBool, &thing, &t.flag);
    gThingMembers[i++] = Member("inner", kVnObject, &thing, &thing.inner);
    gThingMembers[i++] = Member("other", kVnObjectRef, &thing, &t.other);
    gThingMembers[i++] = Member("list", kVnObjectRef, &thing, &t.list, &IID_IList);
    gThingMembers[i++] = Member("label", kVnString, &thing, &t.label);
    gThingMembers[i++] = Member("note", kVnVornString, &thing, &t.note);
    gThingMembers[i++] = Member("stamp", kVnTime, &thing, &t.stamp);
    gThingMembers[i++] = Member("source", kVnROTReference, &thing, &t.source);
    gThingMembers[i++] = Member("script", kVnPythonRef, &thing, &t.script);
    gThingType.baseOffset = Distance(&thing, &thing.part);
}

VnRef<IRoot> Create(const VnCLSID& clsid) {
    VnRef<IRoot> object;
    VnOS->CreateInstance(clsid, IID_IRoot, object.out());
    return object;
}

Thing* AsThing(IRoot* object) {
    return object && object->GetTypeInfo() == &gThingType ? static_cast<Thing*>(object) : nullptr;
}
Leaf* AsLeaf(IRoot* object) {
    return object && object->GetTypeInfo() == &gLeafType ? static_cast<Leaf*>(object) : nullptr;
}

// Drops every reference and list item in the graph below `object`, so that cycles cannot keep
// it alive; what is dropped is held until its own links are dropped too.
void Dismantle(IRoot* object) {
    if (!object || object->IsStatic()) return;
    std::vector<VnRef<IRoot>> next;
    VnForEachMember(object, [&](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
        auto* slot = static_cast<IRoot**>(storage);
        if (d->type == kVnObject) next.emplace_back(static_cast<IRoot*>(storage));
        if (d->type == kVnObjectRef) next.push_back(VnRef<IRoot>::Adopt(std::exchange(*slot, {})));
        return true;
    });
    if (VnRef<IList> list = VnQuery<IList>(object)) {
        for (int i = 0; i < list->GetCount(); ++i) next.emplace_back(list->GetItem(i));
        if (list->GetCount()) list->RemoveItem(-1);
    }
    for (auto& o : next) Dismantle(o.get());
}

template <class T>
bool SameReal(const void* p, const void* q) {
    T a, b;
    std::memcpy(&a, p, sizeof a);
    std::memcpy(&b, q, sizeof b);
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(p, q, sizeof a) == 0;
}

// The first member whose value differs between two objects, followed into embedded objects.
QString Difference(IRoot* a, IRoot* b) {
    if (a->GetTypeInfo() != b->GetTypeInfo()) return "class";
    std::vector<void*> theirs;
    VnForEachMember(b, [&](const VnMemberDescriptor*, void* q, const VnTypeInfo*) {
        theirs.push_back(q);
        return true;
    });
    QString found;
    size_t i = 0;
    VnForEachMember(a, [&](const VnMemberDescriptor* d, void* p, const VnTypeInfo*) {
        void* q = theirs[i++];
        bool same = true;
        switch (d->type) {
            case kVnFloat:
                same = SameReal<float>(p, q);
                break;
            case kVnDouble:
                same = SameReal<double>(p, q);
                break;
            case kVnLong:
            case kVnBool:
            case kVnTime:
                same = std::memcmp(p, q, static_cast<size_t>(d->size)) == 0;
                break;
            case kVnString:
                same = std::strncmp(static_cast<const char*>(p), static_cast<const char*>(q),
                                    static_cast<size_t>(d->size)) == 0;
                break;
            case kVnVornString:
            case kVnROTReference: {
                const char* s = *static_cast<char* const*>(p);
                const char* t = *static_cast<char* const*>(q);
                same = (!s && !t) || (s && t && std::strcmp(s, t) == 0);
                break;
            }
            case kVnObject:
                found = Difference(static_cast<IRoot*>(p), static_cast<IRoot*>(q));
                return found.isEmpty();
        }
        if (!same) found = d->name;
        return same;
    });
    return found;
}

enum Filling { Limits, Fractions, NonFinite, EmptyTexts, MultiByte };

void Fill(Thing* t, int filling) {
    Thing::Data& d = t->d;
    switch (filling) {
        case Limits:
            d.count = std::numeric_limits<int32_t>::min();
            d.ratio = FLT_MAX;
            d.weight = -DBL_MAX;
            d.flag = 255;
            d.stamp = std::numeric_limits<int64_t>::min();
            std::strcpy(d.label, "1234567");
            t->part.level = std::numeric_limits<int32_t>::max();
            t->part.scale = DBL_MIN;
            t->inner.d.size = -1;
            break;
        case Fractions:
            d.ratio = 1.0f / 3.0f;
            d.weight = 0.1 + 0.2;
            t->part.scale = -0.0;
            t->inner.d.size = 0;
            d.stamp = std::numeric_limits<int64_t>::max();
            d.count = -7;
            break;
        case NonFinite:
            d.ratio = std::numeric_limits<float>::quiet_NaN();
            d.weight = std::numeric_limits<double>::infinity();
            t->part.scale = -std::numeric_limits<double>::infinity();
            break;
        case EmptyTexts:
            SetText(d.source, "");
            SetText(t->part.title, nullptr);
            SetText(t->inner.d.name, nullptr);
            break;
        case MultiByte:
            std::strcpy(d.label, "\xC3\xA4\xE2\x82\xAC");  // "ä€"
            SetText(d.note,
                    "Gr\xC3\xBC\xC3\x9F"
                    "e \xF0\x9D\x84\x9E");  // with a 4-byte character
            SetText(t->part.title, "\xE2\x9C\x93");
            SetText(t->inner.d.name, "\xC3\xA9t\xC3\xA9");
            SetText(d.source, "res:/maps/a.vorn");
            break;
    }
}

struct Counts {
    long blocks;
    int things;
    int leaves;
};
Counts Now() { return {VnOS->LiveBlocks(), Thing::sLive, Leaf::sLive}; }

#define EXPECT_BACK_TO(start)                         \
    do {                                              \
        QCOMPARE(VnOS->LiveBlocks(), (start).blocks); \
        QCOMPARE(Thing::sLive, (start).things);       \
        QCOMPARE(Leaf::sLive, (start).leaves);        \
    } while (0)

// The value of a Python expression, evaluated in __main__.
PyRef Eval(const QByteArray& expression) {
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyRef value =
        PyRef::Steal(PyRun_String(expression.constData(), Py_eval_input, globals, globals));
    if (!value) PyErr_Print();
    return value;
}

// repr tells 1 from 1.0 and True, -0.0 from 0.0, a list from a tuple and dict orders apart.
QString Repr(PyObject* value) {
    PyRef text = PyRef::Steal(value ? PyObject_Repr(value) : nullptr);
    return text ? QString::fromUtf8(PyUnicode_AsUTF8(text.get())) : QString("(none)");
}

// The thing's script attribute `name`, or null.
PyObject* Attribute(IRoot* thing, const char* name) {
    PyObject* attrs = vorn::ThePythonSide().AttributesOf(thing, false);
    return attrs ? PyDict_GetItemString(attrs, name) : nullptr;
}

void SetAttribute(IRoot* thing, const char* name, PyObject* value) {
    PyDict_SetItemString(vorn::ThePythonSide().AttributesOf(thing, true), name, value);
}

QByteArray File(const char* objects, int root = 0) {
    return QByteArray(R"({"format": "vorn-branch", "version": 1, "root": )") +
           QByteArray::number(root) + R"(, "objects": )" + objects + "}";
}

}  // namespace

class TestBranchFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void graphs_data();
    void graphs();
    void registeredAndStaticObjects();
    void deepBranchGoesWithTheTable();
    void inlineTextMustFit_data();
    void inlineTextMustFit();
    void writerRefuses_data();
    void writerRefuses();
    void pythonValuesRoundTrip_data();
    void pythonValuesRoundTrip();
    void pythonValuesLeftOut_data();
    void pythonValuesLeftOut();
    void badFiles_data();
    void badFiles();

private:
    TestEnvironment mEnv;
};

void TestBranchFile::initTestCase() {
    QVERIFY(VnOS->IsStarted());
    DescribeClasses();
    QVERIFY(VnOS->RegisterClass({&gLeafType, [] { return (new Leaf)->Root(); }}));
    QVERIFY(VnOS->RegisterClass({&gThingType, [] { return (new Thing)->Root(); }}));
    QVERIFY(gThingType.baseOffset > 0);
}

void TestBranchFile::cleanup() { VnOS->SetError(0, nullptr, nullptr); }

void TestBranchFile::roundTrip_data() {
    QTest::addColumn<int>("filling");
    QTest::newRow("limits of each type") << int(Limits);
    QTest::newRow("inexact fractions and negative zero") << int(Fractions);
    QTest::newRow("nan and infinities") << int(NonFinite);
    QTest::newRow("empty and missing texts") << int(EmptyTexts);
    QTest::newRow("multi-byte texts") << int(MultiByte);
}

void TestBranchFile::roundTrip() {
    // Catches values changed on the way through a file, members of the base part read or written
    // at the wrong place, edits not announced to the owner, and texts, references or objects
    // leaked when the loader replaces defaults.
    QFETCH(int, filling);
    const Counts start = Now();
    {
        VnRef<IRoot> original = Create(kThingClass);
        QVERIFY(original);
        Thing* thing = AsThing(original.get());
        Fill(thing, filling);

        std::string json, why;
        QVERIFY2(vorn::WriteBranch(original.get(), &json, &why), why.c_str());
        // read from the base part's own field, not through the member walk both sides share
        QCOMPARE(Json::parse(json)["objects"][0]["members"]["level"]["value"].get<int32_t>(),
                 thing->part.level);

        VnRef<IRoot> loaded = VnRef<IRoot>::Adopt(vorn::LoadBranch(json, &why));
        QVERIFY2(loaded, why.c_str());
        QCOMPARE(Difference(original.get(), loaded.get()), QString());
        Thing* copy = AsThing(loaded.get());
        QVERIFY(copy && copy != thing);
        QCOMPARE(copy->changed, std::vector<void*>{&copy->d.weight});
    }
    EXPECT_BACK_TO(start);
}

enum Graph { SharedReference, ReferenceCycle, OwnerFromEmbedded, EmbeddedReachedFirst, ListItems };

void TestBranchFile::graphs_data() {
    QTest::addColumn<int>("graph");
    QTest::addColumn<int>("entries");
    QTest::newRow("shared reference stored once") << int(SharedReference) << 3;
    QTest::newRow("reference cycle") << int(ReferenceCycle) << 4;
    QTest::newRow("embedded object refers to its owner") << int(OwnerFromEmbedded) << 3;
    QTest::newRow("embedded object reached before its owner") << int(EmbeddedReachedFirst) << 6;
    QTest::newRow("list with a repeated item and its owner") << int(ListItems) << 5;
}

void TestBranchFile::graphs() {
    // Catches objects stored twice, identities lost or mixed up on loading, embedded objects
    // loaded as separate copies, and references counted wrongly by the loader.
    QFETCH(int, graph);
    QFETCH(int, entries);
    const Counts start = Now();
    {
        VnRef<IRoot> root = Create(kThingClass);
        Thing* a = AsThing(root.get());
        VnRef<IRoot> b, c;
        switch (graph) {
            case SharedReference:
                b = Create(kLeafClass);
                Point(a->d.other, b.get());
                Point(a->inner.d.peer, b.get());
                break;
            case ReferenceCycle:
                c = Create(kThingClass);
                Point(a->d.other, c.get());
                Point(AsThing(c.get())->d.other, a->Root());
                break;
            case OwnerFromEmbedded:
                Point(a->inner.d.peer, a->Root());
                break;
            case EmbeddedReachedFirst: {
                b = Create(kThingClass);
                c = Create(kListClass);
                Point(a->d.other, AsThing(b.get())->inner.Root());
                Point(a->d.list, c.get());
                VnQuery<IList>(c.get())->AddItem(-1, b.get());
                break;
            }
            case ListItems: {
                b = Create(kLeafClass);
                c = Create(kListClass);
                VnRef<IList> list = VnQuery<IList>(c.get());
                list->AddItem(-1, b.get());
                list->AddItem(-1, a->Root());
                list->AddItem(-1, b.get());
                Point(a->d.list, c.get());
                break;
            }
        }
        std::string json, why;
        QVERIFY2(vorn::WriteBranch(root.get(), &json, &why), why.c_str());
        Json doc = Json::parse(json);
        QCOMPARE(int(doc["objects"].size()), entries);
        QCOMPARE(doc["root"].get<int>(), 0);

        VnRef<IRoot> loaded = VnRef<IRoot>::Adopt(vorn::LoadBranch(json, &why));
        QVERIFY2(loaded, why.c_str());
        Thing* a2 = AsThing(loaded.get());
        QVERIFY(a2);
        switch (graph) {
            case SharedReference:
                QVERIFY(AsLeaf(a2->d.other));
                QCOMPARE(a2->inner.d.peer, a2->d.other);
                QCOMPARE(Refs(a2->d.other), 2);
                break;
            case ReferenceCycle: {
                Thing* c2 = AsThing(a2->d.other);
                QVERIFY(c2 && c2 != a2);
                QCOMPARE(c2->d.other, loaded.get());
                QCOMPARE(Refs(loaded.get()), 2);
                break;
            }
            case OwnerFromEmbedded:
                QCOMPARE(a2->inner.d.peer, loaded.get());
                QVERIFY(AsLeaf(a2->d.other));
                break;
            case EmbeddedReachedFirst: {
                IList* list = static_cast<IList*>(a2->d.list);
                QVERIFY(list && list->GetCount() == 1);
                Thing* b2 = AsThing(list->GetItem(0));
                QVERIFY(b2);
                QCOMPARE(a2->d.other, b2->inner.Root());
                break;
            }
            case ListItems: {
                IList* list = static_cast<IList*>(a2->d.list);
                QVERIFY(list);
                QCOMPARE(list->GetCount(), 3);
                QVERIFY(AsLeaf(list->GetItem(0)));
                QCOMPARE(list->GetItem(2), list->GetItem(0));
                QCOMPARE(list->GetItem(1), loaded.get());
                break;
            }
        }
        Dismantle(root.get());
        Dismantle(loaded.get());
    }
    EXPECT_BACK_TO(start);
}

void TestBranchFile::registeredAndStaticObjects() {
    // Catches registered objects copied into the file instead of named, a registered root
    // written as a name only, and static objects stored as if they could be made again.
    const Counts start = Now();
    {
        VnRef<IRoot> shared = Create(kLeafClass);
        VnRef<IRoot> root = Create(kThingClass);
        Thing* a = AsThing(root.get());
        Point(a->d.other, shared.get());
        Point(a->inner.d.peer, VnROT);  // lives for the whole process
        QVERIFY(VnROT->Register("test:/shared", shared.get()));
        QVERIFY(VnROT->Register("test:/root", root.get()));

        std::string json, why;
        QVERIFY2(vorn::WriteBranch(root.get(), &json, &why), why.c_str());
        Json doc = Json::parse(json);
        QCOMPARE(doc["objects"].size(), size_t(3));
        QCOMPARE(doc["objects"][0]["class"], "test.Thing.1");
        QCOMPARE(doc["objects"][2], Json({{"moniker", "test:/shared"}}));
        QVERIFY(doc["objects"][1]["members"]["peer"]["value"].is_null());

        VnRef<IRoot> loaded = VnRef<IRoot>::Adopt(vorn::LoadBranch(json, &why));
        QVERIFY2(loaded, why.c_str());
        Thing* a2 = AsThing(loaded.get());
        QCOMPARE(a2->d.other, shared.get());
        QCOMPARE(a2->inner.d.peer, nullptr);
        QVERIFY(VnROT->Revoke("test:/shared"));
        QVERIFY(VnROT->Revoke("test:/root"));
        QCOMPARE(Refs(shared.get()), 3);
    }
    EXPECT_BACK_TO(start);
}

void TestBranchFile::deepBranchGoesWithTheTable() {
    // Catches a loaded chain of lists, a million deep, whose release recurses once per list and
    // overflows the stack when the object table lets go of it (as it does at exit).
    constexpr int kDepth = 1000000;
    std::string text = R"({"format": "vorn-branch", "version": 1, "root": 0, "objects": [)";
    for (int i = 1; i <= kDepth; ++i)
        text += R"({"class": "vorn.List", "items": [)" + std::to_string(i) + "]},";
    text += R"({"class": "vorn.List"}]})";
    const Counts start = Now();
    std::string why;
    VnRef<IRoot> loaded = VnRef<IRoot>::Adopt(vorn::LoadBranch(text, &why));
    QVERIFY2(loaded, why.c_str());
    QVERIFY(VnROT->Register("test:/deep", loaded.get()));
    loaded.reset();
    QVERIFY(VnROT->Revoke("test:/deep"));
    EXPECT_BACK_TO(start);
}

void TestBranchFile::inlineTextMustFit_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("reason");  // empty: loads
    QTest::newRow("as long as the capacity") << QByteArray("1234567") << QString();
    QTest::newRow("longer than the capacity")
        << QByteArray("123456789")
        << R"(Object 0 member "label": the text is 9 bytes, but the member holds at most 7)";
    QTest::newRow("last character past the capacity")
        << QByteArray("12345\\u20ac") << "the text is 8 bytes, but the member holds at most 7";
}

void TestBranchFile::inlineTextMustFit() {
    // Catches inline texts written past the member's storage or cut without a word, where
    // scripts are refused the same value.
    QFETCH(QByteArray, stored);
    QFETCH(QString, reason);
    const Counts start = Now();
    {
        QByteArray text = File(R"([{"class": "test.Thing.1", "members": {"label": {"type": 7,
            "value": ")" + stored +
                               R"("}, "flag": {"type": 4, "value": 9}}}])");
        std::string why;
        VnRef<IRoot> loaded = VnRef<IRoot>::Adopt(vorn::LoadBranch(text.toStdString(), &why));
        QCOMPARE(bool(loaded), reason.isEmpty());
        if (loaded) {
            Thing* t = AsThing(loaded.get());
            QCOMPARE(QByteArray(t->d.label), stored);
            QCOMPARE(int(t->d.flag), 9);  // the member after the label is untouched
        } else {
            QVERIFY2(QString::fromStdString(why).contains(reason), why.c_str());
        }
    }
    EXPECT_BACK_TO(start);
}

void TestBranchFile::writerRefuses_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("runtime text that is not UTF-8") << 0 << R"(Object 0 member "note")";
    QTest::newRow("inline text that is not UTF-8") << 1 << R"(Object 0 member "label")";
    QTest::newRow("static root") << 2 << "cannot be branched";
}

void TestBranchFile::writerRefuses() {
    // Catches files written that could not be read back, and refusals that do not say where.
    QFETCH(int, kind);
    QFETCH(QString, reason);
    const Counts start = Now();
    {
        VnRef<IRoot> root = Create(kThingClass);
        Thing* t = AsThing(root.get());
        if (kind == 0) SetText(t->d.note, "caf\xE9");
        if (kind == 1) std::strcpy(t->d.label, "\xC3");
        std::string json, why;
        QVERIFY(!vorn::WriteBranch(kind == 2 ? VnROT : root.get(), &json, &why));
        QVERIFY2(QString::fromStdString(why).contains(reason), why.c_str());
    }
    EXPECT_BACK_TO(start);
}

void TestBranchFile::pythonValuesRoundTrip_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("none") << QByteArray("None");
    QTest::newRow("booleans and the ints they equal") << QByteArray("[True, False, 1, 0]");
    QTest::newRow("ints at the ends of 64 bits")
        << QByteArray("[-2**63, 2**63 - 1, 2**64 - 1, -1]");
    QTest::newRow("floats that need every digit")
        << QByteArray("[0.1 + 0.2, 1/3, 5e-324, 1.7976931348623157e308, -0.0, 2.0, 1e22]");
    QTest::newRow("texts") << QByteArray(R"(["", "a\x00b", "\u00e4\u20ac\U0001d11e", '"\\'])");
    QTest::newRow("nested and empty containers")
        << QByteArray(R"({"b": [[], {}, [1, [2.5, {"c": None}]]], "a": {"": "empty key"}})");
    QTest::newRow("as deep as may be stored")
        << QByteArray("[" + QByteArray(31, '[') + "1" + QByteArray(31, ']') + "]");
}

void TestBranchFile::pythonValuesRoundTrip() {
    // Catches Python values left out of a file, or loaded back as another type, another float
    // or with dict keys in another order, in a member or a script attribute; and a file with
    // them written as version 1, which older builds would read without them.
    QFETCH(QByteArray, value);
    const Counts start = Now();
    {
        PyRef original = Eval(value);
        QVERIFY(original);
        VnRef<IRoot> root = Create(kThingClass);
        Thing* thing = AsThing(root.get());
        thing->d.script = Py_NewRef(original.get());
        SetAttribute(root.get(), "kept", original.get());
        std::string json, why, leftOut;
        QVERIFY2(vorn::WriteBranch(root.get(), &json, &why, &leftOut), why.c_str());
        QCOMPARE(QString::fromStdString(leftOut), QString());
        QCOMPARE(Json::parse(json)["version"], 2);
        VnRef<IRoot> loaded = VnRef<IRoot>::Adopt(vorn::LoadBranch(json, &why));
        QVERIFY2(loaded, why.c_str());
        QCOMPARE(Repr(AsThing(loaded.get())->d.script), Repr(original.get()));
        QCOMPARE(Repr(Attribute(loaded.get(), "kept")), Repr(original.get()));
        QCOMPARE(Difference(root.get(), loaded.get()), QString());
        Py_CLEAR(thing->d.script);
        Py_CLEAR(AsThing(loaded.get())->d.script);
    }
    EXPECT_BACK_TO(start);
}

void TestBranchFile::pythonValuesLeftOut_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("reason");  // the script member's line; the attribute's is alike
    QTest::newRow("tuple") << QByteArray("(1, 2)")
                           << R"(Object 0 member "script" holds a value of type 'tuple')";
    QTest::newRow("set inside a list")
        << QByteArray("[1, {2}]") << R"(member "script"[1] holds a value of type 'set')";
    QTest::newRow("subclass of int")
        << QByteArray("__import__('enum').IntEnum('E', 'x').x") << "holds a value of type 'E'";
    QTest::newRow("runtime object")
        << QByteArray("__import__('vorn').os.CreateInstance('test.Leaf')")
        << "holds a value of type 'vorn.Object'";
    QTest::newRow("int beyond 64 bits") << QByteArray("2**64") << "holds an int beyond 64 bits";
    QTest::newRow("negative int beyond 64 bits")
        << QByteArray("-2**63 - 1") << "holds an int beyond 64 bits";
    QTest::newRow("nan") << QByteArray("{'x': float('nan')}")
                         << R"(member "script"['x'] holds the float nan)";
    QTest::newRow("infinity") << QByteArray("-1e309") << "holds an infinite float";
    QTest::newRow("dict key that is no text")
        << QByteArray("{1: 2}") << "holds a dict key of type 'int'";
    QTest::newRow("lone surrogate") << QByteArray(R"("\udc80")") << "a lone surrogate";
    QTest::newRow("list that holds itself")
        << QByteArray("(lambda l: (l.append(l), l)[1])([])") << "or a container that holds itself";
    QTest::newRow("nested past the limit") << QByteArray(QByteArray(33, '[') + QByteArray(33, ']'))
                                           << "values nested more than 32 levels deep";
}

void TestBranchFile::pythonValuesLeftOut() {
    // Catches a value that JSON cannot hold exactly written anyway (and loaded back as something
    // else), a branch refused for it, and a report that does not name the member and the type.
    QFETCH(QByteArray, value);
    QFETCH(QString, reason);
    const Counts start = Now();
    {
        PyRef bad = Eval(value);
        QVERIFY(bad);
        VnRef<IRoot> root = Create(kThingClass);
        Thing* thing = AsThing(root.get());
        thing->d.script = Py_NewRef(bad.get());
        thing->d.count = 42;
        SetAttribute(root.get(), "bad", bad.get());
        std::string json, why, leftOut;
        QVERIFY2(vorn::WriteBranch(root.get(), &json, &why, &leftOut), why.c_str());
        QStringList lines = QString::fromStdString(leftOut).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(reason), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(R"(Object 0 attribute "bad")"), qPrintable(lines[1]));
        Json doc = Json::parse(json);
        QCOMPARE(doc["version"], 1);  // nothing of Python stored: older builds read it
        QCOMPARE(doc["objects"][0]["members"]["count"]["value"], 42);
        QVERIFY(!doc["objects"][0]["members"].contains("script"));
        Py_CLEAR(thing->d.script);
    }
    EXPECT_BACK_TO(start);
}

void TestBranchFile::badFiles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    // a thing and a leaf that refer to each other, filled before later entries fail
    const char* pair = R"({"class": "test.Thing.1", "members": {"other": {"type": 6, "value": 1}}},
        {"class": "test.Leaf.1", "members": {"peer": {"type": 6, "value": 0},
                                             "name": {"type": 8, "value": "x"}}})";
    auto with = [&](const char* more) {
        return File((std::string("[") + pair + (*more ? ", " : "") + more + "]").c_str());
    };
    QByteArray good = with("");
    // the pair and a third object whose one member is stored as given
    auto member = [&](const char* cls, const char* name, int type, const char* value) {
        return with(
            QString(R"({"class": "test.%1.1", "members": {"%2": {"type": %3, "value": %4}}})")
                .arg(cls, name, QString::number(type), value)
                .toUtf8()
                .constData());
    };

    QTest::newRow("truncated") << good.left(good.size() / 2) << "not JSON";
    QTest::newRow("text that is not UTF-8")
        << File(R"([{"class": "test.Leaf.1", "members": {"name": {"type": 8, "value": "caf)"
                "\xE9\"}}}]")
        << "The text is not valid UTF-8 at line 1, column 134";
    QTest::newRow("not an object") << QByteArray("[1, 2]") << "holds a JSON object";
    QTest::newRow("other format") << QByteArray(R"({"format": "x", "version": 1})")
                                  << "Not a branch file";
    QTest::newRow("newer version")
        << QByteArray(good).replace("\"version\": 1", "\"version\": 3") << "version 3";
    QTest::newRow("version as text")
        << QByteArray(good).replace("\"version\": 1", "\"version\": \"1\"") << "version \"1\"";
    QTest::newRow("no objects") << File("[]") << "non-empty";
    QTest::newRow("objects not an array") << File("{}") << "non-empty";
    QTest::newRow("root out of range") << File(R"([{"class": "test.Leaf.1"}])", 1) << "\"root\"";
    QTest::newRow("entry not an object") << with("5") << "Object 2 is not a JSON object";
    QTest::newRow("class not a text") << with(R"({"class": 7})") << "Object 2 has no class";
    QTest::newRow("malformed class id") << with(R"({"class": "nodot"})") << "not a class id";
    QTest::newRow("unknown class") << with(R"({"class": "test.Nothing.1"})")
                                   << "Object 2: cannot make an object of class test.Nothing.1";
    QTest::newRow("unknown class version")
        << with(R"({"class": "test.Leaf.9"})") << "Object 2: cannot make";
    QTest::newRow("unknown member")
        << member("Leaf", "nosuch", 1, "1")
        << R"(Object 2 member "nosuch": class test.Leaf.1 has no such member)";
    QTest::newRow("wrong member type")
        << member("Thing", "level", 3, "1")
        << R"(Object 2 member "level": stored as type 3, but class test.Thing.1 has it as type 1)";
    QTest::newRow("member without type")
        << with(R"({"class": "test.Leaf.1", "members": {"size": 5}})")
        << R"(Object 2 member "size": must be)";
    QTest::newRow("members not an object")
        << with(R"({"class": "test.Leaf.1", "members": []})") << "Object 2: \"members\"";
    QTest::newRow("integer as text")
        << member("Leaf", "size", 1, R"("5")")
        << R"(Object 2 member "size": the value is not a 32-bit integer)";
    QTest::newRow("integer too large")
        << member("Leaf", "size", 1, "4294967296") << "not a 32-bit integer";
    QTest::newRow("integer as fraction")
        << member("Leaf", "size", 1, "1.5") << "not a 32-bit integer";
    QTest::newRow("float too large") << member("Thing", "ratio", 2, "1e300")
                                     << R"(Object 2 member "ratio": the value is not a float)";
    QTest::newRow("unknown number word")
        << member("Thing", "weight", 3, R"("infinity")") << "not a number";
    QTest::newRow("byte out of range") << member("Thing", "flag", 4, "256")
                                       << R"(Object 2 member "flag": the value is not a byte)";
    QTest::newRow("time as fraction")
        << member("Thing", "stamp", 9, "0.5") << "not a 64-bit integer";
    QTest::newRow("text with a NUL character")
        << member("Thing", "note", 8, R"("a\u0000b")") << R"(member "note": the text holds a NUL)";
    QTest::newRow("inline text as number") << member("Thing", "label", 7, "1") << "not a text";
    QTest::newRow("python value in a version 1 file")
        << member("Thing", "script", 11, "null")
        << R"(Object 2 member "script": Python values are stored only in version 2 files)";
    QTest::newRow("python value nested too deep")
        << QByteArray(member("Thing", "script", 11,
                             (QByteArray(33, '[') + QByteArray(33, ']')).constData()))
               .replace("\"version\": 1", "\"version\": 2")
        << R"(Object 2 member "script": the value nests more than 32 levels deep)";
    QTest::newRow("attributes of a registered object")
        << with(R"({"moniker": "test:/missing", "attributes": {}})")
        << "Object 2 has both a moniker and \"attributes\"";
    QTest::newRow("attributes not an object")
        << with(R"({"class": "test.Leaf.1", "attributes": []})") << "Object 2: \"attributes\"";
    QTest::newRow("reference out of range")
        << member("Leaf", "peer", 6, "3")
        << R"(Object 2 member "peer": the value is neither null nor an object index (0 to 2))";
    QTest::newRow("negative reference")
        << member("Leaf", "peer", 6, "-1") << "neither null nor an object index";
    QTest::newRow("reference without the required interface")
        << member("Thing", "list", 6, "1")
        << R"(Object 2 member "list": object 1 of class test.Leaf.1 does not answer IList)";
    QTest::newRow("embedded before its owner")
        << File(
               R"([{"class": "test.Leaf.1", "embedded": [1, "inner"]}, {"class": "test.Thing.1"}])")
        << "Object 0: its owner, object 1, must come before it";
    QTest::newRow("embedded path that does not resolve")
        << with(R"({"class": "test.Leaf.1", "embedded": [0, "nosuch"]})")
        << R"(Object 2: object 0 of class test.Thing.1 embeds no object as "nosuch")";
    QTest::newRow("embedded path to a plain member")
        << with(R"({"class": "test.Leaf.1", "embedded": [0, "count"]})")
        << R"(embeds no object as "count")";
    QTest::newRow("embedded path malformed")
        << with(R"({"class": "test.Leaf.1", "embedded": [0]})") << "Object 2: \"embedded\"";
    QTest::newRow("embedded object of another class")
        << with(R"({"class": "test.Thing.1", "embedded": [0, "inner"]})")
        << "is of class test.Leaf.1, not test.Thing.1";
    QTest::newRow("embedded object claimed twice")
        << with(R"({"class": "test.Leaf.1", "embedded": [0, "inner"]},
                   {"class": "test.Leaf.1", "embedded": [0, "inner"]})")
        << "Object 3: object 2 is the same embedded object";
    QTest::newRow("embedded member naming another object")
        << member("Thing", "inner", 5, "1")
        << R"(Object 2 member "inner": the value must be the index of the object embedded there)";
    QTest::newRow("items on an object that is no list")
        << with(R"({"class": "test.Leaf.1", "items": []})")
        << "Object 2 of class test.Leaf.1 is not a list";
    QTest::newRow("item that is not an index")
        << with(R"({"class": "vorn.List.1", "items": ["x"]})") << "Object 2 item 0: not an object";
    QTest::newRow("item refused by the list")
        << with(R"({"class": "vorn.List.1", "items": [0, 2]})")
        << "Object 2 item 1: the list refused object 2: A list cannot hold itself";
    QTest::newRow("object nothing refers to")
        << with(R"({"class": "test.Leaf.1"})")
        << "Object 2 cannot be reached from the root, object 0";
    QTest::newRow("cycle apart from the root")
        << File((std::string("[") + pair + R"(, {"class": "test.Leaf.1"}])").c_str(), 2)
        << "Object 0 cannot be reached from the root, object 2";
    QTest::newRow("moniker not registered")
        << with(R"({"moniker": "test:/missing"})") << "Object 2: cannot find test:/missing";
    QTest::newRow("malformed moniker")
        << with(R"({"moniker": "nothing"})") << "Object 2: \"nothing\" is not a moniker";
    QTest::newRow("moniker with members") << with(R"({"moniker": "test:/missing", "members": {}})")
                                          << "Object 2 has both a moniker and \"members\"";
    QTest::newRow("huge nesting depth")
        << QByteArray(200000, '[') + QByteArray(200000, ']') << "nests deeper";
    QTest::newRow("deep value inside a valid file")
        << with((R"({"class": "test.Leaf.1", "members": {"size": {"type": 1, "value": )" +
                 QByteArray(60, '[') + "1" + QByteArray(60, ']') + "}}}")
                    .constData())
        << "nests deeper";
}

void TestBranchFile::badFiles() {
    // Catches crashes and vague messages on bad input, and objects, references or texts left
    // behind when loading stops half-way (including a cycle already linked up).
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    const Counts start = Now();
    std::string why;
    IRoot* loaded = vorn::LoadBranch(std::string_view(text.constData(), size_t(text.size())), &why);
    QVERIFY2(!loaded, "a bad file loaded");
    QVERIFY2(QString::fromStdString(why).contains(reason), why.c_str());
    // the JSON reader's own codes and the raw bytes it quotes are no text for people
    QVERIFY2(
        !QString::fromStdString(why).contains(QRegularExpression("json\\.exception|last read")),
        why.c_str());
    EXPECT_BACK_TO(start);
}

QTEST_MAIN(TestBranchFile)
#include "tst_branch_file.moc"
