#include "script/macro.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "script/script_host.h"
#include "vorn/py_ref.h"
#include "vorn/pyos.h"

namespace {

const VnCLSID kMacroClass = VnMakeCLSID("app", "Macro", 1);
constexpr qint64 kHeadBytes = 64 * 1024;  // hint and "#ctx" lines are looked for only here
constexpr int kMaxDepth = 32;  // folders deeper than this below a menu's folder stay empty

VnMemberDescriptor gMacroMembers[] = {
    {"currentScript",
     kVnString,
     0,
     260,
     nullptr,
     "Name of currently executing script",
     kVnEditOwnDescriptor,
     nullptr,
     {}},
    {"keypreview",
     kVnPythonRef,
     0,
     sizeof(PyObject*),
     nullptr,
     "Key previewer",
     kVnEditOwnDescriptor | kVnEditable,
     nullptr,
     {}},
    {},
};

Macro gMacro;

// The captions of the menus above `menu`, outermost first, each followed by one blank.
QString AncestorCaptions(QMenu* menu) {
    QString text;
    for (QMenu* m = menu; m; m = qobject_cast<QMenu*>(m->parentWidget()))
        text.prepend(m->title() + " ");
    return " " + text;  // the invisible root's caption is empty
}

// Whether the canonical path `path` is the folder `root` or lies below it.
bool Within(const QString& path, const QString& root) {
    if (path.isEmpty() || root.isEmpty()) return false;
    return path == root || path.startsWith(root.endsWith('/') ? root : root + '/');
}

// One entry of a folder: its name as menus show it and as the file system holds it.
struct FolderEntry {
    QString name;    // bytes that are not UTF-8 read as U+FFFD
    QByteArray raw;  // the name's own bytes
    bool folder = false;
    bool readable = false;
};

// The folders and regular files in `dir` (through links) in name order, each with its own bytes.
QList<FolderEntry> ListFolder(const QString& dir) {
    QList<FolderEntry> list;
    const QByteArray base = QFile::encodeName(dir) + '/';
    DIR* handle = opendir(base.constData());
    if (!handle) return list;
    while (const dirent* d = readdir(handle)) {
        const QByteArray raw(d->d_name);
        if (raw == "." || raw == "..") continue;
        struct stat st {};
        if (stat((base + raw).constData(), &st) != 0) continue;
        FolderEntry entry{QString::fromUtf8(raw), raw, S_ISDIR(st.st_mode), false};
        if (!entry.folder && !S_ISREG(st.st_mode)) continue;  // a pipe or a device is no script
        entry.readable = access((base + raw).constData(), R_OK) == 0;
        list.append(entry);
    }
    closedir(handle);
    std::sort(list.begin(), list.end(), [](const FolderEntry& a, const FolderEntry& b) {
        const int order = a.name.compare(b.name);
        return order != 0 ? order < 0 : a.raw < b.raw;
    });
    return list;
}

void ConnectRun(QAction* entry, int tag) {
    QObject::connect(entry, &QAction::triggered, entry, [tag] { TheMacro().RunScriptIndex(tag); });
}

}  // namespace

Macro& TheMacro() { return gMacro; }

const VnTypeInfo* Macro::Type() {
    static const VnTypeInfo* type = [] {
        char* start = reinterpret_cast<char*>(static_cast<IRoot*>(&gMacro));
        gMacroMembers[0].offset = static_cast<int32_t>(gMacro.currentScript - start);
        gMacroMembers[1].offset =
            static_cast<int32_t>(reinterpret_cast<char*>(&gMacro.keypreview) - start);
        static const VnTypeInfo info = {&kMacroClass,
                                        "The macro menus",
                                        Macro::Interfaces(),
                                        gMacroMembers,
                                        nullptr,
                                        nullptr,
                                        0};
        return &info;
    }();
    return type;
}

