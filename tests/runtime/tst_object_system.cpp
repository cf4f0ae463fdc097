// The object system seen through the SDK: class registry, creation, interface queries,
// reference counting, member look-up, the pending error and the allocator.
#include <QtTest>

#include "runtime_checks.h"
#include "test_env.h"
#include "vorn/members.h"
#include "vorn/object.h"
#include "vorn/ref.h"
#include "vorn/rot.h"
#include "vorn/weak.h"

namespace {

const VnIID IID_ITestGadget = VnMakeIID("ITestGadget", 4);

class ITestGadget : public IRoot {
public:
    static const VnIID& IID() { return IID_ITestGadget; }
    virtual int Spin() = 0;

protected:
    ~ITestGadget() = default;
};

// A base part laid out away from the object's start, as a composed record.
struct BasePart {
    double padding[3];
    int32_t weight;
};

int gLiveGadgets = 0;
int gLockedWhileDying = 0;  // weak references that answered an object already let go

class Gadget : public VnObject<ITestGadget, INotify> {
public:
    Gadget() { ++gLiveGadgets; }
    ~Gadget() override {
        next.reset();  // queued behind this one, its last reference gone
        if (watch.lock()) ++gLockedWhileDying;
        --gLiveGadgets;
    }
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    int Spin() override { return ++spins; }
    bool MemberChanged(void*) override { return true; }

    int32_t spins = 0;
    BasePart base{};
    VnRef<IRoot> next;    // the rest of a chain
    VnWeak<IRoot> watch;  // looked at as this one goes
};

const VnCLSID kGadgetClass = VnMakeCLSID("test", "Gadget", 2);
const VnCLSID kGadgetOld = VnMakeCLSID("test", "Gadget", 1);
const VnCLSID kStaticClass = VnMakeCLSID("test", "Static", 1);

const VnMemberDescriptor kBaseMembers[] = {
    {"weight", kVnLong, offsetof(BasePart, weight), 4, nullptr, "Weight", kVnEditable, nullptr, {}},
    {"spins", kVnLong, 0, 4, nullptr, "Shadowed by the derived member", 0, nullptr, {}},
    {},
};
const VnTypeInfo kBaseType = {&kGadgetClass, "base part", nullptr, kBaseMembers,
                              nullptr,       nullptr,     0};

VnMemberDescriptor gGadgetMembers[] = {
    {"spins", kVnLong, 0, 4, nullptr, "How often it spun", kVnEditable, nullptr, {}},
    {},
};

const VnTypeInfo* Gadget::Type() {
    static VnTypeInfo type = {
        &kGadgetClass, "A test gadget", Interfaces(), gGadgetMembers, nullptr, &kBaseType, 0};
    return &type;
}

const VnTypeInfo kOldGadgetType = {
    &kGadgetOld, "old", VnObject<ITestGadget, INotify>::Interfaces(), kBaseMembers, nullptr,
    nullptr,     0};
const VnTypeInfo kStaticType = {&kStaticClass, "static", nullptr, kBaseMembers,
                                nullptr,       nullptr,  0};

class OldGadget final : public Gadget {
public:
    const VnTypeInfo* GetTypeInfo() override { return &kOldGadgetType; }
};

IRoot* MakeGadget() { return (new Gadget())->Root(); }
IRoot* MakeOldGadget() { return (new OldGadget())->Root(); }

// Fills the member offsets from a real object, as a class record would at registration.
void RegisterGadget() {
    Gadget probe;
    char* start = reinterpret_cast<char*>(&probe);
    gGadgetMembers[0].offset = static_cast<int32_t>(reinterpret_cast<char*>(&probe.spins) - start);
    const_cast<VnTypeInfo*>(Gadget::Type())->baseOffset =
        reinterpret_cast<char*>(&probe.base) - start;
    QVERIFY(VnOS->RegisterClass({Gadget::Type(), MakeGadget}));
    QVERIFY(VnOS->RegisterClass({&kOldGadgetType, MakeOldGadget}));
    QVERIFY(VnOS->RegisterClass({&kStaticType, nullptr}));
}

VnRef<Gadget> NewGadget() {
    VnRef<IRoot> root;
    if (!VnOS->CreateInstance(kGadgetClass, IID_IRoot, root.out())) return {};
    return VnRef<Gadget>(static_cast<Gadget*>(static_cast<ITestGadget*>(root.get())));
}

}  // namespace

