#include <sys/stat.h>

#include <QtTest>
#include <cstring>
#include <nlohmann/json.hpp>

#include "checks.h"
#include "runtime_checks.h"
#include "test_env.h"
#include "vorn/members.h"
#include "vorn/object.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace {

const VnCLSID kListClass = VnMakeCLSID("vorn", "List", 1);

VnRef<IList> MakeList(const char* name = nullptr) {
    VnRef<IList> list;
    VnOS->CreateInstance(kListClass, IID_IList, list.out());
    if (name) {
        auto* storage = VnMemberStorage(list.get(), list->GetTypeInfo()->members, 0);
        auto** text = static_cast<char**>(storage);
        *text = static_cast<char*>(VnOS->Alloc(std::strlen(name) + 1));
        std::memcpy(*text, name, std::strlen(name) + 1);
    }
    return list;
}

// The "name" member of a vorn.List.
QString NameOf(IRoot* list) {
    auto** text = static_cast<char**>(VnMemberStorage(list, list->GetTypeInfo()->members, 0));
    return QString::fromUtf8(*text ? *text : "(null)");
}

QString MonikerOf(IRoot* object) {
    const VnROTEntry* e = VnROT->EntryOf(object);
    if (!e) return {};
    QString text = QString::fromUtf8(e->scheme) + "/" + QString::fromUtf8(e->name);
    if (e->ext[0]) text += "." + QString::fromUtf8(e->ext);
    return text;
}

VnRef<IList> Table() { return VnQuery<IList>(VnROT); }

// Writes `text`, or makes what a marker names: "<fifo>" a named pipe, "<zero>" a link to
// /dev/zero, "<huge>" a sparse file just over the 256 MB a branch file may hold.
[[nodiscard]] bool WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    if (text == "<fifo>") {
        CHECK_COMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        return true;
    }
    if (text == "<zero>") {
        CHECK(QFile::link("/dev/zero", path));
        return true;
    }
    QFile file(path);
    if (text == "<huge>") {
        CHECK(file.open(QIODevice::WriteOnly) && file.resize((qint64(256) << 20) + 1));
        return true;
    }
    CHECK(file.open(QIODevice::WriteOnly));
    file.write(text);
    return true;
}

// A branch file of one list named `name` whose items are the objects of `monikers`.
QByteArray ListFile(const char* name, const QStringList& monikers = {}) {
    nlohmann::json objects = nlohmann::json::array();
    nlohmann::json items = nlohmann::json::array();
    for (int i = 0; i < monikers.size(); ++i) items.push_back(i + 1);
    objects.push_back({{"class", "vorn.List.1"},
                       {"members", {{"name", {{"type", 8}, {"value", name}}}}},
                       {"items", items}});
    for (const QString& m : monikers) objects.push_back({{"moniker", m.toStdString()}});
    nlohmann::json doc = {
        {"format", "vorn-branch"}, {"version", 1}, {"root", 0}, {"objects", objects}};
    return QByteArray::fromStdString(doc.dump());
}

}  // namespace

class TestRotTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void registerByIdentity();
    void refusals_data();
    void refusals();
    void getObject_data();
    void getObject();
    void tableAsList();
    void branch();
    void branchRefused();
    void failedBranchKeepsOldFile();
    void getObjectLoadsFile_data();
    void getObjectLoadsFile();

private:
    QString Res() const { return QString::fromUtf8(VnOS->GetPath(kVnPathResource)); }
    TestEnvironment mEnv;
    long mBlocks = 0;
    int mEntries = 0;
};

void TestRotTable::initTestCase() { QVERIFY(VnOS->IsStarted()); }

void TestRotTable::init() {
    VnOS->SetError(0, nullptr, nullptr);
    mBlocks = VnOS->LiveBlocks();
    mEntries = Table()->GetCount();
}

void TestRotTable::cleanup() {
    // whatever a test registered is revoked, and every text it was handed is given back
    while (Table()->GetCount() > mEntries) {
        QString moniker = MonikerOf(Table()->GetItem(Table()->GetCount() - 1));
        VnROT->Revoke(moniker.toUtf8().constData());
    }
    VnOS->SetError(0, nullptr, nullptr);
    QCOMPARE(VnOS->LiveBlocks(), mBlocks);
}

