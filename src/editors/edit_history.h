#pragma once

#include <QObject>
#include <QString>
#include <QUndoCommand>
#include <QUndoStack>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/member_value.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "vorn/weak.h"

class IList;
class IOutput;
class TEditHistory;

// What one member holds, taken so that it can be put back exactly: the bytes of a number, a
// flag or a time, a text, the floats of the colour, vector or rotation the member holds, or the
// object it refers to (held). Python members are not taken.
class TMemberState {
public:
    // `reference`: an object member is taken as the object it refers to, never as its value.
    static TMemberState Take(const mw::MemberValue& value, bool reference = false);
    // An object member that refers to `object`.
    static TMemberState OfObject(IRoot* object);
    // The member's state now, taken the way this one was.
    TMemberState Again(const mw::MemberValue& value) const;
    // Puts the state back into the member; false when it cannot hold it any more.
    bool Restore(const mw::MemberValue& value) const;
    bool IsValid() const { return mKind != Kind::None; }
    bool operator==(const TMemberState& other) const;
    bool operator!=(const TMemberState& other) const { return !(*this == other); }

private:
    enum class Kind { None, Bytes, Text, Floats, Object };
    Kind mKind = Kind::None;
    std::array<unsigned char, 8> mBytes{};
    std::optional<std::string> mText;  // none: a text pointer that was null
    std::array<float, 4> mFloats{};
    int mCount = 0;        // bytes or floats in use
    VnRef<IRoot> mObject;  // the identity of the object referred to
};

// One step of the edit history. Every step refers weakly to its target (the object whose member
// or list it changed) and is applied only while that object lives: once it has been destroyed,
// the step is dropped. What the step puts back (an old object, a list's items) it holds.
class TEditStep : public QUndoCommand {
public:
    TEditStep(TEditHistory& history, IRoot* target, const QString& text);
    // The target, held, while it lives; empty once it has been destroyed.
    VnRef<IRoot> Target() const { return mTarget.lock(); }

    void undo() final;
    void redo() final;
    // Makes the change now, the writer named `kind` ("revert"); later redos are plain redos.
    void Perform(const char* kind);

protected:
    // The writer kind of this application: "undo", "redo", or the kind Perform gave.
    const char* WriterKind(bool after) const;
    // Runs with `target` held, so a notified owner or script cannot free it meanwhile.
    virtual void Apply(IRoot* target, bool after) = 0;
    TEditHistory& mHistory;

private:
    bool Step(bool after);

    VnWeak<IRoot> mTarget;  // identity
    bool mDone = true;      // the change was made before the step was pushed
    const char* mKindOnce = nullptr;
};

// Several steps taken back and done again as one, such as a revert of many values.
class TGroupStep : public TEditStep {
public:
    TGroupStep(TEditHistory& history, IRoot* target, std::vector<std::unique_ptr<TEditStep>> steps,
               const QString& text);

private:
    void Apply(IRoot* target, bool after) override;

    std::vector<std::unique_ptr<TEditStep>> mSteps;
};

// A script attribute, or a Python object pointer member, changed from one value to another
// (null: the attribute was absent). Written through the object's wrapper.
class TPythonStep : public TEditStep {
public:
    TPythonStep(TEditHistory& history, IRoot* owner, PyRef name, PyRef before, PyRef after,
                const VnMemberDescriptor* member);
    ~TPythonStep() override;

private:
    void Apply(IRoot* target, bool after) override;

    PyRef mName;
    PyRef mBefore;
    PyRef mAfter;
    const VnMemberDescriptor* mMember;  // null for an attribute
};

// A member of an object changed from one state to another.
class TMemberStep : public TEditStep {
public:
    TMemberStep(TEditHistory& history, IRoot* owner, const mw::MemberValue& value,
                TMemberState before, TMemberState after, const QString& text);

private:
    void Apply(IRoot* target, bool after) override;

    mw::MemberValue mValue;  // storage inside the owner, used only while the owner lives
    TMemberState mBefore;
    TMemberState mAfter;
};

// The items of a list, in order, before and after a change.
class TListStep : public TEditStep {
public:
    using Items = std::vector<VnRef<IRoot>>;
    TListStep(TEditHistory& history, IList* list, Items before, Items after, const QString& text);
    // The list's items in order, each held.
    static Items ItemsOf(IList* list);

private:
    void Apply(IRoot* target, bool after) override;

    Items mBefore;
    Items mAfter;
};

// The undo history of the edits made through the tool: grid editors, New Object, Clear and the
// list actions each push one step. Scripts change objects without it.
class TEditHistory : public QObject {
    Q_OBJECT
public:
    explicit TEditHistory(IOutput& output, QObject* parent = nullptr);

    QUndoStack& Stack() { return mStack; }
    IOutput& Output() const { return mOutput; }

    // Pushes the change of a member of `owner` since `before`; nothing when it did not change.
    // An empty text names the step after the member and its owner.
    void RecordMember(IRoot* owner, const mw::MemberValue& value, const TMemberState& before,
                      const QString& text = {});
    // Pushes a list change; nothing when the items did not change.
    void RecordList(IList* list, const TListStep::Items& before, const QString& text);
    // Pushes steps already made as one step on `target`; nothing when there are none.
    void RecordGroup(IRoot* target, std::vector<std::unique_ptr<TEditStep>> steps,
                     const QString& text);

    // Undoes or redoes the next step whose object still exists; steps in the way whose object
    // is gone are dropped. False when there was none.
    bool Undo();
    bool Redo();
    // Drops the steps next in line in both directions whose object is gone.
    void Prune();

    // "Set color of light1": the member's name and the owner's name, ROT name or class.
    static QString MemberStepText(IRoot* owner, const mw::MemberValue& value);
    static QString ObjectTitle(IRoot* object);

signals:
    // A step was applied to `target`, which the views may need to show again.
    void Applied(IRoot* target);
    // The member whose storage is `storage`, held by `owner` (none for a Python value), was
    // written through the tool: by an edit, an undo or a redo.
    void MemberWritten(IRoot* owner, const void* storage);

private:
    friend class TEditStep;
    const TEditStep* Next(bool undo) const;

    IOutput& mOutput;
    QUndoStack mStack;
};
