#include <QtTest>
#include <filesystem>
#include <string>

#include "moniker.h"
#include "test_env.h"
#include "vorn/os.h"
#include "vorn/rot.h"

class TestMoniker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void monikerToPath_data();
    void monikerToPath();
    void pathToMoniker_data();
    void pathToMoniker();

private:
    // "<res>" stands for the resource directory (with its "/"), "<cwd>" for the current one.
    QString Expand(QString text) const {
        return text.replace("<res>", mResDir).replace("<cwd>", mCwd);
    }
    TestEnvironment mEnv;
    QString mResDir;
    QString mCwd;
};

void TestMoniker::initTestCase() {
    QVERIFY(VnOS->IsStarted());
    QVERIFY(QDir::setCurrent(mEnv.path()));
    mCwd = QString::fromStdString(std::filesystem::current_path().string());
    mResDir = QString::fromUtf8(VnOS->GetPath(kVnPathResource));
    QVERIFY(mResDir.endsWith('/'));
}

void TestMoniker::parse_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("parts");  // scheme, name and ext; empty when refused
    QTest::newRow("device") << QByteArray("kx:/dev") << QStringList{"kx:", "dev", ""};
    QTest::newRow("resource with extension")
        << QByteArray("res:/maps/a.vorn") << QStringList{"res:", "maps/a", "vorn"};
    QTest::newRow("two extensions")
        << QByteArray("res:/a.tar.gz") << QStringList{"res:", "a.tar", "gz"};
    QTest::newRow("dot in a folder name")
        << QByteArray("res:/a.b/c") << QStringList{"res:", "a.b/c", ""};
    QTest::newRow("hidden file") << QByteArray("res:/dir/.hidden")
                                 << QStringList{"res:", "dir/.hidden", ""};
    QTest::newRow("trailing dot") << QByteArray("res:/a.") << QStringList{"res:", "a.", ""};
    QTest::newRow("absolute file")
        << QByteArray("file:/home/u/x.vorn") << QStringList{"file:", "home/u/x", "vorn"};
    QTest::newRow("no scheme") << QByteArray("/x") << QStringList{};
    QTest::newRow("no colon") << QByteArray("kx") << QStringList{};
    QTest::newRow("empty scheme") << QByteArray(":/x") << QStringList{};
    QTest::newRow("no slash") << QByteArray("kx:dev") << QStringList{};
    QTest::newRow("no name") << QByteArray("kx:/") << QStringList{};
    QTest::newRow("NUL inside") << QByteArray("kx:/a\0b", 7) << QStringList{};
}

void TestMoniker::parse() {
    // Catches monikers split at the wrong place, names that do not survive Text(), and
    // malformed monikers taken as names.
    QFETCH(QByteArray, text);
    QFETCH(QStringList, parts);
    vorn::Moniker m;
    std::string why;
    bool ok = vorn::ParseMoniker(std::string_view(text.constData(), size_t(text.size())), &m, &why);
    QCOMPARE(ok, !parts.isEmpty());
    if (!ok) {
        QVERIFY(!why.empty());
        return;
    }
    QCOMPARE((QStringList{QString::fromStdString(m.scheme), QString::fromStdString(m.name),
                          QString::fromStdString(m.ext)}),
             parts);
    QCOMPARE(QByteArray::fromStdString(m.Text()), text);
}

