#include <QtTest>
#include <vector>

#include "runtime_checks.h"
#include "test_env.h"
#include "vorn/object.h"
#include "vorn/ref.h"
#include "vorn_list.h"

namespace {

const VnCLSID kItemClass = VnMakeCLSID("test", "Item", 1);
const VnMemberDescriptor kNoMembers[] = {{}};
const VnTypeInfo gItemType = {
    &kItemClass, "A list item", VnObject<IRoot>::Interfaces(), kNoMembers, nullptr, nullptr, 0};

class Item final : public VnObject<IRoot> {
public:
    static inline int sLive = 0;
    static inline int sDeadPeers = 0;  // peers found destroyed by an item's destructor
    Item() { ++sLive; }
    ~Item() override {
        --sLive;
        if (peer && peer->GetTypeInfo() == &gItemType && !static_cast<Item*>(peer)->mAlive)
            ++sDeadPeers;
        mAlive = false;
        if (peer) peer->Release();
    }
    const VnTypeInfo* GetTypeInfo() override { return &gItemType; }
    IRoot* peer = nullptr;  // one reference

private:
    bool mAlive = true;
};

VnRef<IRoot> MakeItem() { return VnRef<IRoot>::Adopt((new Item)->Root()); }

VnRef<IList> MakeList(const VnCLSID& element = VORNCLSID_NONE, const VnIID* iid = nullptr) {
    return VnRef<IList>::Adopt(new vorn::VornList(element, iid));
}

// Fills a list with `count` new items and keeps them, in order, for comparisons.
std::vector<VnRef<IRoot>> Fill(IList* list, int count) {
    std::vector<VnRef<IRoot>> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(MakeItem());
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
    void removeAndMove_data();
    void removeAndMove();
    void elementType();
    void changeHandler();
    void listReleasedByItsOwnItem();
    void deepChainsReleased_data();
    void deepChainsReleased();

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
        VnRef<IRoot> added = MakeItem();
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
        << 0 << -1 << "A list of test.Item.1 cannot hold an object of class vorn.List.1";
    QTest::newRow("object without the element interface")
        << 1 << -1 << "does not support interface INotify";
    QTest::newRow("the list itself through another interface")
        << 2 << -1 << "A list cannot hold itself";
    QTest::newRow("position past the end") << 3 << 3 << "Cannot add an item at position 3";
    QTest::newRow("position below -1") << 3 << -2 << "Cannot add an item at position -2";
}

void TestVornList::addItemRefused() {
    // Catches items the list should refuse being taken anyway (itself too, when reached through
    // another interface), or references kept on refusal.
    QFETCH(int, kind);
    QFETCH(int, position);
    QFETCH(QString, reason);
    {
        VnRef<IList> list = kind == 0   ? MakeList(kItemClass)
                            : kind == 1 ? MakeList(VORNCLSID_NONE, &IID_INotify)
                                        : MakeList();
        auto items = Fill(list.get(), kind == 3 ? 2 : 0);
        VnRef<IList> other = MakeList();
        VnRef<INotify> self = VnQuery<INotify>(list.get());
        VnRef<IRoot> item = MakeItem();
        IRoot* candidate = kind == 0 ? other.get() : kind == 2 ? self.get() : item.get();
        const int refs = Refs(candidate);
        QVERIFY(!list->AddItem(position, candidate));
        QVERIFY2(PendingError().contains(reason), qPrintable(PendingError()));
        QCOMPARE(list->GetCount(), int(items.size()));
        QCOMPARE(Refs(candidate), refs);
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
}

void TestVornList::removeAndMove_data() {
    QTest::addColumn<bool>("move");
    QTest::addColumn<int>("from");  // the position removed, or moved from
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<bool>("refused");
    const QList<int> all{0, 1, 2, 3};
    QTest::newRow("remove the first") << false << 0 << 0 << QList<int>{1, 2, 3} << false;
    QTest::newRow("remove from the middle") << false << 2 << 0 << QList<int>{0, 1, 3} << false;
    QTest::newRow("remove the last") << false << 3 << 0 << QList<int>{0, 1, 2} << false;
    QTest::newRow("remove all with -1") << false << -1 << 0 << QList<int>{} << false;
    QTest::newRow("remove past the end") << false << 4 << 0 << all << true;
    QTest::newRow("remove below -1") << false << -2 << 0 << all << true;
    QTest::newRow("move forward") << true << 0 << 2 << QList<int>{1, 2, 0, 3} << false;
    QTest::newRow("move forward to the end") << true << 1 << 3 << QList<int>{0, 2, 3, 1} << false;
    QTest::newRow("move backward") << true << 3 << 1 << QList<int>{0, 3, 1, 2} << false;
    QTest::newRow("move backward to the front")
        << true << 2 << 0 << QList<int>{2, 0, 1, 3} << false;
    QTest::newRow("move to the same place") << true << 1 << 1 << all << false;
    QTest::newRow("move from out of range") << true << 4 << 0 << all << true;
    QTest::newRow("move to out of range") << true << 0 << 4 << all << true;
    QTest::newRow("move from a negative position") << true << -1 << 0 << all << true;
}

void TestVornList::removeAndMove() {
    // Catches the wrong item removed or moved to the wrong place, items lost or doubled, removed
    // items whose references are kept, and bad positions that change the list or go unreported.
    QFETCH(bool, move);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<int>, order);
    QFETCH(bool, refused);
    {
        VnRef<IList> list = MakeList();
        auto items = Fill(list.get(), 4);
        move ? list->MoveItem(from, to) : list->RemoveItem(from);
        QCOMPARE(VnOS->HasError(0), refused);
        QCOMPARE(Order(list.get(), items), order);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(Refs(items[size_t(k)].get()), order.contains(k) ? 2 : 1);
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
        VnRef<IRoot> item = MakeItem();
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

void TestVornList::deepChainsReleased_data() {
    QTest::addColumn<bool>("lists");
    QTest::newRow("lists nested a million deep") << true;
    QTest::newRow("items holding the next, a million long") << false;
}

void TestVornList::deepChainsReleased() {
    // Catches a release that recurses once per link, overflowing the stack, and a destructor
    // that finds the object it still holds already destroyed.
    QFETCH(bool, lists);
    constexpr int kDepth = 1000000;
    Item::sDeadPeers = 0;
    {
        VnRef<IRoot> head = lists ? VnRef<IRoot>::Adopt(MakeList().detach()) : MakeItem();
        IRoot* last = head.get();
        for (int i = 0; i < kDepth; ++i) {
            VnRef<IRoot> next = lists ? VnRef<IRoot>::Adopt(MakeList().detach()) : MakeItem();
            if (lists)
                VnQuery<IList>(last)->AddItem(-1, next.get());
            else
                static_cast<Item*>(last)->peer = next.detach();
            last = lists ? next.get() : static_cast<Item*>(last)->peer;
        }
        QCOMPARE(Item::sLive, mItemsAtStart + (lists ? 0 : kDepth + 1));
    }
    QCOMPARE(Item::sLive, mItemsAtStart);
    QCOMPARE(Item::sDeadPeers, 0);
}

QTEST_MAIN(TestVornList)
#include "tst_vorn_list.moc"
