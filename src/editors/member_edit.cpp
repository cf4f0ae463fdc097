#include "editors/member_edit.h"

#include <cstring>

#include "editors/row_editor.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/os.h"
#include "vorn/ranges.h"
#include "vorn/writers.h"

namespace {

// The last writer of an embedded value's numbers (a colour's r, g, b, a), when any is recorded:
// a script may set them one by one or through the value's methods.
bool LatestNumberWriter(IRoot* owner, const VnMemberDescriptor* member, VnWriter* latest) {
    if (member->type != kVnObject) return false;
    IRoot* value = mw::MemberObject(mw::MemberOf(owner, member));
    bool found = false;
    for (const VnMemberDescriptor* m = value ? value->GetTypeInfo()->members : nullptr;
         m && m->name; ++m) {
        VnWriter writer{};
        if (VnGetWriter(value, m, &writer) && (!found || writer.order > latest->order)) {
            *latest = writer;
            found = true;
        }
    }
    return found;
}

}  // namespace

QString WriterName(IRoot* owner, const VnMemberDescriptor* member, double* time) {
    if (!owner || !member) return {};
    VnWriter writer{};
    const bool direct = VnGetWriter(owner, member, &writer);
    VnWriter numbers{};
    if (LatestNumberWriter(owner, member, &numbers) && (!direct || numbers.order > writer.order))
        writer = numbers;
    else if (!direct)
        return {};
    if (time) *time = static_cast<double>(writer.time) / kVnTicksPerSecond;
    const bool named = *writer.where &&
                       (!std::strcmp(writer.kind, "script") || !std::strcmp(writer.kind, "editor"));
    return QString::fromUtf8(named ? writer.where : writer.kind);
}

QString ChangedByText(IRoot* owner, const VnMemberDescriptor* member) {
    double time = 0;
    const QString name = WriterName(owner, member, &time);
    if (name.isEmpty()) return {};
    return QString("changed by %1 at %2 s").arg(name).arg(time, 0, 'f', 2);
}

TMemberTarget TMemberTarget::Of(IRoot* owner, const mw::MemberValue& value) {
    TMemberTarget target{value, VnRef<IRoot>(owner), {}};
    if (owner && value.desc && (value.desc->editflags & kVnEditNotify))
        target.notify = VnQuery<INotify>(owner, 1);
    return target;
}

void TMemberTarget::Announce(TEditHistory& history, const char* kind, const QString& where) const {
    if (owner) VnRecordWriter(owner.get(), value.desc, kind, where.toUtf8().constData());
    if (notify && !notify->MemberChanged(value.value)) history.Output().RefreshErrors();
    emit history.MemberWritten(owner.get(), value.value);
}

TMemberEdit::TMemberEdit(TEditorKit& kit, TMemberTarget target, bool reference,
                         std::weak_ptr<const void> row, QString writer)
    : mKit(kit),
      mTarget(std::move(target)),
      mBefore(TMemberState::Take(mTarget.value, reference)),
      mRow(std::move(row)),
      mTied(!mRow.expired()),
      mWriter(std::move(writer)) {}

bool TMemberEdit::Write(const Writer& write) {
    if (Orphaned()) return false;  // the choice is dropped, not half stored
    if (!mTarget.value.value || !write(mTarget.value)) {
        mKit.ReportRefusal(Name());
        return false;
    }
    mTarget.Announce(mKit.History(), "editor", mWriter);
    return true;
}

bool TMemberEdit::WriteBytes(const void* bytes, std::size_t size) {
    char why[256] = "";
    if (!VnCheckMemberValue(mTarget.value.desc, bytes, why, sizeof why)) {
        Refuse(QString::fromUtf8(why));
        return false;
    }
    return Write([&](const mw::MemberValue& value) {
        std::memcpy(value.value, bytes, size);
        return true;
    });
}

void TMemberEdit::Refuse(const QString& why) const {
    mKit.Shell().SetStatusText(0, QString("%1 was not changed: %2").arg(Name(), why));
}

void TMemberEdit::Record(const QString& text) {
    if (mTarget.owner && !Orphaned())
        mKit.History().RecordMember(mTarget.owner.get(), mTarget.value, mBefore, text);
}

void TMemberEdit::Revert() {
    if (!mBefore.IsValid() || mBefore.Again(mTarget.value) == mBefore) return;
    if (mBefore.Restore(mTarget.value)) mTarget.Announce(mKit.History(), "editor", mWriter);
}

void TMemberEdit::Finish(bool keep) {
    if (keep)
        Record();
    else
        Revert();
}

bool TMemberEdit::Apply(const Writer& write, const QString& text) {
    if (!Write(write)) return false;
    Record(text);
    return true;
}

QString TMemberEdit::Name() const {
    const VnMemberDescriptor* desc = mTarget.value.desc;
    return QString::fromUtf8(desc && desc->name ? desc->name : "?");
}

TListEdit::TListEdit(TEditorKit& kit, IList* list)
    : mKit(kit), mList(list), mBefore(TListStep::ItemsOf(list)) {}

void TListEdit::Record(const QString& text) {
    if (VnOS->HasError(0)) mKit.Output().RefreshErrors();
    mKit.History().RecordList(mList.get(), mBefore, text);
}