void TestRotTable::registerByIdentity() {
    // Catches objects told apart by interface pointer instead of identity, entries that do not
    // match their moniker, and references not kept or not given back.
    VnRef<IList> list = MakeList();
    VnRef<INotify> other = VnQuery<INotify>(list.get());
    QVERIFY(static_cast<void*>(other.get()) != static_cast<void*>(list.get()));
    const int refs = Refs(list.get());

    QVERIFY(VnROT->Register("test:/shelf.x", other.get()));
    QCOMPARE(Refs(list.get()), refs + 1);
    const VnROTEntry* entry = VnROT->EntryOf(list.get());
    QVERIFY(entry);
    QCOMPARE(VnROT->EntryOf(other.get()), entry);
    QCOMPARE(QString(entry->scheme), "test:");
    QCOMPARE(QString(entry->name), "shelf");
    QCOMPARE(QString(entry->ext), "x");
    QCOMPARE(entry->object, static_cast<IRoot*>(list.get()));

    VnRef<IList> stranger = MakeList();
    QVERIFY(!VnROT->EntryOf(stranger.get()));
    QVERIFY(!VnROT->EntryOf(nullptr));

    QVERIFY(VnROT->Register("test:/second", list.get()));  // one object, two names
    QCOMPARE(Refs(list.get()), refs + 2);
    QVERIFY(VnROT->Revoke("test:/shelf.x"));
    QCOMPARE(MonikerOf(list.get()), "test:/second");
    QVERIFY(VnROT->Revoke("test:/second"));
    QVERIFY(!VnROT->EntryOf(list.get()));
    QCOMPARE(Refs(list.get()), refs);
}

void TestRotTable::refusals_data() {
    QTest::addColumn<int>("call");  // 0 Register, 1 Revoke
    QTest::addColumn<QByteArray>("moniker");
    QTest::addColumn<QString>("reason");
    QTest::newRow("moniker already taken")
        << 0 << QByteArray("test:/taken") << "The moniker test:/taken is already registered";
    QTest::newRow("malformed moniker") << 0 << QByteArray("taken") << "is not a moniker";
    QTest::newRow("no moniker") << 0 << QByteArray() << "no moniker given";
    QTest::newRow("revoke unknown")
        << 1 << QByteArray("test:/none") << "No object is registered as test:/none";
    QTest::newRow("revoke malformed") << 1 << QByteArray("none") << "is not a moniker";
}

void TestRotTable::refusals() {
    // Catches refused calls that still change the table or a reference count, or say nothing.
    QFETCH(int, call);
    QFETCH(QByteArray, moniker);
    QFETCH(QString, reason);
    VnRef<IList> kept = MakeList();
    VnRef<IList> candidate = MakeList();
    QVERIFY(VnROT->Register("test:/taken", kept.get()));
    const int count = Table()->GetCount();
    const char* text = moniker.isNull() ? nullptr : moniker.constData();
    bool ok = call == 0 ? VnROT->Register(text, candidate.get()) : VnROT->Revoke(text);
    QVERIFY(!ok);
    QVERIFY2(PendingError().contains(reason), qPrintable(PendingError()));
    QCOMPARE(Table()->GetCount(), count);
    QCOMPARE(Refs(candidate.get()), 1);
    QCOMPARE(Refs(kept.get()), 2);
}

void TestRotTable::getObject_data() {
    QTest::addColumn<QByteArray>("moniker");
    QTest::addColumn<QByteArray>("clsid");  // module.Class.version, empty for any
    QTest::addColumn<QByteArray>("iid");
    QTest::addColumn<QString>("reason");  // empty: found
    auto row = [](const char* tag, const char* moniker, const char* clsid, const char* iid,
                  const char* reason) {
        QTest::newRow(tag) << QByteArray(moniker) << QByteArray(clsid) << QByteArray(iid)
                           << QString(reason);
    };
    row("any class", "test:/shelf", "", "IList", "");
    row("matching class", "test:/shelf", "vorn.List.1", "IRoot", "");
    row("class of any version", "test:/shelf", "vorn.List.-1", "INotify", "");
    row("other class", "test:/shelf", "vorn.Rot.1", "IRoot",
        "test:/shelf is an object of class vorn.List.1, not vorn.Rot.1");
    row("other version", "test:/shelf", "vorn.List.2", "IRoot", "not vorn.List.2");
    row("interface not answered", "test:/shelf", "", "IVornROT",
        "Object of class vorn.List.1 does not support interface IVornROT");
    row("not registered", "test:/none", "", "IRoot", "No object is registered as test:/none");
    row("malformed moniker", "shelf", "", "IRoot", "\"shelf\" is not a moniker");
}

