#include "editors/tm_vorn_pick.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>
#include <map>

#include "core/class_id.h"
#include "editors/member_edit.h"
#include "editors/row_editor.h"
#include "platform/fixed_layout.h"
#include "shell/ioutput.h"
#include "vorn/os.h"
#include "vorn/rot.h"

namespace {

// What a line of the list stands for.
enum Role { kKindRole = Qt::UserRole, kIndexRole };
enum Kind { kNone, kRegistered, kNewObject };

bool Answers(IRoot* object, const VnIID* iid) {
    if (!iid) return true;
    void* answer = nullptr;
    if (!object->QueryInterface(*iid, &answer, 1)) return false;
    static_cast<IRoot*>(answer)->Release();
    return true;
}

QString MonikerOf(IRoot* object) {
    const VnROTEntry* entry = VnROT->EntryOf(object);
    if (!entry) return {};
    QString text = QString::fromUtf8(entry->scheme) + "/" + QString::fromUtf8(entry->name);
    if (entry->ext && *entry->ext) text += "." + QString::fromUtf8(entry->ext);
    return text;
}

// "kalix.KxMaterial IKxMaterial 1": a class and an interface, as the answers are kept.
QByteArray OfferKey(const QByteArray& classId, const VnIID& iid) {
    const QByteArray name(iid.name, static_cast<int>(strnlen(iid.name, sizeof iid.name)));
    return classId + ' ' + name + ' ' + QByteArray::number(iid.version);
}

QListWidgetItem* AddLine(QListWidget* list, const QString& text, Kind kind, int index) {
    auto* item = new QListWidgetItem(text, list);
    item->setData(kKindRole, kind);
    item->setData(kIndexRole, index);
    return item;
}

}  // namespace

