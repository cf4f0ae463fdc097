#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include "vorn/object.h"

class QAction;
class QMenu;
class QMenuBar;
class TScriptHost;

// The macro menus: scripts found below the macro directory become menu entries, tool buttons
// and context-menu entries; scripts reach the object as app.macro.
class Macro final : public VnStaticObject<IRoot> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }

    // Makes one top-level menu per folder of the macro directory, inserted at `index`.
    void BuildTopMenus(QMenuBar* root, int index);
    // Fills `menu` from `folder` (empty: the macro directory).
    void BuildMenu(QMenu* menu, QString folder);
    // Fills `menu` with the entries registered under `key` by "#ctx" lines.
    void BuildContextMenu(QMenu* menu, const QString& key);
    void RunScriptIndex(int tag);
    void RunScriptFile(const QString& path);
    // The host that runs the scripts; none while there is no host.
    void SetHost(TScriptHost* host) { mHost = host; }
    // Hands a key to the keypreview callable; true when it took the key.
    bool PreviewKey(int virtualKey, bool shift, bool ctrl, bool alt);
    bool HasKeyPreview() const { return keypreview != nullptr; }
    void Clear();

    // Script members: their offsets are in the member table.
    char currentScript[260] = {};
    PyObject* keypreview = nullptr;

    QStringList ScriptList;  // full paths; the index is the tag of every entry that runs it
    QHash<QString, QList<QPointer<QAction>>> ContextTable;  // lower-case key -> entries
    QString PopupFolder = "none";

private:
    // One pass over a folder tree: where it may go and the folders it has entered.
    struct Walk {
        QString root;           // canonical; nothing outside it is entered
        QSet<QString> entered;  // canonical paths, so no folder is entered twice
    };

    // The tag of a script; `raw` holds the path's bytes when the name is not UTF-8.
    int IndexOf(const QString& path, const QByteArray& raw);
    void FillMenu(QMenu* menu, const QString& dir, int depth, Walk& walk);
    void AddScript(QMenu* menu, const QString& path, const QByteArray& raw, const QString& caption);
    // Stores the script's name for app.macro.currentScript, cut to whole characters.
    void SetCurrentScript(const QString& path);
    void Register(const QString& key, QAction* entry, int tag);
    // Drops the entries of menus that are gone from the context table.
    void PruneContextTable();

    TScriptHost* mHost = nullptr;
    QList<QPointer<QMenu>> mTopMenus;  // made by BuildTopMenus; replaced when it runs again
    QHash<QString, int> mScriptIndex;  // case-folded path -> its index in ScriptList
    // Scripts whose names are not UTF-8: ScriptList shows them with U+FFFD, these run them.
    QHash<QByteArray, int> mRawTags;                             // path bytes -> tag
    QHash<int, QByteArray> mRawPaths;                            // tag -> path bytes
    QHash<QString, QHash<int, QPointer<QAction>>> mContextTags;  // key -> tag -> its entry
};

Macro& TheMacro();
