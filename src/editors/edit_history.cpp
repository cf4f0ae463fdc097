#include "editors/edit_history.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/class_id.h"
#include "core/member_ref.h"
#include "core/value_text.h"
#include "editors/member_edit.h"
#include "shell/ioutput.h"
#include "vorn/kalix.h"
#include "vorn/os.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"
#include "vorn/writers.h"

namespace {

constexpr int kStepLimit = 100;  // older steps go; each may hold a list's items

VnRef<IRoot> Identity(IRoot* object) { return VnQuery<IRoot>(object, 1); }

// The floats of the colour, vector or rotation `object` is, with their count; null if none.
float* ValueFloats(IRoot* object, int* count) {
    if (VnRef<IKxColor> color = VnQuery<IKxColor>(object, 1)) {
        *count = 4;
        return color->EditValue();
    }
    if (VnRef<IKxVector> vector = VnQuery<IKxVector>(object, 1)) {
        *count = 3;
        return vector->EditValue();
    }
    if (VnRef<IKxQuaternion> rotation = VnQuery<IKxQuaternion>(object, 1)) {
        *count = 4;
        return rotation->EditValue();
    }
    return nullptr;
}

bool SameItems(const TListStep::Items& a, const TListStep::Items& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(),
        [](const VnRef<IRoot>& x, const VnRef<IRoot>& y) { return x.get() == y.get(); });
}

int ByteSize(uint32_t type) {
    switch (type) {
        case kVnLong:
        case kVnFloat:
            return 4;
        case kVnDouble:
        case kVnTime:
            return 8;
        case kVnBool:
            return 1;
        default:
            return 0;
    }
}

}  // namespace

TMemberState TMemberState::Take(const mw::MemberValue& value, bool reference) {
    TMemberState state;
    if (!value.desc || !value.value) return state;
    const uint32_t type = value.desc->type;
    if (const int size = ByteSize(type)) {
        state.mKind = Kind::Bytes;
        state.mCount = size;
        std::memcpy(state.mBytes.data(), value.value, static_cast<std::size_t>(size));
    } else if (mw::IsTextMember(value)) {
        state.mKind = Kind::Text;
        if (const char* text = mw::MemberTextPointer(value)) state.mText = text;
    } else if (mw::IsObjectMember(value)) {
        IRoot* object = mw::MemberObject(value);
        int count = 0;
        if (const float* floats = reference ? nullptr : ValueFloats(object, &count)) {
            state.mKind = Kind::Floats;
            state.mCount = count;
            std::memcpy(state.mFloats.data(), floats, sizeof(float) * static_cast<unsigned>(count));
        } else if (type == kVnObjectRef) {
            state.mKind = Kind::Object;
            state.mObject = Identity(object);
        }
    }
    return state;
}

TMemberState TMemberState::OfObject(IRoot* object) {
    TMemberState state;
    state.mKind = Kind::Object;
    state.mObject = Identity(object);
    return state;
}

TMemberState TMemberState::Again(const mw::MemberValue& value) const {
    return Take(value, mKind == Kind::Object);
}

bool TMemberState::Restore(const mw::MemberValue& value) const {
    if (!value.desc || !value.value) return false;
    switch (mKind) {
        case Kind::None:
            return false;
        case Kind::Bytes:
            std::memcpy(value.value, mBytes.data(), static_cast<std::size_t>(mCount));
            return true;
        case Kind::Text:
            if (mText) return mw::TextToValue(value, mText->c_str());
            if (value.desc->type == kVnString) return mw::TextToValue(value, "");
            VnOS->Free(std::exchange(*static_cast<char**>(value.value), nullptr));
            return true;
        case Kind::Floats: {
            int count = 0;
            float* floats = ValueFloats(mw::MemberObject(value), &count);
            if (!floats || count != mCount) return false;  // the member holds something else now
            std::memcpy(floats, mFloats.data(), sizeof(float) * static_cast<unsigned>(count));
            return true;
        }
        case Kind::Object:
            return mw::StoreMemberObject(value, mObject.get());
    }
    return false;
}