void TestRotTable::getObject() {
    // Catches objects handed out under the wrong class or interface, failures without a clear
    // reason, and the caller's reference missing or taken on failure.
    QFETCH(QByteArray, moniker);
    QFETCH(QByteArray, clsid);
    QFETCH(QByteArray, iid);
    QFETCH(QString, reason);
    VnRef<IList> list = MakeList();
    QVERIFY(VnROT->Register("test:/shelf", list.get()));
    const int refs = Refs(list.get());

    VnCLSID wanted{};
    QList<QByteArray> parts = clsid.split('.');
    if (!clsid.isEmpty()) wanted = VnMakeCLSID(parts[0], parts[1], int16_t(parts[2].toInt()));
    const VnIID want = iid == "IList"     ? IID_IList
                       : iid == "INotify" ? IID_INotify
                       : iid == "IRoot"   ? IID_IRoot
                                          : IID_IVornROT;
    void* out = reinterpret_cast<void*>(1);
    bool ok =
        VnROT->GetObject(moniker.constData(), clsid.isEmpty() ? nullptr : &wanted, want, &out, 0);
    QCOMPARE(ok, reason.isEmpty());
    if (!ok) {
        QCOMPARE(out, nullptr);
        QVERIFY2(PendingError().contains(reason), qPrintable(PendingError()));
        QCOMPARE(Refs(list.get()), refs);
        return;
    }
    void* expected = nullptr;
    list->QueryInterface(want, &expected, 1);
    static_cast<IRoot*>(expected)->Release();
    QCOMPARE(out, expected);
    QCOMPARE(Refs(list.get()), refs + 1);
    static_cast<IRoot*>(out)->Release();
}

void TestRotTable::tableAsList() {
    // Catches a table whose list view disagrees with its registrations, and list edits that
    // slip past registration.
    VnRef<IList> table = Table();
    VnRef<IList> a = MakeList(), b = MakeList(), c = MakeList();
    QVERIFY(VnROT->Register("test:/a", a.get()));
    QVERIFY(VnROT->Register("test:/b", b.get()));
    QVERIFY(VnROT->Register("test:/c", c.get()));
    QCOMPARE(table->GetCount(), mEntries + 3);
    QCOMPARE(table->GetItem(mEntries), static_cast<IRoot*>(a.get()));
    QCOMPARE(table->GetItem(mEntries + 2), static_cast<IRoot*>(c.get()));

    VnRef<IList> extra = MakeList();
    QVERIFY(!table->AddItem(-1, extra.get()));
    QVERIFY(PendingError().contains("filled by registration"));
    QCOMPARE(Refs(extra.get()), 1);
    VnOS->SetError(0, nullptr, nullptr);
    table->RemoveItem(-1);
    QVERIFY(PendingError().contains("only when they are revoked"));
    QCOMPARE(table->GetCount(), mEntries + 3);
    QCOMPARE(Refs(a.get()), 2);

    table->MoveItem(mEntries + 2, mEntries);
    QCOMPARE(table->GetItem(mEntries), static_cast<IRoot*>(c.get()));
    QCOMPARE(table->GetItem(mEntries + 1), static_cast<IRoot*>(a.get()));
    QCOMPARE(MonikerOf(c.get()), "test:/c");

    VnOS->SetError(0, nullptr, nullptr);
    QVERIFY(!table->GetItem(mEntries + 3));
    QVERIFY(VnOS->HasError(0));

    QVERIFY(VnROT->Revoke("test:/a"));
    QCOMPARE(table->GetCount(), mEntries + 2);
    QCOMPARE(Refs(a.get()), 1);
}

