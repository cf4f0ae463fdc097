#include "browser/object_actions.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QTextStream>

#include "browser/browser_model.h"
#include "browser/browser_rules.h"
#include "browser/node_slots.h"
#include "browser/tm_obj_property_dlg.h"
#include "browser/tm_vorn_browser.h"
#include "browser/tree_panel.h"
#include "core/class_id.h"
#include "core/member_ref.h"
#include "core/vorn_string.h"
#include "editors/browser_work.h"
#include "editors/member_edit.h"
#include "editors/row_editor.h"
#include "editors/tm_vorn_pick.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "shell/images.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/rot.h"

using browser::PointerSlot;
using browser::StorageOwner;

namespace {

// "material of light1": what a step changed, as the tree names it.
QString MemberTitle(const TBrowserNode* node) {
    return QString("%1 of %2")
        .arg(QString::fromUtf8(node->value.desc->name),
             TEditHistory::ObjectTitle(StorageOwner(node)));
}

// The pointer member a node shows, as an edit writes it: its storage lives in the object the
// node keeps; the object of the node above is told of changes when the member asks for that.
TMemberTarget PointerTarget(const TBrowserNode* node) {
    TMemberTarget target{node->value, VnRef<IRoot>(StorageOwner(node)), {}};
    const TBrowserNode* parent = node->parent;
    IRoot* owner = parent && parent->HasData() ? TBrowserModel::NodeObject(parent) : nullptr;
    if (owner && (node->value.desc->editflags & kVnEditNotify))
        target.notify = VnQuery<INotify>(owner, 1);
    return target;
}

}  // namespace

TObjectActions::TObjectActions(TmVornBrowser& form, const QString& classList)
    : QObject(&form), mForm(form) {
    BuildActions();
    LoadClassList(classList);
}

TObjectActions::~TObjectActions() { delete mDlgSave; }

void TObjectActions::BuildActions() {
    mIRootNewObject =
        mForm.AddAction("mIRootNewObject", "IRootRef", "&New Object", {}, mw::images::kNew);
    mIRootClear = mForm.AddAction("mIRootClear", "IRootRef", "&Clear", QKeySequence(Qt::Key_Delete),
                                  mw::images::kNew);
    mIRootFindInROT = mForm.AddAction("mIRootFindInROT", "IRootRef", "&Find in ROT",
                                      QKeySequence("Ctrl+F"), mw::images::kNew);
    mIRootProperties = mForm.AddAction("mIRootProperties", "IRoot", "&Properties",
                                       QKeySequence("Alt+Return"), mw::images::kConfigure);
    mIRootBranch = mForm.AddAction("mIRootBranch", "IRootRef", "&Branch", {}, -1);
    mIRootShare = mForm.AddAction("mIRootShare", "IRootRef", "&Share...", {}, -1);
    mIRootAssign = mForm.AddAction("mIRootAssign", "IRootRef", "&Assign...", {}, -1);
    // F2 and Enter on the tree reach it through the tree's event filter: as shortcuts they would
    // take Enter from the filter line
    mChangeObject = new QAction("C&hange Object...", &mForm.TreePanel());
    mChangeObject->setObjectName("mChangeObject");
    mChangeObject->setShortcut(QKeySequence(Qt::Key_F2));  // shown only
    mChangeObject->setShortcutContext(Qt::WidgetShortcut);
    connect(mChangeObject, &QAction::triggered, this,
            [this] { mForm.RunWork([this] { ChangeObject(); }); });
    for (auto [action, which] : {std::pair{mIRootProperties, IRootAction::Properties},
                                 {mIRootNewObject, IRootAction::NewObject},
                                 {mIRootClear, IRootAction::Clear},
                                 {mIRootFindInROT, IRootAction::FindInROT},
                                 {mIRootBranch, IRootAction::Branch},
                                 {mIRootShare, IRootAction::Share},
                                 {mIRootAssign, IRootAction::Assign}})
        connect(action, &QAction::triggered, this,
                [this, which = which] { mForm.RunWork([this, which] { OnIRootAction(which); }); });
}

QFileDialog& TObjectActions::SaveDialog() {
    if (!mDlgSave) {
        mDlgSave = mw::NewFileDialog(mForm.Shell().DialogParent(), "mDlgSave",
                                     "Vorn Files (*.vorn);;All Files (*)", mw::FileChoice::Save);
        mDlgSave->setWindowTitle("Branch Object As...");
        mDlgSave->setDefaultSuffix("vorn");
        mDlgSave->setOption(QFileDialog::DontConfirmOverwrite);  // an existing file is refused
    }
    return *mDlgSave;
}

