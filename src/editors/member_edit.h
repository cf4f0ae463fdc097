#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>

#include "core/member_value.h"
#include "editors/edit_history.h"
#include "vorn/ref.h"

class IList;
class INotify;
class TEditHistory;
class TEditorKit;

// Who last wrote `member` of `owner`: "Spin Model.py:12", "colour editor", "undo", ...; empty
// when no writer is recorded. `time` (optional) receives the clock seconds of the write.
QString WriterName(IRoot* owner, const VnMemberDescriptor* member, double* time = nullptr);
// "changed by Spin Model.py:12 at 12.30 s", or empty when no writer is recorded.
QString ChangedByText(IRoot* owner, const VnMemberDescriptor* member);

// Where a member edit writes: the member, the object whose storage holds it, and the object to
// tell after each write.
struct TMemberTarget {
    mw::MemberValue value;
    VnRef<IRoot> owner;     // keeps the storage alive; none for a Python value
    VnRef<INotify> notify;  // none when the member does not ask for it

    // The member `value` of `owner`, whose owner is told when the member's flags ask for it.
    static TMemberTarget Of(IRoot* owner, const mw::MemberValue& value);
    // Records the writer (`kind`: "editor", "undo", "redo", "revert"; `where`: which editor),
    // tells the owner that the member changed (a refusal goes to the error log), then every
    // view of the member (`history`'s MemberWritten). Every write made through the tool, undo
    // and redo among them, ends here.
    void Announce(TEditHistory& history, const char* kind = "editor",
                  const QString& where = {}) const;
};

// One change of one member made through the tool: takes the value the member holds, writes
// (once, or many times while a dialog is open), tells the owner and the views after each write,
// and puts the change on the edit history as one step, or puts the old value back. It holds the
// member's owner, so it may outlive the grid row that began it.
class TMemberEdit {
public:
    // `reference`: an object member changes by the object it refers to (New Object, Clear, the
    // object picker), not by the value of that object.
    // `row`: the token of the grid row that began the edit; once it expires (a script rebuilt
    // the grid while a dialog showed), nothing more is written or recorded, and a cancelled
    // edit still puts the old value back.
    // `writer`: the editor named as the member's writer.
    TMemberEdit(TEditorKit& kit, TMemberTarget target, bool reference = false,
                std::weak_ptr<const void> row = {}, QString writer = "browser");
    TMemberEdit(const TMemberEdit&) = delete;
    TMemberEdit& operator=(const TMemberEdit&) = delete;

    const mw::MemberValue& Value() const { return mTarget.value; }
    TEditorKit& Kit() const { return mKit; }

    // Whether the row that began the edit went while it ran.
    bool Orphaned() const { return mTied && mRow.expired(); }
    // Writes through `write` (false when the member refused: the status bar and the error log
    // say why with the runtime's error) and announces the change.
    using Writer = std::function<bool(const mw::MemberValue&)>;
    bool Write(const Writer& write);
    // Writes `size` bytes laid out as the member's storage, checked first against the member's
    // range and choices: a refused value is never written and the status bar says why.
    bool WriteBytes(const void* bytes, std::size_t size);
    // Says in the status bar that the member kept its value, and why.
    void Refuse(const QString& why) const;
    // Puts the change since the edit began on the history as one step, named `text` or after
    // the member and its owner; nothing when the member holds what it held.
    void Record(const QString& text = {});
    // Puts back what the member held when the edit began, when it changed.
    void Revert();
    // Records the change when `keep`, else reverts it: how a dialog's OK and Cancel end.
    void Finish(bool keep);
    // Write and Record in one: a change made at once.
    bool Apply(const Writer& write, const QString& text = {});

private:
    QString Name() const;

    TEditorKit& mKit;
    TMemberTarget mTarget;
    TMemberState mBefore;
    std::weak_ptr<const void> mRow;
    bool mTied = false;
    QString mWriter;
};

// One change of a list's items made through the tool (Add Item, Remove Item, Remove All, Sort &
// Rearrange): takes the items in order before the change, and after it puts the change on the
// history as one step, with the runtime's refusal, if any, in the error log.
class TListEdit {
public:
    TListEdit(TEditorKit& kit, IList* list);
    IList* List() const { return mList.get(); }
    // Records the change since the edit began as the step `text`; nothing when the items are
    // as they were.
    void Record(const QString& text);

private:
    TEditorKit& mKit;
    VnRef<IList> mList;
    TListStep::Items mBefore;
};