void TestRotTable::branch() {
    // Catches a branch that is not written, a copy that differs from the original, and a
    // moniker left naming the old copy after a second branch.
    VnRef<IList> shelf = MakeList("shelf");
    VnRef<IList> kept = MakeList("kept");
    VnRef<IList> plain = MakeList("plain");
    QVERIFY(VnROT->Register("test:/kept", kept.get()));
    shelf->AddItem(-1, kept.get());
    shelf->AddItem(-1, plain.get());

    IRoot* first = nullptr;
    QVERIFY2(VnROT->Branch(shelf.get(), &first, "res:/saved/shelf.vorn", 0),
             qPrintable(PendingError()));
    VnRef<IRoot> copy = VnRef<IRoot>::Adopt(first);
    QVERIFY(QFileInfo::exists(Res() + "saved/shelf.vorn"));
    QVERIFY(copy.get() != static_cast<IRoot*>(shelf.get()));
    QCOMPARE(NameOf(copy.get()), "shelf");
    QCOMPARE(MonikerOf(copy.get()), "res:/saved/shelf.vorn");
    VnRef<IList> items = VnQuery<IList>(copy.get());
    QCOMPARE(items->GetCount(), 2);
    QCOMPARE(items->GetItem(0), static_cast<IRoot*>(kept.get()));  // registered: shared
    QVERIFY(items->GetItem(1) != static_cast<IRoot*>(plain.get()));
    QCOMPARE(NameOf(items->GetItem(1)), "plain");
    items.reset();
    QCOMPARE(Refs(copy.get()), 2);  // ours and the table's

    IRoot* second = nullptr;
    shelf->RemoveItem(1);
    QVERIFY(VnROT->Branch(shelf.get(), &second, "res:/saved/shelf.vorn", 0));
    VnRef<IRoot> again = VnRef<IRoot>::Adopt(second);
    QCOMPARE(MonikerOf(again.get()), "res:/saved/shelf.vorn");
    QVERIFY(!VnROT->EntryOf(copy.get()));
    QCOMPARE(Refs(copy.get()), 1);
    QCOMPARE(VnQuery<IList>(again.get())->GetCount(), 1);
}

void TestRotTable::branchRefused() {
    // Catches branches to monikers that name no file, and partial results left on refusal.
    VnRef<IList> shelf = MakeList("shelf");
    IRoot* out = reinterpret_cast<IRoot*>(1);
    QVERIFY(!VnROT->Branch(shelf.get(), &out, "kx:/dev", 0));
    QCOMPARE(out, nullptr);
    QVERIFY(PendingError().contains("names no file"));
    QVERIFY(!VnROT->Branch(shelf.get(), &out, "res:/../outside.vorn", 0));
    QVERIFY(PendingError().contains("leads out of the resource directory"));
    QVERIFY(!QFileInfo::exists(mEnv.path() + "/outside.vorn"));
    QVERIFY(!VnROT->Branch(nullptr, &out, "res:/x.vorn", 0));
    QCOMPARE(Table()->GetCount(), mEntries);
}