void TestMoniker::monikerToPath_data() {
    QTest::addColumn<QString>("moniker");
    QTest::addColumn<QString>("resources");
    QTest::addColumn<QString>("path");  // empty: refused
    auto row = [](const char* tag, const char* moniker, const char* resources, const char* path) {
        QTest::newRow(tag) << QString(moniker) << QString(resources) << QString(path);
    };
    row("resource", "res:/maps/a.vorn", "/r/res/", "/r/res/maps/a.vorn");
    row("resource dir without slash", "res:/a.vorn", "/r/res", "/r/res/a.vorn");
    row("inner .. that stays inside", "res:/maps/../a.vorn", "/r/res/", "/r/res/a.vorn");
    row(".. escaping the resource dir", "res:/../x.vorn", "/r/res/", "");
    row("deeper .. escaping", "res:/a/../../x.vorn", "/r/res/", "");
    row("into a sibling with the same prefix", "res:/../resource/x.vorn", "/r/res/", "");
    row("the resource dir itself", "res:/.", "/r/res/", "");
    row("file", "file:/tmp/x.vorn", "/r/res/", "/tmp/x.vorn");
    row("file with ..", "file:/tmp/../x.vorn", "/r/res/", "/x.vorn");
    row("other scheme", "kx:/dev", "/r/res/", "");
}

void TestMoniker::monikerToPath() {
    // Catches "res:" monikers that reach files outside the resource directory.
    QFETCH(QString, moniker);
    QFETCH(QString, resources);
    QFETCH(QString, path);
    vorn::Moniker m;
    std::string why, got;
    QVERIFY(vorn::ParseMoniker(moniker.toStdString(), &m, &why));
    bool ok = vorn::MonikerToPath(m, resources.toStdString(), &got, &why);
    QCOMPARE(ok, !path.isEmpty());
    if (ok)
        QCOMPARE(QString::fromStdString(got), path);
    else
        QVERIFY2(QString::fromStdString(why).contains(moniker), why.c_str());
}

void TestMoniker::pathToMoniker_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("moniker");  // empty: refused
    auto row = [](const char* tag, const char* path, const char* moniker) {
        QTest::newRow(tag) << QString(path) << QString(moniker);
    };
    row("inside the resource dir", "<res>maps/a.vorn", "res:/maps/a.vorn");
    row("directly inside", "<res>a.vorn", "res:/a.vorn");
    row("outside", "/var/a.vorn", "file:/var/a.vorn");
    row("sibling with the same prefix", "<res>../res2/a.vorn", "file:<cwd>/res2/a.vorn");
    row("leaves through ..", "<res>maps/../../a.vorn", "file:<cwd>/a.vorn");
    row("relative into the resource dir", "res/maps/a.vorn", "res:/maps/a.vorn");
    row("relative outside", "other/a.vorn", "file:<cwd>/other/a.vorn");
    row("relative with dot parts", "./res/./x/../b.vorn", "res:/b.vorn");
    row("empty", "", "");
    row("folder", "<res>maps/", "");
}

void TestMoniker::pathToMoniker() {
    // Catches paths given the wrong kind of moniker, relative paths not taken from the current
    // directory, and monikers that do not lead back to the same file.
    QFETCH(QString, path);
    QFETCH(QString, moniker);
    QCOMPARE(mResDir, mCwd + "/res/");  // the rows assume the test environment's layout
    const long blocks = VnOS->LiveBlocks();
    char* got = nullptr;
    bool ok = VnROT->PathToMoniker(Expand(path).toUtf8().constData(), &got);
    QCOMPARE(ok, !moniker.isEmpty());
    if (!ok) {
        QVERIFY(!got);
        QVERIFY(VnOS->HasError(0));
        VnOS->SetError(0, nullptr, nullptr);
        return;
    }
    QCOMPARE(QString::fromUtf8(got), Expand(moniker));

    vorn::Moniker m;
    std::string why, back;
    QVERIFY(vorn::ParseMoniker(got, &m, &why));
    QVERIFY2(vorn::MonikerToPath(m, mResDir.toStdString(), &back, &why), why.c_str());
    std::filesystem::path absolute = std::filesystem::absolute(Expand(path).toStdString());
    QCOMPARE(QString::fromStdString(back),
             QString::fromStdString(absolute.lexically_normal().string()));
    VnOS->Free(got);
    QCOMPARE(VnOS->LiveBlocks(), blocks);
}

QTEST_MAIN(TestMoniker)
#include "tst_moniker.moc"