class TestObjectSystem : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        QVERIFY(VnOS->IsStarted());  // asking twice starts once
        RegisterGadget();
    }

    void init() { VnOS->SetError(0, nullptr, nullptr); }

    void cleanup() { QCOMPARE(gLiveGadgets, 0); }

    // Catches a registry that accepts a second record for a taken id or an incomplete record.
    void registryRefusesDuplicatesAndIncompleteRecords() {
        VnTypeInfo clash = kOldGadgetType;
        QVERIFY(!VnOS->RegisterClass({&clash, MakeGadget}));
        QVERIFY(VnOS->HasError(-1));
        QVERIFY(!VnOS->RegisterClass({nullptr, MakeGadget}));
        // the same record again is fine
        QVERIFY(VnOS->RegisterClass({&kOldGadgetType, MakeOldGadget}));
    }

    // Catches creation picking the wrong version or leaking its creation reference.
    void createInstancePicksVersions_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("made");
        QTest::addColumn<QString>("error");
        QTest::newRow("any version gives the newest") << -1 << true << "";
        QTest::newRow("exact version") << 1 << true << "";
        QTest::newRow("unknown version") << 7 << false << "Unknown class test.Gadget.7";
    }
    void createInstancePicksVersions() {
        QFETCH(int, version);
        QFETCH(bool, made);
        QFETCH(QString, error);
        VnRef<IRoot> object;
        VnCLSID id = VnMakeCLSID("test", "Gadget", static_cast<int16_t>(version));
        QCOMPARE(VnOS->CreateInstance(id, IID_IRoot, object.out()), made);
        if (!made) {
            QVERIFY(!object);
            QCOMPARE(PendingError(), error);
            return;
        }
        QCOMPARE(gLiveGadgets, 1);
        int16_t expected = version == -1 ? 2 : static_cast<int16_t>(version);
        QCOMPARE(object->GetTypeInfo()->clsid->version, expected);
        object.reset();
        QCOMPARE(gLiveGadgets, 0);
    }

    // Catches a class without a factory being "created" or a bad interface leaking the object.
    void createInstanceFailures() {
        VnRef<IRoot> object;
        QVERIFY(!VnOS->CreateInstance(kStaticClass, IID_IRoot, object.out()));
        QCOMPARE(PendingError(), QString("Class test.Static.1 cannot be created"));
        QVERIFY(!VnOS->CreateInstance(kGadgetClass, IID_IList, object.out()));
        QVERIFY(PendingError().contains("does not support interface IList"));
        QCOMPARE(gLiveGadgets, 0);
    }

    // Catches queries answering the wrong pointer, a quiet query setting an error, or counts
    // that do not balance.
    void queryInterfaceAnswersEachInterface() {
        VnRef<Gadget> g = NewGadget();
        QVERIFY(g);
        VnRef<ITestGadget> gadget = VnQuery<ITestGadget>(g->Root());
        QCOMPARE(static_cast<ITestGadget*>(g.get()), gadget.get());
        VnRef<INotify> notify = VnQuery<INotify>(gadget.get());
        QCOMPARE(static_cast<INotify*>(g.get()), notify.get());
        // identity: every interface answers the same IRoot
        VnRef<IRoot> a = VnQuery<IRoot>(notify.get());
        VnRef<IRoot> b = VnQuery<IRoot>(gadget.get());
        QCOMPARE(a.get(), b.get());

        VnRef<IList> none = VnQuery<IList>(g->Root(), 1);
        QVERIFY(!none);
        QVERIFY(!VnOS->HasError(0));
        none = VnQuery<IList>(g->Root(), 0);
        QVERIFY(!none);
        QVERIFY(VnOS->HasError(-1));

        // requested version -1 matches, another version does not
        void* any = nullptr;
        QVERIFY(g->QueryInterface(VnMakeIID("ITestGadget", -1), &any, 1));
        static_cast<IRoot*>(any)->Release();
        QVERIFY(!g->QueryInterface(VnMakeIID("ITestGadget", 3), &any, 1));
        QVERIFY(any == nullptr);

        notify.reset();
        gadget.reset();
        a.reset();
        b.reset();
        QCOMPARE(g->AddRef(), 2);  // only g's own reference is left
        QCOMPARE(g->Release(), 1);
    }

    // Catches "Used in ROT" adding a reference or answering something other than the start.
    void usedInRotGivesImplementationBase() {
        VnRef<Gadget> g = NewGadget();
        char* base = VnImplementationBase(g->Root());
        QCOMPARE(static_cast<void*>(base), static_cast<void*>(g.get()));
        QCOMPARE(g->AddRef(), 2);
        g->Release();
    }

    // Catches look-ups that miss base members, ignore the base offset or let a base shadow.
    void findMemberWalksTheBaseChain() {
        intptr_t adjustment = -1;
        QCOMPARE(VnOS->FindMember("spins", Gadget::Type(), &adjustment), &gGadgetMembers[0]);
        QCOMPARE(adjustment, intptr_t(0));
        // the adjustment it answers, through the storage rule, lands on the C++ field
        const VnMemberDescriptor* weight = VnOS->FindMember("weight", Gadget::Type(), &adjustment);
        QCOMPARE(weight, &kBaseMembers[0]);
        QCOMPARE(adjustment, Gadget::Type()->baseOffset);  // else the write below corrupts g
        VnRef<Gadget> g = NewGadget();
        *static_cast<int32_t*>(VnMemberStorage(g->Root(), weight, adjustment)) = 77;
        QCOMPARE(g->base.weight, 77);
        QVERIFY(!VnOS->FindMember("missing", Gadget::Type(), &adjustment));
        QCOMPARE(adjustment, intptr_t(0));
        QVERIFY(!VnOS->FindMember(nullptr, Gadget::Type(), nullptr));
        int seen = 0;
        void* firstSpins = nullptr;
        VnForEachMember(g->Root(),
                        [&](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
                            if (seen++ == 0 && std::strcmp(d->name, "spins") == 0)
                                firstSpins = storage;
                            return true;
                        });
        QCOMPARE(seen, 3);
        QCOMPARE(firstSpins, static_cast<void*>(&g->spins));
    }

    // Catches format errors, codes that do not filter, and texts that are never given back.
    void pendingErrorCarriesCodeAndText() {
        long before = VnOS->LiveBlocks();
        QVERIFY(VnOS->SetError(-2, &kGadgetClass, "Couldn't start %s (%d)", "tool", 5) == nullptr);
        QVERIFY(VnOS->HasError(0));
        QVERIFY(VnOS->HasError(-2));
        QVERIFY(!VnOS->HasError(-1));
        QCOMPARE(VnOS->GetErrorCode(), -2);
        QCOMPARE(PendingError(), QString("Couldn't start tool (5)"));
        VnOS->SetError(0, nullptr, nullptr);
        QVERIFY(!VnOS->HasError(0));
        QCOMPARE(PendingError(), QString());
        QCOMPARE(VnOS->LiveBlocks(), before);
    }

    // Catches a Free that corrupts memory on a foreign block instead of refusing it.
    void allocatorCountsAndRefusesForeignBlocks() {
        long before = VnOS->LiveBlocks();
        void* a = VnOS->Alloc(10);
        void* b = VnOS->Alloc(0);
        QVERIFY(a && b && a != b);
        QCOMPARE(VnOS->LiveBlocks(), before + 2);
        VnOS->Free(a);
        VnOS->Free(b);
        VnOS->Free(nullptr);
        QCOMPARE(VnOS->LiveBlocks(), before);
        QVERIFY(!VnOS->HasError(0));
        alignas(16) static char foreign[64] = {};
        VnOS->Free(foreign + 16);
        QVERIFY(VnOS->HasError(-1));
        QCOMPARE(VnOS->LiveBlocks(), before);
    }

    // Catches settings answered without a copy, or defaults that are stored by a read.
    void settingsThroughTheSdk() {
        long before = VnOS->LiveBlocks();
        char* read = VnOS->Setting("view_console", "1", 0);
        QCOMPARE(QString(read), QString("1"));
        VnOS->Free(read);
        char* written = VnOS->Setting("view_console", "0", 1);
        QCOMPARE(QString(written), QString("0"));
        VnOS->Free(written);
        read = VnOS->Setting("view_console", "1", 0);
        QCOMPARE(QString(read), QString("0"));
        VnOS->Free(read);
        QVERIFY(!VnOS->Setting("", "x", 1));
        QVERIFY(VnOS->HasError(-1));
        QCOMPARE(VnOS->LiveBlocks(), before);
        QVERIFY(QFile::exists(mEnv.file("settings.json")));
    }

    // Catches paths without their trailing separator or unknown kinds answered silently.
    void pathsThroughTheSdk() {
        QCOMPARE(QString(VnOS->GetPath(kVnPathResource)), mEnv.folder("res"));
        QVERIFY(VnOS->SetPath(kVnPathResource, mEnv.path().toUtf8() + "/other"));
        QCOMPARE(QString(VnOS->GetPath(kVnPathResource)), mEnv.path() + "/other/");
        QVERIFY(VnOS->SetPath(kVnPathResource, mEnv.folder("res").toUtf8()));
        QVERIFY(!VnOS->GetPath(3));
        QVERIFY(VnOS->HasError(-1));
        QVERIFY(!VnOS->SetPath(2, "/tmp"));
    }

    // Catches the table object missing from the class registry or from VnROT.
    void runningObjectTableIsAnObject() {
        QVERIFY(VnROT);
        VnRef<IRoot> rot;
        QVERIFY(VnOS->CreateInstance(VnMakeCLSID("vorn", "Rot", -1), IID_IRoot, rot.out()));
        VnRef<IRoot> table = VnQuery<IRoot>(VnROT);
        QCOMPARE(rot.get(), table.get());
        VnRef<IList> list = VnQuery<IList>(rot.get());
        QVERIFY(list);
    }

    // Catches a weak reference that keeps its object alive, outlives it, or loses it while a
    // copy or another weak reference to the same object still looks.
    void weakReferenceFollowsTheObject() {
        VnRef<Gadget> gadget = NewGadget();
        VnWeak<Gadget> weak(gadget.get());
        VnWeak<Gadget> copy = weak;
        std::vector<VnWeak<IRoot>> many(50, VnWeak<IRoot>(gadget->Root()));
        QCOMPARE(gadget->AddRef(), 2);  // none of them counts
        gadget->Release();
        QCOMPARE(weak.lock().get(), gadget.get());
        QVERIFY(many.back().lock());
        many.resize(10);  // dropping some leaves the rest working
        gadget.reset();
        QCOMPARE(gLiveGadgets, 0);
        QVERIFY(!weak.lock() && !copy.lock() && weak.expired());
        for (const VnWeak<IRoot>& w : many) QVERIFY(!w.lock());
        VnRef<Gadget> successor = NewGadget();  // may take the same address
        QVERIFY(!copy.lock());
        VnWeak<IRoot> rot(VnQuery<IRoot>(VnROT).get());
        QVERIFY(rot.lock());  // a static object never dies
    }

    // Catches weak references to objects freed in a chain that answer an object already queued
    // for destruction (its count at zero) or stay set once the chain is gone.
    void weakReferencesClearAlongAChain() {
        std::vector<VnWeak<IRoot>> weaks;
        VnRef<Gadget> head = NewGadget();
        Gadget* last = head.get();
        for (int i = 0; i < 200; ++i) {
            VnRef<Gadget> next = NewGadget();
            weaks.emplace_back(next->Root());
            last->watch = weaks.back();
            last->next = VnRef<IRoot>(next->Root());
            last = next.get();
        }
        head.reset();
        QCOMPARE(gLiveGadgets, 0);
        QCOMPARE(gLockedWhileDying, 0);
        for (const VnWeak<IRoot>& w : weaks) QVERIFY(!w.lock());
    }

    void cleanupTestCase() {
        VnOS->Shutdown();
        VnOS->Shutdown();  // a second shutdown does nothing
        QVERIFY(!VnOS->IsStarted());
    }
};

QTEST_GUILESS_MAIN(TestObjectSystem)
#include "tst_object_system.moc"