bool TMemberState::operator==(const TMemberState& other) const {
    if (mKind != other.mKind || mCount != other.mCount) return false;
    switch (mKind) {
        case Kind::None:
            return true;
        case Kind::Bytes:
            return std::memcmp(mBytes.data(), other.mBytes.data(),
                               static_cast<std::size_t>(mCount)) == 0;
        case Kind::Text:
            return mText == other.mText;
        case Kind::Floats:  // bit for bit: -0 and 0 differ to the scene's owner too
            return std::memcmp(mFloats.data(), other.mFloats.data(),
                               sizeof(float) * static_cast<unsigned>(mCount)) == 0;
        case Kind::Object:
            return mObject.get() == other.mObject.get();
    }
    return false;
}

TEditStep::TEditStep(TEditHistory& history, IRoot* target, const QString& text)
    : QUndoCommand(text), mHistory(history), mTarget(Identity(target).get()) {}

void TEditStep::undo() { Step(false); }

void TEditStep::redo() {
    if (std::exchange(mDone, false)) return;  // pushed after the change was made
    Step(true);
}

void TEditStep::Perform(const char* kind) {
    mDone = false;
    mKindOnce = kind;
    redo();
    mKindOnce = nullptr;
}

const char* TEditStep::WriterKind(bool after) const {
    if (mKindOnce) return mKindOnce;
    return after ? "redo" : "undo";
}

bool TEditStep::Step(bool after) {
    const VnRef<IRoot> target = Target();
    if (!target) {
        setObsolete(true);  // the stack drops it
        return false;
    }
    Apply(target.get(), after);
    emit mHistory.Applied(target.get());
    return true;
}

TMemberStep::TMemberStep(TEditHistory& history, IRoot* owner, const mw::MemberValue& value,
                         TMemberState before, TMemberState after, const QString& text)
    : TEditStep(history, owner, text),
      mValue(value),
      mBefore(std::move(before)),
      mAfter(std::move(after)) {}

void TMemberStep::Apply(IRoot* target, bool after) {
    // the owner and the views hear of it as they heard of the edit
    if ((after ? mAfter : mBefore).Restore(mValue))
        TMemberTarget::Of(target, mValue).Announce(mHistory, WriterKind(after));
}

TGroupStep::TGroupStep(TEditHistory& history, IRoot* target,
                       std::vector<std::unique_ptr<TEditStep>> steps, const QString& text)
    : TEditStep(history, target, text), mSteps(std::move(steps)) {}

void TGroupStep::Apply(IRoot*, bool after) {
    if (after) {
        for (auto& step : mSteps) step->redo();
    } else {
        for (auto at = mSteps.rbegin(); at != mSteps.rend(); ++at) (*at)->undo();
    }
}

TPythonStep::TPythonStep(TEditHistory& history, IRoot* owner, PyRef name, PyRef before, PyRef after,
                         const VnMemberDescriptor* member)
    : TEditStep(history, owner, QString()),
      mName(std::move(name)),
      mBefore(std::move(before)),
      mAfter(std::move(after)),
      mMember(member) {}

TPythonStep::~TPythonStep() {
    if (Py_IsInitialized()) return;
    // the interpreter has ended before the history: its objects are gone with it
    mName.release();
    mBefore.release();
    mAfter.release();
}

void TPythonStep::Apply(IRoot* target, bool after) {
    PyRef wrapper = PyRef::Steal(PyOS->Wrap(target, -1));
    const PyRef& value = after ? mAfter : mBefore;
    const int done = !wrapper ? -1
                     : value  ? PyObject_SetAttr(wrapper.get(), mName.get(), value.get())
                              : PyObject_DelAttr(wrapper.get(), mName.get());
    if (done < 0) {
        PyOS->ReportError(0);  // a refused value stays as it was; the console says why
        return;
    }
    if (mMember) VnRecordWriter(target, mMember, WriterKind(after), nullptr);
}

