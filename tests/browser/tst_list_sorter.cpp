// The list sorter moving the items of a live runtime list, and the property dialog's view of
// object members.
#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "browser/tm_obj_property_dlg.h"
#include "browser/tm_vorn_list_sorter.h"
#include "core/member_ref.h"
#include "core/value_text.h"
#include "modal.h"
#include "runtime_checks.h"
#include "test_env.h"
#include "vorn/kalix.h"
#include "vorn/object.h"
#include "vorn/ref.h"

namespace {

const VnCLSID kListClass = VnMakeCLSID("vorn", "List", -1);
const char* const kMoveButtons[] = {"mTop", "mUp", "mDown", "mBottom"};

VnRef<IRoot> NewObject(const VnCLSID& id) {
    VnRef<IRoot> object;
    if (!VnOS->CreateInstance(id, IID_IRoot, object.out())) object.reset();
    return object;
}

// A runtime list and its items, kept here in their first order; items are lists themselves,
// named through their "name" member ("" leaves one unnamed).
struct TestList {
    explicit TestList(const QStringList& names)
        : list(VnQuery<IList>(NewObject(kListClass).get())) {
        for (const QString& name : names) {
            items.push_back(NewObject(kListClass));
            mw::MemberRef member;
            member.Bind("name", items.back().get());
            mw::TextToValue(member.value(), name.toUtf8().constData());
            list->AddItem(-1, items.back().get());
        }
    }
    // The list's items as letters of their first positions: "acb" after moving the last up.
    QString Order() const {
        QString order;
        for (int k = 0; k < list->GetCount(); ++k)
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i].get() == list->GetItem(k)) order += QChar('a' + int(i));
        return order;
    }

    VnRef<IList> list;
    std::vector<VnRef<IRoot>> items;
};

// A list item named "item N" that counts how often its type is asked for, as making its line's
// label does.
class Numbered final : public VnObject<IRoot> {
public:
    explicit Numbered(int n) { std::snprintf(name, sizeof name, "item %d", n); }
    static VnRef<IRoot> Make(int n) { return VnRef<IRoot>::Adopt((new Numbered(n))->Root()); }
    const VnTypeInfo* GetTypeInfo() override {
        ++asked;
        return Type();
    }
    static const VnTypeInfo* Type() {
        static const VnTypeInfo* type = [] {
            Numbered probe(0);
            const auto at = reinterpret_cast<const char*>(probe.name) -
                            reinterpret_cast<const char*>(probe.Root());
            static const VnMemberDescriptor members[] = {{"name",
                                                          kVnString,
                                                          int32_t(at),
                                                          int32_t(sizeof probe.name),
                                                          nullptr,
                                                          "",
                                                          0,
                                                          nullptr,
                                                          {}},
                                                         {}};
            static const VnCLSID id = VnMakeCLSID("test", "Numbered", 1);
            static const VnTypeInfo info{&id, "", Interfaces(), members, nullptr, nullptr, 0};
            return &info;
        }();
        return type;
    }

    static inline int asked = 0;
    char name[16] = {};
};

QAbstractItemView* Lines(QWidget* sorter) {
    return sorter->findChild<QAbstractItemView*>("mListBox");
}

QString LineLabel(QWidget* sorter, int line) {
    return Lines(sorter)->model()->index(line, 0).data().toString();
}

// What the sorter shows while it is open.
struct SorterView {
    QStringList lines;
    int selected = -1;
    QStringList enabled;  // the move buttons that can be pressed
    QString focus;        // the control the keyboard starts on
};

SorterView Look(QWidget* sorter) {
    SorterView view;
    QAbstractItemView* box = Lines(sorter);
    for (int k = 0; k < box->model()->rowCount(); ++k) view.lines << LineLabel(sorter, k);
    const QModelIndexList selected = box->selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) view.selected = selected.front().row();
    for (const char* name : kMoveButtons)
        if (sorter->findChild<QPushButton*>(name)->isEnabled()) view.enabled << name;
    if (QWidget* focus = sorter->focusWidget()) view.focus = focus->objectName();
    return view;
}

void Click(QWidget* sorter, const char* button) {
    sorter->findChild<QPushButton*>(button)->click();
}

void ClickLine(QWidget* sorter, int line) {
    QAbstractItemView* box = Lines(sorter);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                      box->visualRect(box->model()->index(line, 0)).center());
}

