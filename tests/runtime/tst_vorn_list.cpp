#include <QtTest>
#include <vector>

#include "runtime_checks.h"
#include "test_env.h"
#include "vorn/object.h"
#include "vorn/ref.h"
#include "vorn_list.h"

namespace {

const VnCLSID kItemClass = VnMakeCLSID("test", "Item", 1);
const VnCLSID kOtherClass = VnMakeCLSID("test", "Other", 1);
const VnMemberDescriptor kNoMembers[] = {{}};
const VnTypeInfo gItemType = {
    &kItemClass, "A list item", VnObject<IRoot>::Interfaces(), kNoMembers, nullptr, nullptr, 0};
const VnTypeInfo gOtherType = {&kOtherClass,
                               "Another class",
                               VnObject<INotify>::Interfaces(),
                               kNoMembers,
                               nullptr,
                               nullptr,
                               0};

class Item final : public VnObject<IRoot> {
public:
    static inline int sLive = 0;
    Item() { ++sLive; }
    ~Item() override {
        --sLive;
        if (peer) peer->Release();
    }
    const VnTypeInfo* GetTypeInfo() override { return &gItemType; }
    IRoot* peer = nullptr;  // one reference
};

class Other final : public VnObject<INotify> {
public:
    const VnTypeInfo* GetTypeInfo() override { return &gOtherType; }
    bool MemberChanged(void*) override { return true; }
};

template <class T>
VnRef<IRoot> Make() {
    return VnRef<IRoot>::Adopt((new T)->Root());
}

VnRef<IList> MakeList(const VnCLSID& element = VORNCLSID_NONE, const VnIID* iid = nullptr) {
    return VnRef<IList>::Adopt(new vorn::VornList(element, iid));
}

// Fills a list with `count` new items and keeps them, in order, for comparisons.
std::vector<VnRef<IRoot>> Fill(IList* list, int count) {
    std::vector<VnRef<IRoot>> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(Make<Item>());
        list->AddItem(-1, items.back().get());
    }
    return items;
}

// The list's items as positions in `items`, -1 for one not among them.
QList<int> Order(IList* list, const std::vector<VnRef<IRoot>>& items) {
    QList<int> order;
    for (int i = 0; i < list->GetCount(); ++i) {
        int at = -1;
        for (size_t k = 0; k < items.size(); ++k)
            if (items[k].get() == list->GetItem(i)) at = int(k);
        order << at;
    }
    return order;
}

}  // namespace

class TestVornList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void addItemPosition_data();
    void addItemPosition();
    void addItemWithoutObject_data();
    void addItemWithoutObject();
    void addItemRefused_data();
    void addItemRefused();
    void removeItem_data();
    void removeItem();
    void moveItem_data();
    void moveItem();
    void elementType();
    void changeHandler();
    void listReleasedByItsOwnItem();

private:
    TestEnvironment mEnv;
    int mItemsAtStart = 0;
};

void TestVornList::initTestCase() {
    QVERIFY(VnOS->IsStarted());
    QVERIFY(VnOS->RegisterClass({&gItemType, [] { return (new Item)->Root(); }}));
}

void TestVornList::init() {
    VnOS->SetError(0, nullptr, nullptr);
    mItemsAtStart = Item::sLive;
}

void TestVornList::addItemPosition_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("position");
    QTest::addColumn<QList<int>>("order");  // 9 is the new item
    QTest::newRow("append to an empty list") << 0 << -1 << QList<int>{9};
    QTest::newRow("append") << 3 << -1 << QList<int>{0, 1, 2, 9};
    QTest::newRow("insert at the front") << 3 << 0 << QList<int>{9, 0, 1, 2};
    QTest::newRow("insert in the middle") << 3 << 2 << QList<int>{0, 1, 9, 2};
    QTest::newRow("insert at the count") << 3 << 3 << QList<int>{0, 1, 2, 9};
}