TListStep::TListStep(TEditHistory& history, IList* list, Items before, Items after,
                     const QString& text)
    : TEditStep(history, list, text), mBefore(std::move(before)), mAfter(std::move(after)) {}

TListStep::Items TListStep::ItemsOf(IList* list) {
    Items items;
    const int n = list ? list->GetCount() : 0;
    items.reserve(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) items.push_back(Identity(list->GetItem(i)));
    return items;
}

void TListStep::Apply(IRoot* target, bool after) {
    VnRef<IList> list = VnQuery<IList>(target, 1);
    if (!list) return;
    const Items& wanted = after ? mAfter : mBefore;
    const Items present = ItemsOf(list.get());
    if (SameItems(present, wanted)) return;
    // the items are held here while the list is emptied and filled again in the wanted order
    if (!present.empty()) list->RemoveItem(-1);
    for (const VnRef<IRoot>& item : wanted)
        if (item) list->AddItem(-1, item.get());
    if (VnOS->HasError(0)) mHistory.Output().RefreshErrors();
}

TEditHistory::TEditHistory(IOutput& output, QObject* parent) : QObject(parent), mOutput(output) {
    mStack.setUndoLimit(kStepLimit);
}

void TEditHistory::RecordMember(IRoot* owner, const mw::MemberValue& value,
                                const TMemberState& before, const QString& text) {
    if (!owner || !before.IsValid()) return;
    TMemberState after = before.Again(value);
    if (!after.IsValid() || after == before) return;
    mStack.push(new TMemberStep(*this, owner, value, before, std::move(after),
                                text.isEmpty() ? MemberStepText(owner, value) : text));
}

void TEditHistory::RecordList(IList* list, const TListStep::Items& before, const QString& text) {
    if (!list) return;
    TListStep::Items after = TListStep::ItemsOf(list);
    if (SameItems(after, before)) return;
    mStack.push(new TListStep(*this, list, before, std::move(after), text));
}

void TEditHistory::RecordGroup(IRoot* target, std::vector<std::unique_ptr<TEditStep>> steps,
                               const QString& text) {
    if (!target || steps.empty()) return;
    mStack.push(new TGroupStep(*this, target, std::move(steps), text));
}

const TEditStep* TEditHistory::Next(bool undo) const {
    const int index = undo ? mStack.index() - 1 : mStack.index();
    if (index < 0 || index >= mStack.count()) return nullptr;
    return static_cast<const TEditStep*>(mStack.command(index));
}

bool TEditHistory::Undo() {
    while (const TEditStep* step = Next(true)) {
        const bool exists = static_cast<bool>(step->Target());
        mStack.undo();  // a step whose object is gone drops itself
        if (exists) return true;
    }
    return false;
}

bool TEditHistory::Redo() {
    while (const TEditStep* step = Next(false)) {
        const bool exists = static_cast<bool>(step->Target());
        mStack.redo();
        if (exists) return true;
    }
    return false;
}

void TEditHistory::Prune() {
    for (bool undo : {true, false}) {
        while (const TEditStep* step = Next(undo)) {
            if (step->Target()) break;
            undo ? mStack.undo() : mStack.redo();
        }
    }
}

QString TEditHistory::ObjectTitle(IRoot* object) {
    mw::MemberRef name;
    if (name.Bind("name", object) && *name.text()) return QString::fromUtf8(name.text());
    if (const VnROTEntry* entry = object && VnROT ? VnROT->EntryOf(object) : nullptr)
        return QString::fromUtf8(entry->scheme) + "/" + QString::fromUtf8(entry->name);
    return QString::fromStdString(mw::ClassName(object));
}

QString TEditHistory::MemberStepText(IRoot* owner, const mw::MemberValue& value) {
    return QString("Set %1 of %2")
        .arg(QString::fromUtf8(value.desc && value.desc->name ? value.desc->name : "?"),
             ObjectTitle(owner));
}