// The member called `name` of `object`.
mw::MemberValue Member(IRoot* object, const char* name) {
    mw::MemberValue found;
    mw::ForEachMember(object, [&](const mw::MemberValue& value, const VnTypeInfo*) {
        if (std::strcmp(value.desc->name, name) == 0) found = value;
        return !found.desc;
    });
    return found;
}

}  // namespace

class TestListSorter : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    std::unique_ptr<TmVornListSorter> mSorter;  // one for all tests, as the program reuses it

    // Runs the sorter on `list`; `act` works the open dialog and names the button closing it.
    bool RunSorter(IList* list, std::function<const char*(QWidget*)> act, SorterView* after) {
        AnswerNextModal([=](QWidget* sorter) {
            QAbstractItemModelTester tester(Lines(sorter)->model());
            const char* close = act(sorter);
            *after = Look(sorter);
            Click(sorter, close);
        });
        return mSorter->Run(list);
    }

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        mSorter = std::make_unique<TmVornListSorter>();
    }

    // Catches an empty list shown, or answered as if the user had confirmed it.
    void emptyListIsNotShown() {
        TestList empty({});
        bool shown = false;
        QTimer closer;  // closes the sorter should it open; gone before the next test
        connect(&closer, &QTimer::timeout, this, [&] {
            shown = mSorter->isVisible();
            mSorter->reject();
        });
        closer.start(0);
        QVERIFY(!mSorter->Run(empty.list.get()));
        QVERIFY(!shown);
    }

    void moves_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("line");  // clicked before the button
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("close");
        QTest::addColumn<QString>("order");  // of the runtime list afterwards
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QStringList>("enabled");
        const QStringList five{"a", "b", "c", "d", "e"};
        const QStringList all{"mTop", "mUp", "mDown", "mBottom"};
        const QStringList up{"mTop", "mUp"}, down{"mDown", "mBottom"};
        QTest::newRow("one item: nothing to move")
            << QStringList{"a"} << 0 << QByteArray() << QByteArray("mOK") << "a" << QStringList{"a"}
            << 0 << QStringList();
        QTest::newRow("Up from line 3 of 5")
            << five << 2 << QByteArray("mUp") << QByteArray("mOK") << "acbde"
            << QStringList{"a", "c", "b", "d", "e"} << 1 << all;
        QTest::newRow("Down to the last line")
            << five << 3 << QByteArray("mDown") << QByteArray("mOK") << "abced"
            << QStringList{"a", "b", "c", "e", "d"} << 4 << up;
        QTest::newRow("Top from line 4")
            << five << 3 << QByteArray("mTop") << QByteArray("mOK") << "dabce"
            << QStringList{"d", "a", "b", "c", "e"} << 0 << down;
        QTest::newRow("Bottom from line 2")
            << five << 1 << QByteArray("mBottom") << QByteArray("mOK") << "acdeb"
            << QStringList{"a", "c", "d", "e", "b"} << 4 << up;
        QTest::newRow("Top on the first changes nothing")
            << five << 0 << QByteArray("mTop") << QByteArray("mOK") << "abcde" << five << 0 << down;
        QTest::newRow("Bottom on the last changes nothing")
            << five << 4 << QByteArray("mBottom") << QByteArray("mOK") << "abcde" << five << 4
            << up;
        QTest::newRow("Cancel keeps the moves made")
            << five << 1 << QByteArray("mDown") << QByteArray("mCancel") << "acbde"
            << QStringList{"a", "c", "b", "d", "e"} << 2 << all;
        QTest::newRow("unnamed item shown by its class name")
            << QStringList{"a", "", "c"} << 1 << QByteArray("mUp") << QByteArray("mOK") << "bac"
            << QStringList{"List", "a", "c"} << 0 << down;
    }
    // Catches a move applied to the lines but not the runtime list (or the other way round),
    // a button wired to the wrong move, buttons left stale after a click or move, a reused
    // sorter opening with the keyboard elsewhere than OK, and a Cancel that undoes or confirms.
    void moves() {
        QFETCH(QStringList, names);
        QFETCH(int, line);
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, close);
        TestList test(names);
        QString focusAtOpen;
        SorterView after;
        const bool confirmed = RunSorter(
            test.list.get(),
            [&](QWidget* sorter) {
                focusAtOpen = Look(sorter).focus;
                ClickLine(sorter, line);
                if (!button.isEmpty()) Click(sorter, button);
                return close.constData();
            },
            &after);
        QCOMPARE(focusAtOpen, QString("mOK"));
        QCOMPARE(confirmed, close == "mOK");
        QTEST(test.Order(), "order");
        QTEST(after.lines, "lines");
        QTEST(after.selected, "selected");
        QTEST(after.enabled, "enabled");
    }

    void staleLines_data() {
        QTest::addColumn<int>("line");      // selected before the script's change
        QTest::addColumn<bool>("removes");  // else the script moves the first item to the end
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("selected");
        QTest::newRow("item removed") << 4 << true << "abce" << 3;
        QTest::newRow("items reordered") << 2 << false << "bcdea" << 1;
    }
    // Catches Up applied to lines a script has made stale: the runtime list asked to move a
    // position it no longer has, or the item now at the selected position moved instead.
    void staleLines() {
        QFETCH(int, line);
        QFETCH(bool, removes);
        TestList test({"a", "b", "c", "d", "e"});
        VnOS->SetError(0, nullptr, nullptr);
        SorterView after;
        RunSorter(
            test.list.get(),
            [&](QWidget* sorter) {
                ClickLine(sorter, line);
                if (removes)
                    test.list->RemoveItem(3);
                else
                    test.list->MoveItem(0, 4);
                Click(sorter, "mUp");
                return "mOK";
            },
            &after);
        QCOMPARE(PendingError(), QString());
        QTEST(test.Order(), "order");
        QStringList lines;
        for (QChar item : test.Order()) lines << item;
        QCOMPARE(after.lines, lines);  // rebuilt from the list, the same item still selected
        QTEST(after.selected, "selected");
    }

    // Catches a sorter that makes every line's label on opening (a big list takes seconds), a
    // line whose item is read after a script freed it (the sanitizer build reports it), and
    // items still held by the sorter after it closed.
    void bigListLabelsOnDemand() {
        constexpr int kItems = 3000;
        TestList test({});
        for (int n = 0; n < kItems; ++n) {
            test.items.push_back(Numbered::Make(n));
            test.list->AddItem(-1, test.items.back().get());
        }
        const VnRef<IRoot> first = test.items.front();
        Numbered::asked = 0;
        int askedOpening = -1;
        QString lastLabel;
        SorterView after;
        RunSorter(
            test.list.get(),
            [&](QWidget* sorter) {
                askedOpening = Numbered::asked;
                test.list->RemoveItem(-1);  // a script empties the list and lets its items go
                test.items.clear();
                Lines(sorter)->scrollToBottom();
                sorter->grab();
                lastLabel = LineLabel(sorter, kItems - 1);
                return "mOK";
            },
            &after);
        QVERIFY2(askedOpening < 100, qPrintable(QString::number(askedOpening)));
        QCOMPARE(lastLabel, QString("item %1").arg(kItems - 1));
        QCOMPARE(after.lines.size(), kItems);
        first->AddRef();
        QCOMPARE(first->Release(), 1);  // only `first` holds it now
    }

    void objectMembers_data() {
        QTest::addColumn<QByteArray>("member");  // of a model; "" for a loose pointer member
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("held");
        QTest::newRow("empty pointer of any interface") << QByteArray() << "(any)"
                                                        << "(unassigned)";
        QTest::newRow("empty pointer requiring an interface")
            << QByteArray("material") << "IKxMaterial"
            << "(unassigned)";
        QTest::newRow("embedded object") << QByteArray("transform") << "(any)"
                                         << "Instance of KxTransform";
    }
    // Catches the interface or class shown with its module or version, a missing interface or
    // empty pointer read through, and an embedded object taken for a pointer to one.
    void objectMembers() {
        QFETCH(QByteArray, member);
        QFETCH(QString, type);
        QFETCH(QString, held);
        VnRef<IRoot> model = NewObject(CLSID_KxModel);
        QVERIFY(model);
        IRoot* none = nullptr;
        const VnMemberDescriptor loose{"owner", kVnObjectRef, 0, int32_t(sizeof none), nullptr, "",
                                       0,       nullptr,      {}};
        const mw::MemberValue value = member.isEmpty() ? mw::MemberValue{&loose, &none}
                                                       : Member(model.get(), member.constData());
        QVERIFY(value.desc);
        TmObjPropertyDlg dialog;
        QStringList shown;
        AnswerNextModal([&](QWidget* modal) {
            for (const char* name : {"mName", "mTypeName", "mValue"})
                shown << modal->findChild<QLineEdit*>(name)->text();
            Click(modal, "mOK");
        });
        QVERIFY(dialog.Run(value));
        QCOMPARE(shown, (QStringList{value.desc->name, type, held}));
    }
};

QTEST_MAIN(TestListSorter)
#include "tst_list_sorter.moc"