void TObjectActions::LoadClassList(const QString& path) {
    if (!QFileInfo::exists(path)) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        mw::ShowMessageBox(nullptr, file.errorString(), "Couldn't load classlist.txt",
                           mw::kMbIconError);
        return;
    }
    QTextStream lines(&file);
    while (!lines.atEnd()) mClassList << lines.readLine();
}

void TObjectActions::AddPopupEntries(QMenu* popup, QAction* copyPythonPath) {
    mNewObjectMenu = new QMenu("&New Object", popup);
    mNewObjectMenu->setObjectName("mNewObject");
    mNewObjectMenu->menuAction()->setIcon(mIRootNewObject->icon());
    mNewObjectMenu->menuAction()->setProperty("image", mw::images::kNew);
    popup->addAction(mChangeObject);
    popup->addMenu(mNewObjectMenu);
    popup->addAction(mIRootClear);
    popup->addAction(mIRootFindInROT);
    popup->addAction(copyPythonPath);
    BuildNewObjectMenu();
}

void TObjectActions::AddClosingEntries(QMenu* popup) {
    popup->addAction(mIRootProperties);
    popup->addAction(mIRootBranch);
    mIRootBranch->setVisible(false);
}

void TObjectActions::BuildNewObjectMenu() {
    for (int i = 0; i < mClassList.size(); ++i)
        connect(mNewObjectMenu->addAction(mClassList[i]), &QAction::triggered, this,
                [this, i] { mForm.RunWork([this, i] { NewObjectClick(i); }); });
    mNewObjectMenu->menuAction()->setVisible(!mClassList.isEmpty());
    connect(mNewObjectMenu, &QMenu::aboutToShow, this, [this] {
        TBrowserWork::Scope work(mForm.Kit().Work());  // the menu shows now, or not at all
        OfferSuitingClasses();
    });
}

void TObjectActions::OfferSuitingClasses() {
    const TBrowserNode* node = mForm.Selected();
    if (!PointerSlot(node)) return;
    const VnIID* iid = mw::RequiredInterface(node->value.desc);
    const QList<QAction*> entries = mNewObjectMenu->actions();
    for (int i = 0; i < entries.size() && i < mClassList.size(); ++i)
        entries[i]->setVisible(TmVornPick::Offers(mForm.Kit(), mClassList[i], iid));
}

void TObjectActions::UpdateEnabling(const TBrowserNode* node) {
    const bool hasData = node && node->HasData();
    const uint32_t type = hasData ? node->value.desc->type : 0;
    IRoot* object = hasData ? TBrowserModel::NodeObject(node) : nullptr;
    mIRootProperties->setEnabled(type == kVnObject || type == kVnObjectRef);
    mIRootNewObject->setEnabled(type == kVnObjectRef);
    mChangeObject->setEnabled(type == kVnObjectRef && StorageOwner(node));
    mNewObjectMenu->setEnabled(type == kVnObjectRef);
    mIRootClear->setEnabled(type == kVnObjectRef);
    mIRootFindInROT->setEnabled(type == kVnObjectRef && object);
}

// --- the actions -----------------------------------------------------------------------------

// The object picker for the pointer member the selected node shows, as the grid's pointer rows
// open it: the choice is stored, the owner told and the step recorded by one member edit.
void TObjectActions::ChangeObject() {
    const TBrowserNode* node = mForm.Selected();
    if (!PointerSlot(node) || !StorageOwner(node)) return;  // the root's slot is the browser's
    auto* picker = mForm.Kit().FormOf<TmVornPick>();
    if (!picker) return;
    const QPersistentModelIndex at(mForm.Model().IndexOf(node));
    {
        // the edit keeps the member's storage alive while the picker shows
        TMemberEdit edit(mForm.Kit(), PointerTarget(node), true);
        picker->Run(edit);
    }
    // the node shows what the member holds now: built again when it was open
    TBrowserNode* shown = mForm.Model().NodeOf(at);
    if (shown && shown->expanded) mForm.TreePanel().ShowAnew(shown);
    mForm.ActionDone();
}

