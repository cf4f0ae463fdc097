#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <memory>
#include <optional>

#include "checks.h"
#include "settings_store.h"
#include "test_env.h"

using vorn::SettingsStore;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

[[nodiscard]] bool Write(const QString& path, const QByteArray& data) {
    QFile file(path);
    CHECK(file.open(QIODevice::WriteOnly));
    file.write(data);
    return true;
}

std::string Text(const QByteArray& bytes) { return bytes.toStdString(); }

void SetOrUnset(const char* name, const QByteArray& value) {
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value);
}

// Lowers the file size limit so that a write stops part-way, which even root cannot bypass.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, SIG_DFL);
    }
};

enum Breakage { StoppedMidWrite, FolderInPlace, ReadOnlyFolder, ReadOnlyFile };
enum Unusable { NoPermission, Folder, Pipe, DeviceLink, LinkLoop, TooLarge };

}  // namespace

class TstSettingsStore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> mEnv;
    QString mPath;

    SettingsStore Store() const {
        SettingsStore store;
        store.SetPath(mPath.toStdString());
        return store;
    }

private slots:
    void init() {
        mEnv = std::make_unique<TestEnvironment>();
        mPath = mEnv->file("settings.json");
    }
    void cleanup() { mEnv.reset(); }

    void badFileIsMovedAside_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("truncated") << QByteArray("{\"a\": \"b");
        QTest::newRow("list at the top") << QByteArray("[\"a\"]");
        QTest::newRow("null value") << QByteArray("{\"a\": null}");
        QTest::newRow("nested object") << QByteArray("{\"a\": {\"b\": \"c\"}}");
        QTest::newRow("invalid UTF-8") << QByteArray("{\"a\": \"\xff\"}");
        QTest::newRow("number overflow") << QByteArray("{\"a\": 1e400}");
    }
    void badFileIsMovedAside() {
        // Catches a bad file that stops loading, gets lost, keeps values, is reported twice, or
        // is moved over a bad file set aside earlier.
        QFETCH(QByteArray, content);
        QVERIFY(Write(mPath, content));
        QVERIFY(Write(mPath + ".bad", "an older bad file"));
        SettingsStore store = Store();
        const QString reason = Q(store.Load());
        QVERIFY2(reason.contains("moved to " + mPath + ".bad.1 and defaults apply"),
                 qPrintable(reason));
        for (QChar c : reason) QVERIFY2(c >= ' ' && c <= '~', qPrintable(reason));
        QVERIFY(!store.Get("a", nullptr));
        QVERIFY(!QFileInfo::exists(mPath));
        QCOMPARE(Read(mPath + ".bad"), QByteArray("an older bad file"));
        QCOMPARE(Read(mPath + ".bad.1"), content);
        QCOMPARE(Q(store.Load()), QString());
    }

    void unusablePathIsLeftAlone_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("no permission") << int(NoPermission);
        QTest::newRow("a folder") << int(Folder);
        QTest::newRow("a named pipe") << int(Pipe);
        QTest::newRow("a link to a device") << int(DeviceLink);
        QTest::newRow("a link to itself") << int(LinkLoop);
        QTest::newRow("larger than 4 MB") << int(TooLarge);
    }
    void unusablePathIsLeftAlone() {
        // Catches a settings path that cannot be read being moved aside or written over, read
        // without end or waited for, and skipped writes reported more than once.
        QFETCH(int, kind);
        if (kind == NoPermission && geteuid() == 0) QSKIP("root reads every file");
        const QByteArray name = QFile::encodeName(mPath);
        if (kind == NoPermission || kind == TooLarge) QVERIFY(Write(mPath, "{\"a\": \"b\"}"));
        if (kind == NoPermission) chmod(name.constData(), 0);
        if (kind == TooLarge) QVERIFY(QFile(mPath).resize((4 << 20) + 1));
        if (kind == Folder) QVERIFY(QDir().mkpath(mPath + "/inner"));
        if (kind == Pipe) QCOMPARE(mkfifo(name.constData(), 0644), 0);
        if (kind == DeviceLink) QVERIFY(QFile::link("/dev/zero", mPath));
        if (kind == LinkLoop) QVERIFY(QFile::link(mPath, mPath));
        struct stat before {};
        QCOMPARE(lstat(name.constData(), &before), 0);
        const QDir::Filters all =
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
        const QStringList entries = QDir(mEnv->path()).entryList(all);

        SettingsStore store = Store();
        const QString reason = Q(store.Load());
        QVERIFY2(reason.contains(mPath) && reason.contains("left as it is"), qPrintable(reason));
        QVERIFY(!store.Get("a", nullptr));
        QVERIFY(!Q(store.Set("k", "1")).isEmpty());
        QCOMPARE(Q(store.Set("k", "2")), QString());
        std::string kept;
        QVERIFY(store.Get("k", &kept) && kept == "2");

        struct stat after {};
        QCOMPARE(lstat(name.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_size, before.st_size);
        QCOMPARE(QDir(mEnv->path()).entryList(all), entries);
        chmod(name.constData(), 0644);
    }

    void staleTemporariesAreRemoved() {
        // Catches temporary files of writers that died mid-way kept for ever, and those of a
        // live writer, or files that merely look alike, removed.
        const pid_t child = fork();
        if (child == 0) _exit(0);
        QCOMPARE(waitpid(child, nullptr, 0), child);
        const QString dead = mPath + ".tmp-" + QString::number(child) + "-3";
        const QString live = mPath + ".tmp-" + QString::number(getpid()) + "-1";
        const QString alike = dead + ".keep";
        for (const QString& file : {dead, live, alike}) QVERIFY(Write(file, "{}"));
        QCOMPARE(Q(Store().Load()), QString());
        QVERIFY(!QFileInfo::exists(dead));
        QVERIFY(QFileInfo::exists(live));
        QVERIFY(QFileInfo::exists(alike));
    }

    void missingFileIsNoError_data() {
        QTest::addColumn<QString>("relative");
        QTest::newRow("no file") << "settings.json";
        QTest::newRow("no folders") << "a/b/settings.json";
    }
    void missingFileIsNoError() {
        // Catches a missing file reported as bad, or a first write that cannot make its folders.
        QFETCH(QString, relative);
        mPath = mEnv->file(relative);
        SettingsStore store = Store();
        QCOMPARE(Q(store.Load()), QString());
        QVERIFY(!QFileInfo::exists(mPath + ".bad"));
        QCOMPARE(QFileInfo::exists(QFileInfo(mPath).path()), relative == "settings.json");
        QCOMPARE(Q(store.Set("k", "v")), QString());
        SettingsStore reloaded = Store();
        QCOMPARE(Q(reloaded.Load()), QString());
        QVERIFY(reloaded.Get("k", nullptr));
    }

    void unchangedValueIsNotRewritten() {
        // Catches every setting stored as the tool closes rewriting (and flushing) the whole
        // file, although the file holds it already; a changed value must still be written.
        mPath = mEnv->file("settings.json");
        QVERIFY(Write(mPath, "{\"k\": \"v\"}"));
        SettingsStore store = Store();
        QCOMPARE(Q(store.Load()), QString());
        const auto inode = [this] {
            struct stat info {};
            return stat(QFile::encodeName(mPath).constData(), &info) == 0 ? info.st_ino : 0;
        };
        const auto before = inode();
        QCOMPARE(Q(store.Set("k", "v")), QString());
        QCOMPARE(inode(), before);
        QCOMPARE(Q(store.Set("k", "w")), QString());
        QVERIFY(inode() != before);
        QVERIFY(Read(mPath).contains("\"w\""));
    }

    void handEditedValuesBecomeText_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected");
        QTest::newRow("negative") << QByteArray("-7") << "-7";
        QTest::newRow("largest unsigned")
            << QByteArray("18446744073709551615") << "18446744073709551615";
        QTest::newRow("fraction") << QByteArray("1.5") << "1.5";
        QTest::newRow("true") << QByteArray("true") << "1";
        QTest::newRow("false") << QByteArray("false") << "0";
        QTest::newRow("escaped text") << QByteArray("\"caf\\u00e9\"") << "café";
    }
    void handEditedValuesBecomeText() {
        // Catches numbers or booleans rejected, or turned into text a program would not write.
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        QVERIFY(Write(mPath, "{\"n\": " + json + "}"));
        SettingsStore store = Store();
        QCOMPARE(Q(store.Load()), QString());
        std::string value;
        QVERIFY(store.Get("n", &value));
        QCOMPARE(Q(value), expected);
    }

    void oddTextsRoundTrip_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        // Every character that needs escaping shares one row; NUL, multi-byte and empty texts
        // each have their own.
        QTest::newRow("quotes, backslashes, controls, JSON")
            << QByteArray("say \"hi\" C:\\dir a\nb \x01 {\"a\":1}")
            << QByteArray("\"quoted\" \\n is no newline a\tb\r\nc \x1f\x7f [1, 2]");
        QTest::newRow("NUL inside") << QByteArray("k") << QByteArray("a\0b", 3);
        QTest::newRow("unicode up to U+10FFFF")
            << QByteArray("schlüssel") << QByteArray("日本語 🙂 \xF4\x8F\xBF\xBF");
        QTest::newRow("empty key and value") << QByteArray("") << QByteArray("");
    }
    void oddTextsRoundTrip() {
        // Catches texts that are escaped wrongly on the way to the file or back, or lost keys.
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        SettingsStore store = Store();
        QCOMPARE(Q(store.Set("earlier", "1")), QString());
        QCOMPARE(Q(store.Set(Text(key), Text(value))), QString());
        SettingsStore reloaded = Store();
        QCOMPARE(Q(reloaded.Load()), QString());
        std::string read;
        QVERIFY(reloaded.Get(Text(key), &read));
        QCOMPARE(QByteArray::fromStdString(read), value);
        QVERIFY(reloaded.Get("earlier", nullptr));
    }

    void invalidUtf8IsRejected_data() {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("lone continuation byte") << QByteArray("\x80");
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF");
        QTest::newRow("surrogate half") << QByteArray("\xED\xA0\x80");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80");
        QTest::newRow("cut-off sequence") << QByteArray("ab\xE2\x82");
        QTest::newRow("byte FF") << QByteArray("\xFF");
    }
    void invalidUtf8IsRejected() {
        // Catches bytes the JSON writer cannot store being accepted, which breaks every later save.
        QFETCH(QByteArray, bad);
        SettingsStore store = Store();
        QCOMPARE(Q(store.Set("kept", "1")), QString());
        const QByteArray before = Read(mPath);
        QVERIFY(Q(store.Set(Text(bad), "v")).contains("UTF-8"));
        QVERIFY(Q(store.Set("k", Text(bad))).contains("UTF-8"));
        QVERIFY(!store.Get(Text(bad), nullptr));
        QVERIFY(!store.Get("k", nullptr));
        QCOMPARE(Read(mPath), before);
    }

    void failedWriteKeepsOldFile_data() {
        QTest::addColumn<int>("breakage");
        QTest::newRow("stopped part-way") << int(StoppedMidWrite);
        QTest::newRow("folder in place of the file") << int(FolderInPlace);
        QTest::newRow("read-only folder") << int(ReadOnlyFolder);
        QTest::newRow("read-only file") << int(ReadOnlyFile);
    }
    void failedWriteKeepsOldFile() {
        // Catches a failed write that leaves a half-written or temporary file, or loses the value.
        QFETCH(int, breakage);
        if (breakage == ReadOnlyFolder && geteuid() == 0)
            QSKIP("root writes into read-only folders");
        SettingsStore store = Store();
        QCOMPARE(Q(store.Set("old", "1")), QString());
        QByteArray before = Read(mPath);
        std::string value = "v";
        std::optional<FileSizeLimit> limit;
        if (breakage == StoppedMidWrite) {
            value.assign(65536, 'x');
            limit.emplace(static_cast<rlim_t>(before.size() + 100));
        } else if (breakage == FolderInPlace) {
            QVERIFY(QFile::remove(mPath) && QDir().mkpath(mPath + "/inner"));
            before.clear();
        } else if (breakage == ReadOnlyFolder) {
            chmod(qPrintable(mEnv->path()), 0555);
        } else {
            chmod(qPrintable(mPath), 0444);
        }
        const QString reason = Q(store.Set("new", value));
        limit.reset();
        chmod(qPrintable(mEnv->path()), 0755);
        if (breakage == ReadOnlyFile) chmod(qPrintable(mPath), 0644);

        QVERIFY2(reason.contains(mPath), qPrintable(reason));
        QCOMPARE(QFileInfo(mPath).isDir(), breakage == FolderInPlace);
        QCOMPARE(Read(mPath), before);
        const QStringList files = QDir(mEnv->path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files, breakage == FolderInPlace ? QStringList() : QStringList{"settings.json"});
        std::string kept;
        QVERIFY(store.Get("new", &kept) && kept == value);

        if (breakage == FolderInPlace) QVERIFY(QDir(mPath).removeRecursively());
        QCOMPARE(Q(store.Set("later", "2")), QString());
        SettingsStore reloaded = Store();
        reloaded.Load();
        QVERIFY(reloaded.Get("new", &kept) && kept == value);
    }

    void defaultPathFollowsEnvironment_data() {
        QTest::addColumn<QByteArray>("explicitFile");
        QTest::addColumn<QByteArray>("xdgConfig");
        QTest::addColumn<QString>("expected");
        QTest::newRow("explicit file")
            << QByteArray("/s/set.json") << QByteArray("/x") << "/s/set.json";
        QTest::newRow("XDG config")
            << QByteArray() << QByteArray("/x/") << "/x/mosswick/settings.json";
        QTest::newRow("home") << QByteArray() << QByteArray()
                              << "/h/.config/mosswick/settings.json";
        QTest::newRow("relative XDG ignored")
            << QByteArray() << QByteArray("rel") << "/h/.config/mosswick/settings.json";
    }
    void defaultPathFollowsEnvironment() {
        // Catches the settings file looked for in the wrong place, or an XDG rule broken.
        QFETCH(QByteArray, explicitFile);
        QFETCH(QByteArray, xdgConfig);
        QFETCH(QString, expected);
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", "/h");
        SetOrUnset("VORN_SETTINGS", explicitFile);
        SetOrUnset("XDG_CONFIG_HOME", xdgConfig);
        const QString path = Q(SettingsStore::DefaultPath());
        qputenv("HOME", home);
        QCOMPARE(path, expected);
    }
};

QTEST_GUILESS_MAIN(TstSettingsStore)
#include "tst_settings_store.moc"
