#include "script/macro.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

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

void RegisterMacroObject(PyObject* appModule) {
    static const bool registered = VnOS->RegisterClass({Macro::Type(), nullptr});
    (void)registered;
    PyRef wrapper = PyRef::Steal(PyOS->Wrap(&gMacro, -1));
    if (!appModule || !wrapper ||
        PyDict_SetItemString(PyModule_GetDict(appModule), "macro", wrapper.get()))
        PyOS->ReportError(0);
}

int Macro::IndexOf(const QString& path) {
    if (mScriptIndex.size() != ScriptList.size()) {  // the list was changed from outside
        mScriptIndex.clear();
        for (int i = 0; i < ScriptList.size(); ++i)
            mScriptIndex.insert(ScriptList[i].toCaseFolded(), i);
    }
    // paths compare without case, as they always have: one script has one tag
    const QString key = path.toCaseFolded();
    const auto known = mScriptIndex.constFind(key);
    if (known != mScriptIndex.constEnd()) return known.value();
    ScriptList.append(path);
    mScriptIndex.insert(key, int(ScriptList.size()) - 1);
    return int(ScriptList.size()) - 1;
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
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (entry.isDir()) {
            if (name == "PopupMenu" || !entry.isReadable()) continue;
            QMenu* sub = menu->addMenu("&" + name);
            FillMenu(sub, entry.absoluteFilePath(), depth + 1, walk);
        } else if (name.endsWith(".py") && name.size() > 3) {
            AddScript(menu, entry.absoluteFilePath(), name.chopped(3));
        }
    }
}

void Macro::AddScript(QMenu* menu, const QString& path, const QString& name) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    QByteArray head = file.read(kHeadBytes);
    // a line cut at the limit is not read: its key would be wrong
    if (head.size() == kHeadBytes && !file.atEnd()) head.truncate(head.lastIndexOf('\n') + 1);
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);

    const int tag = IndexOf(path);
    auto* entry = new QAction("&" + name, menu);
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
    if (tag >= 0 && tag < ScriptList.size()) RunScriptFile(ScriptList[tag]);
}

void Macro::RunScriptFile(const QString& path) {
    QByteArray name = path.toUtf8();
    int length = std::min<int>(name.size(), sizeof(currentScript) - 1);
    while (length > 0 && length < name.size() && (name[length] & 0xC0) == 0x80)
        --length;  // never cut a character in two
    std::memcpy(currentScript, name.constData(), length);
    currentScript[length] = 0;
    if (mHost) mHost->RunScriptFile(path);
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
    ContextTable.clear();
    mContextTags.clear();
    PopupFolder = "none";
}