void TestVornList::addItemPosition() {
    // Catches items inserted at the wrong place and references not taken for the list.
    QFETCH(int, count);
    QFETCH(int, position);
    QFETCH(QList<int>, order);
    {
        VnRef<IList> list = MakeList();
        auto items = Fill(list.get(), count);
        VnRef<IRoot> added = Make<Item>();
        QVERIFY(list->AddItem(position, added.get()));
        QCOMPARE(Refs(added.get()), 2);
        QList<int> got = Order(list.get(), items);
        got.replace(got.indexOf(-1), 9);
        QCOMPARE(got, order);
        QVERIFY(!VnOS->HasError(0));
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

void TestVornList::addItemWithoutObject_data() {
    QTest::addColumn<QByteArray>("element");  // module.Class, empty for none
    QTest::addColumn<bool>("made");
    QTest::addColumn<QString>("reason");
    QTest::newRow("new item of the element class") << QByteArray("test.Item") << true << "";
    QTest::newRow("no element class") << QByteArray() << false << "has no element class";
    QTest::newRow("element class unknown")
        << QByteArray("test.Missing") << false << "Unknown class test.Missing.1";
}

void TestVornList::addItemWithoutObject() {
    // Catches a list that cannot make its own items, or that adds a null item when it cannot.
    QFETCH(QByteArray, element);
    QFETCH(bool, made);
    QFETCH(QString, reason);
    {
        QList<QByteArray> parts = element.split('.');
        VnRef<IList> list =
            element.isEmpty() ? MakeList() : MakeList(VnMakeCLSID(parts[0], parts[1], 1));
        QCOMPARE(list->AddItem(-1, nullptr), made);
        QCOMPARE(list->GetCount(), made ? 1 : 0);
        if (made) {
            QCOMPARE(list->GetItem(0)->GetTypeInfo(), &gItemType);
            QCOMPARE(Item::sLive, mItemsAtStart + 1);
            QCOMPARE(Refs(list->GetItem(0)), 1);  // the list's reference only
        } else {
            QVERIFY2(PendingError().contains(reason), qPrintable(PendingError()));
        }
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

void TestVornList::addItemRefused_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("reason");
    QTest::newRow("object of another class")
        << 0 << -1 << "A list of test.Item.1 cannot hold an object of class test.Other.1";
    QTest::newRow("object without the element interface")
        << 1 << -1 << "does not support interface INotify";
    QTest::newRow("the list itself") << 2 << -1 << "A list cannot hold itself";
    QTest::newRow("the list itself through another interface")
        << 3 << -1 << "A list cannot hold itself";
    QTest::newRow("position past the end") << 4 << 3 << "Cannot add an item at position 3";
    QTest::newRow("position below -1") << 4 << -2 << "Cannot add an item at position -2";
}

void TestVornList::addItemRefused() {
    // Catches items the list should refuse being taken anyway, or references kept on refusal.
    QFETCH(int, kind);
    QFETCH(int, position);
    QFETCH(QString, reason);
    {
        VnRef<IList> list = kind == 0   ? MakeList(kItemClass)
                            : kind == 1 ? MakeList(VORNCLSID_NONE, &IID_INotify)
                                        : MakeList();
        auto items = Fill(list.get(), kind == 4 ? 2 : 0);
        IRoot* candidate = nullptr;
        VnRef<IRoot> made;
        VnRef<INotify> notify;
        switch (kind) {
            case 0:
                made = Make<Other>();
                break;
            case 1:
            case 4:
                made = Make<Item>();
                break;
            case 2:
                candidate = list.get();
                break;
            case 3:
                notify = VnQuery<INotify>(list.get());
                candidate = notify.get();
                break;
        }
        if (made) candidate = made.get();
        const int refs = Refs(candidate);
        const int count = list->GetCount();
        QVERIFY(!list->AddItem(position, candidate));
        QVERIFY2(PendingError().contains(reason), qPrintable(PendingError()));
        QCOMPARE(list->GetCount(), count);
        QCOMPARE(Refs(candidate), refs);
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

void TestVornList::removeItem_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<bool>("refused");
    QTest::newRow("first") << 0 << QList<int>{1, 2, 3} << false;
    QTest::newRow("middle") << 2 << QList<int>{0, 1, 3} << false;
    QTest::newRow("last") << 3 << QList<int>{0, 1, 2} << false;
    QTest::newRow("all with -1") << -1 << QList<int>{} << false;
    QTest::newRow("past the end") << 4 << QList<int>{0, 1, 2, 3} << true;
    QTest::newRow("below -1") << -2 << QList<int>{0, 1, 2, 3} << true;
}

void TestVornList::removeItem() {
    // Catches the wrong item removed, removed items whose references are kept, and bad positions
    // that change the list or go unreported.
    QFETCH(int, position);
    QFETCH(QList<int>, order);
    QFETCH(bool, refused);
    {
        VnRef<IList> list = MakeList();
        auto items = Fill(list.get(), 4);
        list->RemoveItem(position);
        QCOMPARE(VnOS->HasError(0), refused);
        QCOMPARE(Order(list.get(), items), order);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(Refs(items[size_t(k)].get()), order.contains(k) ? 2 : 1);
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

void TestVornList::moveItem_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<bool>("refused");
    QTest::newRow("forward") << 0 << 2 << QList<int>{1, 2, 0, 3} << false;
    QTest::newRow("forward to the end") << 1 << 3 << QList<int>{0, 2, 3, 1} << false;
    QTest::newRow("backward") << 3 << 1 << QList<int>{0, 3, 1, 2} << false;
    QTest::newRow("backward to the front") << 2 << 0 << QList<int>{2, 0, 1, 3} << false;
    QTest::newRow("to the same place") << 1 << 1 << QList<int>{0, 1, 2, 3} << false;
    QTest::newRow("from out of range") << 4 << 0 << QList<int>{0, 1, 2, 3} << true;
    QTest::newRow("to out of range") << 0 << 4 << QList<int>{0, 1, 2, 3} << true;
    QTest::newRow("negative") << -1 << 0 << QList<int>{0, 1, 2, 3} << true;
}

void TestVornList::moveItem() {
    // Catches items moved to the wrong place, items lost or doubled by a move, and bad positions.
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<int>, order);
    QFETCH(bool, refused);
    {
        VnRef<IList> list = MakeList();
        auto items = Fill(list.get(), 4);
        list->MoveItem(from, to);
        QCOMPARE(VnOS->HasError(0), refused);
        QCOMPARE(Order(list.get(), items), order);
        for (auto& item : items) QCOMPARE(Refs(item.get()), 2);
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

void TestVornList::elementType() {
    // Catches an element type lost or garbled between construction and the question.
    VnElementType type{};
    VnRef<IList> typed = MakeList(kItemClass, &IID_INotify);
    QVERIFY(typed->GetElementType(&type));
    QVERIFY(VnCLSIDMatches(type.clsid, kItemClass) && type.clsid.version == 1);
    QVERIFY(VnIIDMatches(IID_INotify, type.iid));

    VnRef<IList> made;
    QVERIFY(VnOS->CreateInstance(vorn::VornList::ClassId(), IID_IList, made.out()));
    QVERIFY(made->GetElementType(&type));
    QVERIFY(VnCLSIDIsNone(type.clsid));
    QCOMPARE(type.iid.name[0], '\0');
    QVERIFY(!typed->GetElementType(nullptr));
}

void TestVornList::changeHandler() {
    // Catches changes that are not announced, and refused edits that are.
    auto* list = new vorn::VornList();
    VnRef<IList> held = VnRef<IList>::Adopt(list);
    int calls = 0;
    list->SetChangeHandler([&] { ++calls; });
    auto items = Fill(list, 3);
    QCOMPARE(calls, 3);
    list->MoveItem(0, 2);
    list->RemoveItem(1);
    QCOMPARE(calls, 5);
    list->MoveItem(0, 9);
    list->RemoveItem(7);
    QVERIFY(!list->AddItem(5, items[0].get()));
    QCOMPARE(calls, 5);
    list->RemoveItem(-1);
    QCOMPARE(calls, 6);
}

void TestVornList::listReleasedByItsOwnItem() {
    // Catches a list used after it is destroyed when removing an item drops its last reference.
    {
        VnRef<IList> list = MakeList();
        VnRef<IRoot> item = Make<Item>();
        list->AddItem(-1, item.get());
        auto* raw = static_cast<Item*>(item.get());
        raw->peer = list.get();
        raw->peer->AddRef();
        IList* unowned = list.get();
        list.reset();
        item.reset();  // now the list and its item only hold each other
        QCOMPARE(Item::sLive, mItemsAtStart + 1);
        unowned->RemoveItem(0);
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

QTEST_MAIN(TestVornList)
#include "tst_vorn_list.moc"