void TestRotTable::failedBranchKeepsOldFile() {
    // Catches a branch that replaces the old file before it knows that the new one loads back.
    VnRef<IRoot> model;
    QVERIFY(VnOS->CreateInstance(VnMakeCLSID("kalix", "KxTexture", -1), IID_IRoot, model.out()));
    IRoot* made = nullptr;
    QVERIFY2(VnROT->Branch(model.get(), &made, "res:/model.vorn", 0), qPrintable(PendingError()));
    VnRef<IRoot> first = VnRef<IRoot>::Adopt(made);
    QFile file(Res() + "model.vorn");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    intptr_t adjustment = 0;
    const VnMemberDescriptor* bitmap = VnOS->FindMember("file", model->GetTypeInfo(), &adjustment);
    // written past the owner, which refuses it when the copy loads back
    char*& slot = *static_cast<char**>(VnMemberStorage(model.get(), bitmap, adjustment));
    const char missing[] = "res:/missing.bmp";
    slot = static_cast<char*>(std::memcpy(VnOS->Alloc(sizeof missing), missing, sizeof missing));

    IRoot* out = reinterpret_cast<IRoot*>(1);
    QVERIFY(!VnROT->Branch(model.get(), &out, "res:/model.vorn", 0));
    QCOMPARE(out, nullptr);
    QVERIFY2(PendingError().contains("missing.bmp") && PendingError().contains("left as it was"),
             qPrintable(PendingError()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(QDir(Res()).entryList({"model.vorn*"}, QDir::Files | QDir::Hidden),
             QStringList{"model.vorn"});
    QCOMPARE(MonikerOf(first.get()), "res:/model.vorn");
}

void TestRotTable::getObjectLoadsFile_data() {
    QTest::addColumn<QStringList>("names");  // files below the test folder; "res/" is resources
    QTest::addColumn<QList<QByteArray>>("texts");
    QTest::addColumn<QString>("moniker");  // "<tmp>" is the test folder
    QTest::addColumn<QString>("name");     // the loaded list's name, empty when refused
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("registered");  // entries added to the table
    auto row = [](const char* tag, const QStringList& names, const QList<QByteArray>& texts,
                  const char* moniker, const char* name, const char* reason, int registered) {
        QTest::newRow(tag) << names << texts << QString(moniker) << QString(name) << QString(reason)
                           << registered;
    };
    row("resource moniker", {"res/maps/hand.vorn"}, {ListFile("by hand")}, "res:/maps/hand.vorn",
        "by hand", "", 1);
    row("file moniker outside the resources", {"outside/x.vorn"}, {ListFile("outside")},
        "file:<tmp>/outside/x.vorn", "outside", "", 1);
    row("file that loads another", {"res/c.vorn", "res/d.vorn"},
        {ListFile("c", {"res:/d.vorn"}), ListFile("d")}, "res:/c.vorn", "c", "", 2);
    row("missing file", {}, {}, "res:/none.vorn", "", "Cannot read", 0);
    row("file that is no branch", {"res/bad.vorn"}, {"{\"format\": 1}"}, "res:/bad.vorn", "",
        "Cannot load res:/bad.vorn: Not a branch file", 0);
    row("file that refers to itself", {"res/self.vorn"}, {ListFile("self", {"res:/self.vorn"})},
        "res:/self.vorn", "", "refers back to itself", 0);
    row("files that refer to each other", {"res/a.vorn", "res/b.vorn"},
        {ListFile("a", {"res:/b.vorn"}), ListFile("b", {"res:/a.vorn"})}, "res:/a.vorn", "",
        "refers back to itself", 0);
    row("named pipe", {"res/pipe.vorn"}, {"<fifo>"}, "res:/pipe.vorn", "",
        "is a named pipe, not a regular file", 0);
    row("link to a device", {"res/zero.vorn"}, {"<zero>"}, "res:/zero.vorn", "",
        "is a device, not a regular file", 0);
    row("file over the size limit", {"res/huge.vorn"}, {"<huge>"}, "res:/huge.vorn", "",
        "is larger than 256 MB", 0);
}

void TestRotTable::getObjectLoadsFile() {
    // Catches files that are not loaded or not registered once loaded, files read again while
    // their object is registered, loops of files that never end, and pipes, devices or huge
    // files read without end.
    QFETCH(QStringList, names);
    QFETCH(QList<QByteArray>, texts);
    QFETCH(QString, moniker);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QFETCH(int, registered);
    for (int i = 0; i < names.size(); ++i)
        QVERIFY(WriteFile(mEnv.path() + "/" + names[i], texts[i]));
    moniker.replace("<tmp>", mEnv.path());

    VnRef<IRoot> loaded;
    bool ok =
        VnROT->GetObject(moniker.toUtf8().constData(), &kListClass, IID_IRoot, loaded.out(), 0);
    QCOMPARE(ok, !name.isEmpty());
    QCOMPARE(Table()->GetCount(), mEntries + registered);
    if (!ok) {
        QVERIFY2(PendingError().contains(reason), qPrintable(PendingError()));
        return;
    }
    QCOMPARE(NameOf(loaded.get()), name);
    QCOMPARE(MonikerOf(loaded.get()), moniker);
    for (const QString& file : names) QVERIFY(QFile::remove(mEnv.path() + "/" + file));
    VnRef<IRoot> again;
    QVERIFY(VnROT->GetObject(moniker.toUtf8().constData(), nullptr, IID_IRoot, again.out(), 0));
    QCOMPARE(again.get(), loaded.get());
}

QTEST_MAIN(TestRotTable)
#include "tst_rot_table.moc"