int Macro::IndexOf(const QString& path, const QByteArray& raw) {
    if (mScriptIndex.size() + mRawTags.size() != ScriptList.size()) {  // changed from outside
        mScriptIndex.clear();
        mRawTags.clear();
        mRawPaths.clear();
        for (int i = 0; i < ScriptList.size(); ++i)
            mScriptIndex.insert(ScriptList[i].toCaseFolded(), i);
    }
    const int next = int(ScriptList.size());
    if (!raw.isEmpty()) {  // such names differ only in their bytes, so the bytes are the key
        const int tag = mRawTags.value(raw, next);
        if (tag == next) {
            ScriptList.append(path);
            mRawTags.insert(raw, tag);
            mRawPaths.insert(tag, raw);
        }
        return tag;
    }
    // paths compare without case, as they always have: one script has one tag
    const QString key = path.toCaseFolded();
    const auto known = mScriptIndex.constFind(key);
    if (known != mScriptIndex.constEnd()) return known.value();
    ScriptList.append(path);
    mScriptIndex.insert(key, next);
    return next;
}

void Macro::BuildTopMenus(QMenuBar* root, int index) {
    for (const QPointer<QMenu>& menu : mTopMenus) delete menu.data();
    mTopMenus.clear();
    PopupFolder = "none";
    const QString base = QString::fromUtf8(VnOS->GetPath(kVnPathMacro));
    const QStringList folders = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : folders) {
        if (name == "PopupMenu") {
            PopupFolder = base + "PopupMenu/";
            continue;
        }
        auto* menu = new QMenu("&" + name, root);
        // each goes in at `index`, so later folders stand in front of earlier ones
        root->insertMenu(root->actions().value(index), menu);
        mTopMenus.append(menu);
        BuildMenu(menu, base + name);
    }
}

void Macro::BuildMenu(QMenu* menu, QString folder) {
    const QString macros = QDir::cleanPath(QString::fromUtf8(VnOS->GetPath(kVnPathMacro)));
    folder = folder.isEmpty() ? macros : QDir::cleanPath(folder);
    // a folder of the macro directory never leads out of it; any other stays within itself
    const bool below = folder == macros || folder.startsWith(macros + '/');
    Walk walk{QFileInfo(below ? macros : folder).canonicalFilePath(), {}};
    FillMenu(menu, folder, 0, walk);
    PruneContextTable();
}

void Macro::FillMenu(QMenu* menu, const QString& dir, int depth, Walk& walk) {
    // submenus made by an earlier pass go with their entries
    QList<QMenu*> old;
    for (QAction* a : menu->actions())
        if (a->menu() && a->menu()->parent() == menu) old.append(a->menu());
    menu->clear();
    qDeleteAll(old);
    // a link is followed only within the tree and only to a folder not entered yet
    const QString real = QFileInfo(dir).canonicalFilePath();
    if (depth > kMaxDepth || !Within(real, walk.root) || walk.entered.contains(real)) return;
    walk.entered.insert(real);
    const QString absolute = QDir(dir).absolutePath();
    for (const FolderEntry& entry : ListFolder(absolute)) {
        const QString path = absolute + '/' + entry.name;
        if (entry.folder) {
            // hidden folders (".git" and the like) are no menus
            if (entry.name == "PopupMenu" || entry.name.startsWith('.') || !entry.readable)
                continue;
            QMenu* sub = menu->addMenu("&" + entry.name);
            FillMenu(sub, path, depth + 1, walk);
        } else if (entry.raw.endsWith(".py") &&
                   (!entry.raw.startsWith('.') || entry.raw == ".py")) {
            // hidden scripts stay hidden; one named just ".py" has no other name to hide behind
            // a name that QString cannot give back keeps its bytes, so its entry runs that file
            const bool exact = QFile::encodeName(entry.name) == entry.raw;
            const QString caption = entry.raw == ".py" ? "(.py)" : entry.name.chopped(3);
            AddScript(menu, path,
                      exact ? QByteArray() : QFile::encodeName(absolute) + '/' + entry.raw,
                      caption);
        }
    }
}

