#include <QtTest>
#include <memory>

#include "checks.h"
#include "path_table.h"
#include "test_env.h"

using vorn::PathTable;

class TstPathTable : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> mEnv;
    QByteArray mHome;

    static void SetOrUnset(const char* name, const QByteArray& value) {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    // Another path replaces the default and an empty one brings the default back.
    [[nodiscard]] static bool CheckSetAndRestore(PathTable& paths, int kind,
                                                 const QString& expected) {
        std::string why;
        CHECK(paths.Set(kind, "/elsewhere", &why));
        CHECK_COMPARE(QString(paths.Get(kind)), QString("/elsewhere/"));
        CHECK(paths.Set(kind, "", &why));
        CHECK_COMPARE(QString(paths.Get(kind)), expected);
        CHECK(paths.Set(kind, "/elsewhere/", &why) && paths.Set(kind, nullptr, &why));
        CHECK_COMPARE(QString(paths.Get(kind)), expected);
        return true;
    }

private slots:
    void init() {
        mEnv = std::make_unique<TestEnvironment>();
        mHome = qgetenv("HOME");
    }
    void cleanup() {
        qputenv("HOME", mHome);
        mEnv.reset();
    }

    void defaults_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("xdgData");
        QTest::addColumn<QString>("expected");
        QTest::newRow("base from XDG_DATA_HOME") << 0 << QByteArray("/xdg") << "/xdg/mosswick/";
        QTest::newRow("base from HOME") << 0 << QByteArray() << "/h/.local/share/mosswick/";
        QTest::newRow("base ignores relative XDG_DATA_HOME")
            << 0 << QByteArray("data") << "/h/.local/share/mosswick/";
        QTest::newRow("resources beside the program") << 1 << QByteArray() << "/opt/moss/res/";
        QTest::newRow("macros beside the program") << 4 << QByteArray() << "/opt/moss/macros/";
    }
    void defaults() {
        // Catches a kind whose default points at the wrong folder or lacks its final "/".
        QFETCH(int, kind);
        QFETCH(QByteArray, xdgData);
        QFETCH(QString, expected);
        for (const char* name : {"VORN_BASEDIR", "VORN_RESDIR", "VORN_MACRODIR"}) qunsetenv(name);
        SetOrUnset("XDG_DATA_HOME", xdgData);
        qputenv("HOME", "/h");
        PathTable paths;
        paths.Init("/opt/moss");
        QCOMPARE(QString(paths.Get(kind)), expected);
        QVERIFY(CheckSetAndRestore(paths, kind, expected));
    }

    void environmentOverrides_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("base") << 0 << QByteArray("VORN_BASEDIR") << QByteArray("/b");
        QTest::newRow("resources") << 1 << QByteArray("VORN_RESDIR") << QByteArray("/r/");
        QTest::newRow("macros") << 4 << QByteArray("VORN_MACRODIR") << QByteArray("/m");
    }
    void environmentOverrides() {
        // Catches an override that is ignored, read for the wrong kind, or lost on a reset.
        QFETCH(int, kind);
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        qputenv(variable.constData(), value);
        PathTable paths;
        paths.Init("/opt/moss/");
        const QString expected = value.endsWith('/') ? QString(value) : QString(value + "/");
        QCOMPARE(QString(paths.Get(kind)), expected);
        QVERIFY(CheckSetAndRestore(paths, kind, expected));
    }

    void unknownKinds_data() {
        QTest::addColumn<int>("kind");
        for (int kind : {-1, 2, 3, 5, 1000})
            QTest::newRow(qPrintable(QString::number(kind))) << kind;
    }
    void unknownKinds() {
        // Catches an unknown kind read past the table or accepted as if it were known.
        QFETCH(int, kind);
        PathTable paths;
        paths.Init("/opt/moss/");
        QVERIFY(paths.Get(kind) == nullptr);
        std::string why;
        QVERIFY(!paths.Set(kind, "/x", &why));
        QCOMPARE(QString::fromStdString(why), "Unknown path kind " + QString::number(kind));
    }

    void programDir_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("expected");
        QTest::newRow("build tree") << QStringList{"bin/python", "share/mosswick"} << "bin/";
        QTest::newRow("installed") << QStringList{"bin", "share/mosswick"} << "share/mosswick/";
        QTest::newRow("neither") << QStringList{"bin"} << "bin/";
    }
    void programDir() {
        // Catches an installed copy that looks for its files beside the executable only, or a
        // build tree that takes another installation's files.
        QFETCH(QStringList, folders);
        QFETCH(QString, expected);
        QTemporaryDir root;
        for (const QString& folder : folders) QVERIFY(QDir(root.path()).mkpath(folder));
        const std::string bin = root.path().toStdString() + "/bin";
        QCOMPARE(QString::fromStdString(PathTable::ProgramDir(bin)), root.path() + "/" + expected);
    }

    void executableDir() {
        // Catches a wrong reading of /proc/self/exe, which moves the resource and macro folders.
        QCOMPARE(QString::fromStdString(PathTable::ExecutableDir()),
                 QCoreApplication::applicationDirPath() + "/");
    }
};

QTEST_GUILESS_MAIN(TstPathTable)
#include "tst_path_table.moc"