void TObjectActions::NewObjectClick(int line) {
    const TBrowserNode* node = mForm.Selected();
    if (!PointerSlot(node) || line < 0 || line >= mClassList.size()) return;
    VnCLSID clsid{};
    void* made = nullptr;
    const QByteArray text = mClassList[line].toUtf8();
    if (!mw::ParseClassId(text.constData(), &clsid) ||
        !VnOS->CreateInstance(clsid, IID_IRoot, &made)) {
        mForm.Output().RefreshErrors();
        return;
    }
    VnRef<IRoot> object = VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
    if (StoreInPointer(node, object.get(), "New object in ")) mForm.ActionDone();
}

bool TObjectActions::StoreInPointer(const TBrowserNode* node, IRoot* object, const QString& step) {
    TMemberEdit edit(mForm.Kit(), PointerTarget(node), true);
    // refused, with the runtime's error, when the object lacks the member's interface
    return edit.Apply(
        [object](const mw::MemberValue& value) { return mw::StoreMemberObject(value, object); },
        step + MemberTitle(node));
}

void TObjectActions::OnIRootAction(IRootAction action) {
    const TBrowserNode* node = mForm.Selected();
    if (!node || !node->HasData()) return;
    switch (action) {
        case IRootAction::Properties:
            ShowProperties(node);
            break;
        case IRootAction::Clear:
            if (PointerSlot(node)) StoreInPointer(node, nullptr, "Clear ");
            break;
        case IRootAction::FindInROT:
            FindInRot(node);
            return;
        case IRootAction::Branch:
            Branch(node);
            return;
        case IRootAction::NewObject:
        case IRootAction::Share:
        case IRootAction::Assign:
            break;
    }
    mForm.ActionDone();
}

void TObjectActions::ShowProperties(const TBrowserNode* node) {
    TmObjPropertyDlg* properties = mForm.Properties();
    if (!properties) return;
    // what the value lives in stays while the dialog shows, whatever scripts do
    const VnRef<IRoot> keep = node->keep;
    const PyRef keepPython = node->keepPython;
    const mw::MemberValue value = node->value;
    TBrowserWork::Open open(mForm.Kit().Work());
    properties->Run(value);
}

void TObjectActions::Branch(const TBrowserNode* node) {
    IRoot* object = TBrowserModel::NodeObject(node);
    if (!object) return;
    VnRef<IRoot> keep(object);  // the dialog runs the event loop: scripts may let go meanwhile
    const bool pointer = node->value.desc->type == kVnObjectRef;
    const QPersistentModelIndex at(mForm.Model().IndexOf(node));
    QFileDialog& dialog = SaveDialog();
    dialog.setDirectory(QString::fromUtf8(VnOS->GetPath(kVnPathResource)));
    QString name = browser::NameOf(object);
    dialog.selectFile(name.isEmpty() ? QString::fromStdString(mw::ClassName(object)) : name);
    {
        TBrowserWork::Open open(mForm.Kit().Work());  // scripts may browse while it shows
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    }
    const QString file = dialog.selectedFiles().first();
    if (QFileInfo::exists(file)) {
        TBrowserWork::Open open(mForm.Kit().Work());
        mw::ShowMessageBox(mForm.Shell().DialogParent(), "File already exists!", "Cannot Branch",
                           mw::kMbIconWarning);
        return;
    }
    char* moniker = nullptr;
    if (!VnROT->PathToMoniker(file.toUtf8().constData(), &moniker)) {
        mForm.Output().RefreshErrors();
        return;
    }
    mw::VornString held;
    held.adopt(moniker);
    IRoot* copy = nullptr;
    if (!VnROT->Branch(object, &copy, held.c_str(), 0)) {
        mForm.Output().RefreshErrors();
        return;
    }
    VnRef<IRoot> branched = VnRef<IRoot>::Adopt(copy);  // the member keeps what it held
    node = mForm.Model().NodeOf(at);  // looked up again: a script may have rebuilt the tree
    if (pointer && node && node == mForm.Selected())
        PointerTarget(node).Announce(mForm.Kit().History());
    mForm.RefreshSelection();
}

void TObjectActions::FindInRot(const TBrowserNode* node) {
    VnRef<IRoot> wanted(TBrowserModel::NodeObject(node));
    if (!wanted || !VnROT->EntryOf(wanted.get())) {
        mForm.Shell().SetStatusText(0, "The object is not registered in the running object table");
        return;
    }
    mForm.Reveal(wanted.get(), nullptr);  // its own entry is the shortest way to it
}