TmVornPick::TmVornPick(QWidget* parent) : QDialog(parent) {
    setObjectName("mVornPick");
    setWindowTitle("Pick an object");
    auto* column = new QVBoxLayout(this);
    mNote = new QLabel(this);
    mNote->setObjectName("mNote");
    mNote->setWordWrap(true);
    mFilter = new QLineEdit(this);
    mFilter->setObjectName("mFilter");
    mFilter->setPlaceholderText("Filter");
    mFilter->setClearButtonEnabled(true);
    mObjects = new QListWidget(this);
    mObjects->setObjectName("mObjects");
    QHBoxLayout* buttons = mw::OkCancelRow(this, &mOK, &mCancel);
    column->addWidget(mNote);
    column->addWidget(mFilter);
    column->addWidget(mObjects, 1);
    column->addLayout(buttons);
    resize(320, 360);
    setTabOrder(mFilter, mObjects);
    connect(mFilter, &QLineEdit::textChanged, this, &TmVornPick::ApplyFilter);
    connect(mObjects, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

bool TmVornPick::Run(TMemberEdit& edit) {
    Prepare(edit);
    const bool stored =
        edit.Kit().RunModal(*this) == QDialog::Accepted && edit.Value().value && StoreChoice(edit);
    Finish();
    return stored;
}

void TmVornPick::Prepare(const TMemberEdit& edit) {
    const mw::MemberValue& value = edit.Value();
    const bool embedded = value.desc->type == kVnObject;
    mFilter->clear();
    mFilter->setVisible(!embedded);
    mObjects->setVisible(!embedded);
    mNote->setText(embedded ? "This object is part of its owner and cannot be replaced."
                            : "Choose what the member holds.");
    if (!embedded) Fill(value, edit.Kit());
    (embedded ? static_cast<QWidget*>(mOK) : static_cast<QWidget*>(mFilter))->setFocus();
}

void TmVornPick::Finish() {
    mObjects->clear();
    mShown.clear();
}

void TmVornPick::Fill(const mw::MemberValue& value, TEditorKit& kit) {
    mObjects->clear();
    mShown.clear();
    const VnIID* iid = mw::RequiredInterface(value.desc);
    IRoot* held = mw::MemberObject(value);
    VnRef<IRoot> heldIdentity = VnQuery<IRoot>(held, 1);
    QListWidgetItem* current = AddLine(mObjects, "(none)", kNone, -1);
    if (VnRef<IList> table = VnQuery<IList>(VnROT, 1)) {
        for (int i = 0, n = table->GetCount(); i < n; ++i) {
            IRoot* object = table->GetItem(i);
            if (!object || !Answers(object, iid)) continue;
            mShown.emplace_back(object);
            QListWidgetItem* item = AddLine(mObjects, MonikerOf(object), kRegistered,
                                            static_cast<int>(mShown.size()) - 1);
            VnRef<IRoot> identity = VnQuery<IRoot>(object, 1);
            if (identity && identity.get() == heldIdentity.get()) current = item;
        }
    }
    for (int i = 0; i < mClasses.size(); ++i)
        if (Offers(kit, mClasses[i], iid)) AddLine(mObjects, "New " + mClasses[i], kNewObject, i);
    if (held && current->data(kKindRole).toInt() == kNone) current = nullptr;  // not listed
    mObjects->setCurrentItem(current);
}

// A current line the filter hides, or "(none)" while the filter names something, gives way to
// the first line that matches, so that Enter in the filter picks what the user sees.
void TmVornPick::ApplyFilter(const QString& text) {
    QListWidgetItem* firstMatch = nullptr;
    for (int i = 0; i < mObjects->count(); ++i) {
        QListWidgetItem* item = mObjects->item(i);
        const bool none = item->data(kKindRole).toInt() == kNone;
        item->setHidden(!none && !item->text().contains(text, Qt::CaseInsensitive));
        if (!none && !item->isHidden() && !firstMatch) firstMatch = item;
    }
    const QListWidgetItem* current = mObjects->currentItem();
    const bool none = current && current->data(kKindRole).toInt() == kNone;
    if (current && !current->isHidden() && !(none && !text.isEmpty() && firstMatch)) return;
    mObjects->setCurrentItem(firstMatch ? firstMatch : mObjects->item(0));
}

bool TmVornPick::StoreChoice(TMemberEdit& edit) {
    if (edit.Value().desc->type == kVnObject) return false;  // embedded: only shown
    const QListWidgetItem* item = mObjects->currentItem();
    if (!item || item->isHidden()) return false;
    const int index = item->data(kIndexRole).toInt();
    VnRef<IRoot> object;
    switch (item->data(kKindRole).toInt()) {
        case kNone:
            break;
        case kRegistered:
            object = mShown[static_cast<std::size_t>(index)];
            break;
        default: {
            VnCLSID clsid{};
            void* made = nullptr;
            const QByteArray text = mClasses[index].toUtf8();
            if (!mw::ParseClassId(text.constData(), &clsid) ||
                !VnOS->CreateInstance(clsid, IID_IRoot, &made)) {
                edit.Kit().Output().RefreshErrors();
                return false;
            }
            object = VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
        }
    }
    // refused when the object lacks the member's interface
    return edit.Apply([&object](const mw::MemberValue& value) {
        return mw::StoreMemberObject(value, object.get());
    });
}

bool TmVornPick::Offers(TEditorKit& kit, const QString& classId, const VnIID* iid) {
    if (!iid) return true;
    static std::map<QByteArray, bool> known;
    const QByteArray text = classId.toUtf8();
    const QByteArray key = OfferKey(text, *iid);
    if (auto found = known.find(key); found != known.end()) return found->second;
    known[key] = false;  // until the probe answers; a failure is logged only this once
    VnCLSID clsid{};
    void* made = nullptr;
    if (!mw::ParseClassId(text.constData(), &clsid) ||
        !VnOS->CreateInstance(clsid, IID_IRoot, &made)) {
        kit.Output().RefreshErrors();
        return false;
    }
    VnRef<IRoot> probe = VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
    const bool answers = Answers(probe.get(), iid);
    known[key] = answers;
    // its end may run a script: the probe goes once the browser's work is over
    kit.Work().Retire(std::make_unique<VnRef<IRoot>>(std::move(probe)));
    return answers;
}