void Macro::AddScript(QMenu* menu, const QString& path, const QByteArray& raw,
                      const QString& caption) {
    QFile file;
    const int fd =
        ::open((raw.isEmpty() ? QFile::encodeName(path) : raw).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    QByteArray head = file.read(kHeadBytes);
    // a line cut at the limit is not read: its key would be wrong
    if (head.size() == kHeadBytes && !file.atEnd()) head.truncate(head.lastIndexOf('\n') + 1);
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);

    const int tag = IndexOf(path, raw);
    auto* entry = new QAction("&" + caption, menu);
    entry->setData(tag);
    entry->setProperty("tag", tag);
    const QByteArray first = lines.value(0);
    if (first.size() >= 3 && first.startsWith("\"\"\"") && first.endsWith("\"\"\"")) {
        const QString hint =
            first.size() >= 6 ? QString::fromUtf8(first.mid(3, first.size() - 6)) : QString();
        entry->setStatusTip(hint);
        entry->setToolTip(hint);
    }
    ConnectRun(entry, tag);
    menu->addAction(entry);
    for (const QByteArray& line : lines)
        if (line.startsWith("#ctx ")) Register(QString::fromUtf8(line.mid(5)), entry, tag);
}

void Macro::Register(const QString& key, QAction* entry, int tag) {
    const QString lower = key.toLower();
    QPointer<QAction>& listed = mContextTags[lower][tag];
    if (listed) return;  // a script is listed once per key; entries of rebuilt menus are gone
    listed = entry;
    ContextTable[lower].append(entry);
}

void Macro::PruneContextTable() {
    for (auto it = ContextTable.begin(); it != ContextTable.end();) {
        it->removeAll(QPointer<QAction>());
        it = it->isEmpty() ? ContextTable.erase(it) : std::next(it);
    }
    for (auto it = mContextTags.begin(); it != mContextTags.end();) {
        it->removeIf([](const auto& tag) { return tag.value().isNull(); });
        it = it->isEmpty() ? mContextTags.erase(it) : std::next(it);
    }
}

void Macro::BuildContextMenu(QMenu* menu, const QString& key) {
    menu->clear();
    for (const QPointer<QAction>& source : ContextTable.value(key.toLower())) {
        if (!source) continue;
        const int tag = source->data().toInt();
        auto* entry = new QAction(
            AncestorCaptions(qobject_cast<QMenu*>(source->parent())) + source->text(), menu);
        entry->setData(tag);
        entry->setProperty("tag", tag);
        entry->setStatusTip(source->statusTip());
        entry->setToolTip(source->toolTip());
        ConnectRun(entry, tag);
        menu->addAction(entry);
    }
}

void Macro::RunScriptIndex(int tag) {
    if (tag < 0 || tag >= ScriptList.size()) return;
    const auto raw = mRawPaths.constFind(tag);
    if (raw == mRawPaths.constEnd()) {
        RunScriptFile(ScriptList[tag]);
        return;
    }
    SetCurrentScript(ScriptList[tag]);
    if (mHost) mHost->RunScriptPath(raw.value());
}

void Macro::RunScriptFile(const QString& path) {
    SetCurrentScript(path);
    if (mHost) mHost->RunScriptFile(path);
}

void Macro::SetCurrentScript(const QString& path) {
    QByteArray name = path.toUtf8();
    int length = std::min<int>(name.size(), sizeof(currentScript) - 1);
    while (length > 0 && length < name.size() && (name[length] & 0xC0) == 0x80)
        --length;  // never cut a character in two
    std::memcpy(currentScript, name.constData(), length);
    currentScript[length] = 0;
}

bool Macro::PreviewKey(int virtualKey, bool shift, bool ctrl, bool alt) {
    PyRef hook = PyRef::Borrow(keypreview);  // the call may replace keypreview
    if (!hook || !PyCallable_Check(hook.get())) return false;
    PyRef result = PyRef::Steal(
        PyObject_CallFunction(hook.get(), "(iiii)", virtualKey, int(shift), int(ctrl), int(alt)));
    int truth = result ? PyObject_IsTrue(result.get()) : -1;
    if (truth < 0) {
        PyOS->ReportError(0);
        return false;
    }
    return truth == 1;
}

void Macro::Clear() {
    Py_CLEAR(keypreview);
    ScriptList.clear();
    mScriptIndex.clear();
    mRawTags.clear();
    mRawPaths.clear();
    ContextTable.clear();
    mContextTags.clear();
    PopupFolder = "none";
}
