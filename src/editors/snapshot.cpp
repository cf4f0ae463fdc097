#include "editors/snapshot.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "core/python_value.h"
#include "core/value_text.h"
#include "editors/edit_history.h"
#include "editors/member_edit.h"
#include "vorn/branch.h"
#include "vorn/kalix.h"
#include "vorn/members.h"
#include "vorn/os.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"

namespace {

constexpr qint64 kFileLimit = qint64{256} << 20;  // as large as the runtime reads a branch file
constexpr int kPlainDepth = 32;                   // as deep as a branch file nests Python values

QString PendingError() {
    char* text = nullptr;
    if (!VnOS->GetErrorText(&text) || !text) return "unknown error";
    QString error = QString::fromUtf8(text);
    VnOS->Free(text);
    VnOS->SetError(0, nullptr, nullptr);
    return error;
}

bool IsRegistered(IRoot* object) { return object && VnROT && VnROT->EntryOf(object); }

IRoot* Identity(IRoot* object) {
    VnRef<IRoot> identity = VnQuery<IRoot>(object, 1);
    return identity.get();  // the object holds itself; only compared
}

bool SameClass(IRoot* a, IRoot* b) { return a && b && a->GetTypeInfo() == b->GetTypeInfo(); }

// Colours, vectors and rotations are values: compared and put back by their numbers.
bool IsValueObject(IRoot* object) {
    return VnQuery<IKxColor>(object, 1) || VnQuery<IKxVector>(object, 1) ||
           VnQuery<IKxQuaternion>(object, 1);
}

QString Title(IRoot* object) {
    return object ? TEditHistory::ObjectTitle(object) : QString("None");
}

// A colour, vector or rotation reads as its numbers ("0.1500 0.3000 0.8500 1.0000").
QString ValueText(const mw::MemberValue& value) {
    char buffer[512];
    IRoot* object = value.desc && value.desc->type == kVnObject ? mw::MemberObject(value) : nullptr;
    if (!object || !IsValueObject(object))
        return QString::fromUtf8(mw::ValueToText(value, buffer, sizeof buffer));
    QStringList numbers;
    mw::ForEachMember(object, [&](const mw::MemberValue& number, const VnTypeInfo*) {
        numbers << QString::fromUtf8(mw::ValueToText(number, buffer, sizeof buffer));
    });
    return numbers.join(' ');
}

std::vector<mw::MemberValue> MembersOf(IRoot* object) {
    std::vector<mw::MemberValue> members;
    mw::ForEachMember(object,
                      [&](const mw::MemberValue& v, const VnTypeInfo*) { members.push_back(v); });
    return members;
}

QString Writer(IRoot* owner, const VnMemberDescriptor* member) {
    const QString name = WriterName(owner, member);
    return name.isEmpty() ? QString("engine") : name;  // nothing recorded wrote it
}

// Whether `value` is made only of what a branch file holds, so comparing it or showing it
// runs no script code.
bool IsPlain(PyObject* value, int depth = 0) {
    if (depth > kPlainDepth) return false;
    if (value == Py_None || PyBool_Check(value) || PyLong_CheckExact(value) ||
        PyFloat_CheckExact(value) || PyUnicode_CheckExact(value))
        return true;
    if (PyList_CheckExact(value)) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(value); ++i)
            if (!IsPlain(PyList_GET_ITEM(value, i), depth + 1)) return false;
        return true;
    }
    if (!PyDict_CheckExact(value)) return false;
    PyObject *key, *item;
    Py_ssize_t at = 0;
    while (PyDict_Next(value, &at, &key, &item))
        if (!PyUnicode_CheckExact(key) || !IsPlain(item, depth + 1)) return false;
    return true;
}

QString PythonText(PyObject* value) {
    if (!value) return "(none)";
    if (!IsPlain(value)) return QString("<%1 object>").arg(Py_TYPE(value)->tp_name);
    PyRef repr = PyRef::Steal(PyObject_Repr(value));
    const char* text = repr ? PyUnicode_AsUTF8(repr.get()) : nullptr;
    if (!text) PyErr_Clear();
    return text ? QString::fromUtf8(text) : QString("?");
}

bool SamePython(PyObject* a, PyObject* b) {
    if (a == b) return true;
    if (!a || !b || !IsPlain(a) || !IsPlain(b)) return false;
    const int same = PyObject_RichCompareBool(a, b, Py_EQ);
    if (same < 0) PyErr_Clear();
    return same == 1;
}

// A copy of a plain value, so that the live object and the snapshot never share a list.
PyRef PlainCopy(PyObject* value) {
    if (!value) return {};
    PyRef copy = PyRef::Steal(PyImport_ImportModule("copy"));
    PyRef result =
        copy ? PyRef::Steal(PyObject_CallMethod(copy.get(), "deepcopy", "O", value)) : PyRef();
    if (!result) PyErr_Clear();
    return result;
}

// Puts `value` back into `member` of the live `owner` as an edit step, made; null when the
// member holds it already or cannot hold it.
std::unique_ptr<TEditStep> RevertMember(TEditHistory& history, const VnWeak<IRoot>& owner,
                                        const VnMemberDescriptor* member,
                                        const TMemberState& value) {
    VnRef<IRoot> object = owner.lock();
    const mw::MemberValue live = object ? mw::MemberOf(object.get(), member) : mw::MemberValue{};
    const TMemberState before = value.IsValid() ? value.Again(live) : TMemberState();
    if (!before.IsValid() || before == value) return nullptr;
    auto step =
        std::make_unique<TMemberStep>(history, object.get(), live, before, value, QString());
    step->Perform("revert");
    return step;
}

// The script attributes of `object`, by name.
PyRef AttributesOf(IRoot* object) {
    PyRef result = PyRef::Steal(PyDict_New());
    PyRef split = PyRef::Steal(PyOS->Split(object, 0));
    PyRef wrapper = PyRef::Steal(PyOS->Wrap(object, -1));
    PyObject* names = split && PyTuple_Check(split.get()) && PyTuple_GET_SIZE(split.get()) == 2
                          ? PyTuple_GET_ITEM(split.get(), 1)
                          : nullptr;
    if (!result || !wrapper || !names || !PyList_Check(names)) {
        PyErr_Clear();
        return result;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names); ++i) {
        PyObject* name = PyList_GET_ITEM(names, i);
        PyRef value = PyRef::Steal(PyObject_GetAttr(wrapper.get(), name));
        if (!value || PyDict_SetItem(result.get(), name, value.get()) < 0) PyErr_Clear();
    }
    return result;
}

// The items in both lists that keep their order: the longest run of them, in the order they
// have now, whose places then rise. The others moved.
std::unordered_set<IRoot*> InOrder(const TListStep::Items& lives,
                                   const std::unordered_map<IRoot*, int>& thenAt) {
    std::vector<IRoot*> items;
    for (const VnRef<IRoot>& live : lives)
        if (thenAt.count(live.get())) items.push_back(live.get());
    std::vector<int> tails;  // index into items of the smallest tail of each length
    std::vector<int> before(items.size(), -1);
    for (int k = 0; k < static_cast<int>(items.size()); ++k) {
        const int place = thenAt.at(items[std::size_t(k)]);
        auto at = std::lower_bound(tails.begin(), tails.end(), place, [&](int t, int p) {
            return thenAt.at(items[std::size_t(t)]) < p;
        });
        if (at != tails.begin()) before[std::size_t(k)] = *(at - 1);
        if (at == tails.end())
            tails.push_back(k);
        else
            *at = k;
    }
    std::unordered_set<IRoot*> stayed;
    for (int k = tails.empty() ? -1 : tails.back(); k >= 0; k = before[std::size_t(k)])
        stayed.insert(items[std::size_t(k)]);
    return stayed;
}

}  // namespace

// Copies the live objects below the root as branch files hold them, without their text: each
// object of the graph once (shared objects and cycles stay so), registered objects by
// reference, and every copy paired with the live object it was taken from.
class TSnapshotCopy {
public:
    explicit TSnapshotCopy(TSnapshot& snapshot) : mSnap(snapshot) {}
    // A new object of the class of `live`, not yet filled; null with the pending error.
    static VnRef<IRoot> MakeCopy(IRoot* live) {
        const VnTypeInfo* type = live->GetTypeInfo();
        void* made = nullptr;
        if (!type || !type->clsid || !VnOS->CreateInstance(*type->clsid, IID_IRoot, &made))
            return {};
        return VnRef<IRoot>::Adopt(static_cast<IRoot*>(made));
    }
    // Fills `copy` from `live` and everything below it.
    void Fill(IRoot* copy, IRoot* live) {
        Note(copy, live);
        while (!mTodo.empty()) {
            auto [c, l] = mTodo.back();
            mTodo.pop_back();
            FillOne(c, l);
        }
    }

private:
    void Note(IRoot* copy, IRoot* live) {
        mCopies.emplace(Identity(live), copy);
        mSnap.mPairs.emplace(Identity(copy), VnWeak<IRoot>(live));
        mTodo.emplace_back(copy, live);
    }
    // The copy of `live`: made on first sight; a registered object is its own.
    IRoot* CopyOf(IRoot* live) {
        if (!live || IsRegistered(live)) return live;
        auto known = mCopies.find(Identity(live));
        if (known != mCopies.end()) return known->second;
        VnRef<IRoot> made = MakeCopy(live);
        if (!made) return nullptr;
        mMade.push_back(made);  // held until a member or list holds it
        Note(made.get(), live);
        return made.get();
    }
    void FillOne(IRoot* copy, IRoot* live) {
        const std::vector<mw::MemberValue> to = MembersOf(copy);
        const std::vector<mw::MemberValue> from = MembersOf(live);
        for (std::size_t i = 0; i < to.size() && i < from.size(); ++i) CopyMember(from[i], to[i]);
        VnRef<IList> fromList = VnQuery<IList>(live, 1);
        VnRef<IList> toList = VnQuery<IList>(copy, 1);
        if (fromList && toList)
            for (int i = 0; i < fromList->GetCount(); ++i)
                if (IRoot* item = CopyOf(fromList->GetItem(i))) toList->AddItem(-1, item);
        if (Py_IsInitialized()) CopyAttributes(copy, live);
    }
    void CopyMember(const mw::MemberValue& from, const mw::MemberValue& to) {
        if (!from.value || !to.value || from.desc != to.desc) return;
        switch (from.desc->type) {
            case kVnObject:
                if (IRoot* part = mw::MemberObject(to)) {
                    mCopies.emplace(Identity(mw::MemberObject(from)), part);
                    mSnap.mPairs.emplace(Identity(part), VnWeak<IRoot>(mw::MemberObject(from)));
                    mTodo.emplace_back(part, mw::MemberObject(from));
                }
                return;
            case kVnObjectRef:
                mw::StoreMemberObject(to, CopyOf(mw::MemberObject(from)));
                return;
            case kVnVornString:
            case kVnROTReference: {
                const char* text = *static_cast<char**>(from.value);
                char* copied = nullptr;
                if (text && (copied = static_cast<char*>(VnOS->Alloc(std::strlen(text) + 1))))
                    std::memcpy(copied, text, std::strlen(text) + 1);
                VnOS->Free(std::exchange(*static_cast<char**>(to.value), copied));
                return;
            }
            case kVnPythonRef: {
                PyObject* value = *static_cast<PyObject**>(from.value);
                if (!Py_IsInitialized() || !value || !IsPlain(value)) return;
                PyRef copied = PlainCopy(value);
                Py_XSETREF(*static_cast<PyObject**>(to.value), copied.release());
                return;
            }
            case kVnPython:
                return;
            default:
                std::memcpy(to.value, from.value, static_cast<std::size_t>(from.desc->size));
        }
    }
    void CopyAttributes(IRoot* copy, IRoot* live) {
        PyRef attributes = AttributesOf(live);
        if (!attributes || PyDict_GET_SIZE(attributes.get()) == 0) return;
        PyRef to = PyRef::Steal(PyOS->Wrap(copy, -1));
        PyObject *name, *value;
        Py_ssize_t at = 0;
        while (to && PyDict_Next(attributes.get(), &at, &name, &value)) {
            PyRef copied = IsPlain(value) ? PlainCopy(value) : PyRef();
            if (copied && PyObject_SetAttr(to.get(), name, copied.get()) < 0) PyErr_Clear();
        }
        PyErr_Clear();
    }

    TSnapshot& mSnap;
    std::unordered_map<IRoot*, IRoot*> mCopies;  // live identity to its copy
    std::vector<std::pair<IRoot*, IRoot*>> mTodo;
    std::vector<VnRef<IRoot>> mMade;
};

// Walks the copy and the live objects side by side from the root and lists what differs.
class TSnapshotCompare {
public:
    explicit TSnapshotCompare(const TSnapshot& snapshot) : mSnap(snapshot) {}
    std::vector<TChangeRow> Run();

private:
    struct Pair {
        IRoot* copy;
        VnRef<IRoot> live;
        QString path;
    };
    void Visit(const Pair& at);
    void Member(const Pair& at, const mw::MemberValue& then, const mw::MemberValue& now);
    void Child(const Pair& at, const mw::MemberValue& then, const mw::MemberValue& now);
    void Items(const Pair& at);
    void Attributes(const Pair& at);
    void PythonValue(const Pair& at, const QString& path, PyObject* name, PyObject* then,
                     PyObject* now, const VnMemberDescriptor* member);
    // The live object `copy` stands for: itself when registered, its pair, or null.
    VnRef<IRoot> Expected(IRoot* copy) const;
    TChangeRow& Add(TChangeRow::Kind kind, const Pair& at, const QString& path, QString then,
                    QString now);
    void AddValueRow(const Pair& at, const mw::MemberValue& then, const mw::MemberValue& now);
    void AddObjectRow(const Pair& at, const mw::MemberValue& then, const mw::MemberValue& now);
    void AddListRows(const Pair& at, IList* list, const std::vector<IRoot*>& copies);

    const TSnapshot& mSnap;
    std::vector<Pair> mTodo;
    std::unordered_set<IRoot*> mSeen;
    std::vector<TChangeRow> mRows;
};

std::vector<TChangeRow> TSnapshotCompare::Run() {
    VnRef<IRoot> live = mSnap.mLive.lock();
    if (!live || !mSnap.mCopy) return {};
    mTodo.push_back({mSnap.mCopy.get(), live, mSnap.mRootPath});
    while (!mTodo.empty()) {
        Pair at = std::move(mTodo.back());
        mTodo.pop_back();
        if (mSeen.insert(Identity(at.copy)).second) Visit(at);
    }
    QCollator byPath;
    byPath.setNumericMode(true);
    std::stable_sort(mRows.begin(), mRows.end(), [&](const TChangeRow& a, const TChangeRow& b) {
        return byPath.compare(a.path, b.path) < 0;
    });
    return std::move(mRows);
}

void TSnapshotCompare::Visit(const Pair& at) {
    const std::vector<mw::MemberValue> then = MembersOf(at.copy);
    const std::vector<mw::MemberValue> now = MembersOf(at.live.get());
    for (std::size_t i = 0; i < then.size() && i < now.size(); ++i) Member(at, then[i], now[i]);
    Items(at);
    if (Py_IsInitialized()) Attributes(at);
}

void TSnapshotCompare::Member(const Pair& at, const mw::MemberValue& then,
                              const mw::MemberValue& now) {
    if (!then.value || !now.value || then.desc != now.desc) return;
    const uint32_t type = then.desc->type;
    if (mw::IsObjectMember(then)) return Child(at, then, now);
    if (type == kVnPythonRef) {
        const QString path = at.path + "." + QString::fromUtf8(then.desc->name);
        PyRef name = PyRef::Steal(PyUnicode_FromString(then.desc->name));
        PythonValue(at, path, name.get(), mw::MemberPython(then), mw::MemberPython(now), then.desc);
        return;
    }
    if (!(then.desc->editflags & kVnEditable) || type == kVnPython) return;
    if (mw::CompareValues(then, now) != 0) AddValueRow(at, then, now);
}

void TSnapshotCompare::Child(const Pair& at, const mw::MemberValue& then,
                             const mw::MemberValue& now) {
    IRoot* copy = mw::MemberObject(then);
    IRoot* live = mw::MemberObject(now);
    if (copy && IsValueObject(copy)) {
        if (TMemberState::Take(then) != TMemberState::Take(now)) AddValueRow(at, then, now);
        return;
    }
    const VnRef<IRoot> expected = Expected(copy);
    const bool byPath = mSnap.mPairs.empty() && !IsRegistered(copy);
    const bool same = byPath ? (!copy && !live) || SameClass(copy, live)
                             : Identity(expected.get()) == Identity(live);
    if (!same) return AddObjectRow(at, then, now);
    if (copy && live && !IsRegistered(copy))
        mTodo.push_back(
            {copy, VnRef<IRoot>(live), at.path + "." + QString::fromUtf8(then.desc->name)});
}

VnRef<IRoot> TSnapshotCompare::Expected(IRoot* copy) const {
    if (!copy || IsRegistered(copy)) return VnRef<IRoot>(copy);
    auto found = mSnap.mPairs.find(Identity(copy));
    return found == mSnap.mPairs.end() ? VnRef<IRoot>() : found->second.lock();
}

TChangeRow& TSnapshotCompare::Add(TChangeRow::Kind kind, const Pair& at, const QString& path,
                                  QString then, QString now) {
    TChangeRow row;
    row.kind = kind;
    row.path = path;
    row.then = std::move(then);
    row.now = std::move(now);
    row.owner = VnWeak<IRoot>(at.live.get());
    mRows.push_back(std::move(row));
    return mRows.back();
}

void TSnapshotCompare::AddValueRow(const Pair& at, const mw::MemberValue& then,
                                   const mw::MemberValue& now) {
    const QString path = at.path + "." + QString::fromUtf8(then.desc->name);
    TChangeRow& row = Add(TChangeRow::Kind::Changed, at, path, ValueText(then), ValueText(now));
    row.writer = Writer(at.live.get(), now.desc);
    row.revert = [owner = row.owner, member = now.desc, value = TMemberState::Take(then)](
                     TEditHistory& history) { return RevertMember(history, owner, member, value); };
}

void TSnapshotCompare::AddObjectRow(const Pair& at, const mw::MemberValue& then,
                                    const mw::MemberValue& now) {
    IRoot* copy = mw::MemberObject(then);
    const QString path = at.path + "." + QString::fromUtf8(then.desc->name);
    TChangeRow& row =
        Add(TChangeRow::Kind::Replaced, at, path, Title(copy), Title(mw::MemberObject(now)));
    row.writer = Writer(at.live.get(), now.desc);
    if (then.desc->type != kVnObjectRef) return;  // an embedded object is never replaced
    // the object taken from, while it lives; else the snapshot's copy of it
    VnRef<IRoot> expected = Expected(copy);
    row.revert = [owner = row.owner, member = now.desc,
                  value = TMemberState::OfObject(expected ? expected.get() : copy)](
                     TEditHistory& history) { return RevertMember(history, owner, member, value); };
}

void TSnapshotCompare::Items(const Pair& at) {
    VnRef<IList> copyList = VnQuery<IList>(at.copy, 1);
    VnRef<IList> liveList = VnQuery<IList>(at.live.get(), 1);
    if (!copyList || !liveList) return;
    std::vector<IRoot*> copies;
    for (int i = 0; i < copyList->GetCount(); ++i) copies.push_back(copyList->GetItem(i));
    AddListRows(at, liveList.get(), copies);
}

void TSnapshotCompare::AddListRows(const Pair& at, IList* list, const std::vector<IRoot*>& copies) {
    const TListStep::Items lives = TListStep::ItemsOf(list);
    const bool byPath = mSnap.mPairs.empty();
    std::vector<VnRef<IRoot>> expected;
    TListStep::Items wanted;  // what the list holds once reverted
    for (std::size_t i = 0; i < copies.size(); ++i) {
        VnRef<IRoot> e =
            byPath ? (i < lives.size() ? lives[i] : VnRef<IRoot>()) : Expected(copies[i]);
        if (byPath && !SameClass(copies[i], e.get())) e = VnRef<IRoot>();
        wanted.push_back(VnRef<IRoot>(Identity(e ? e.get() : copies[i])));
        expected.push_back(std::move(e));
    }
    std::unordered_map<IRoot*, int> nowAt;
    for (std::size_t j = 0; j < lives.size(); ++j)
        nowAt.emplace(lives[j].get(), static_cast<int>(j));
    std::unordered_map<IRoot*, int> thenAt;  // the items in both, by their place then
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (IRoot* e = Identity(expected[i].get()); e && nowAt.count(e))
            thenAt.emplace(e, static_cast<int>(i));
    const std::unordered_set<IRoot*> stayed = InOrder(lives, thenAt);

    VnWeak<IList> weakList(list);
    auto revert = [weakList, wanted](TEditHistory& history) -> std::unique_ptr<TEditStep> {
        VnRef<IList> held = weakList.lock();
        if (!held) return nullptr;
        TListStep::Items before = TListStep::ItemsOf(held.get());
        if (before.size() == wanted.size() &&
            std::equal(
                before.begin(), before.end(), wanted.begin(),
                [](const VnRef<IRoot>& a, const VnRef<IRoot>& b) { return a.get() == b.get(); }))
            return nullptr;
        auto step = std::make_unique<TListStep>(history, held.get(), before, wanted, QString());
        step->Perform("revert");
        return step;
    };
    auto add = [&](TChangeRow::Kind kind, int index, QString then, QString now) {
        TChangeRow& row = Add(kind, at, at.path + QString("[%1]").arg(index), then, now);
        row.revert = revert;
    };
    for (std::size_t i = 0; i < copies.size(); ++i) {
        IRoot* e = Identity(expected[i].get());
        if (!e || !thenAt.count(e)) {
            add(TChangeRow::Kind::Removed, static_cast<int>(i), Title(copies[i]), "(removed)");
            continue;
        }
        const int j = nowAt[e];
        if (!stayed.count(e))
            add(TChangeRow::Kind::Moved, j, QString("[%1]").arg(i), QString("[%1]").arg(j));
        if (!IsRegistered(copies[i]))
            mTodo.push_back({copies[i], expected[i], at.path + QString("[%1]").arg(j)});
    }
    for (std::size_t j = 0; j < lives.size(); ++j)
        if (!thenAt.count(lives[j].get()))
            add(TChangeRow::Kind::Added, static_cast<int>(j), "(absent)", Title(lives[j].get()));
}

void TSnapshotCompare::Attributes(const Pair& at) {
    PyRef then = AttributesOf(at.copy);
    PyRef now = AttributesOf(at.live.get());
    if (!then || !now) return;
    PyRef names = PyRef::Steal(PyDict_Copy(then.get()));
    if (!names || PyDict_Update(names.get(), now.get()) < 0) return PyErr_Clear();
    PyRef keys = PyRef::Steal(PyDict_Keys(names.get()));
    if (!keys || PyList_Sort(keys.get()) < 0) return PyErr_Clear();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        PyObject* name = PyList_GET_ITEM(keys.get(), i);
        const char* text = PyUnicode_AsUTF8(name);
        if (!text) {
            PyErr_Clear();
            continue;
        }
        PythonValue(at, at.path + "." + QString::fromUtf8(text), name,
                    PyDict_GetItem(then.get(), name), PyDict_GetItem(now.get(), name), nullptr);
    }
}

void TSnapshotCompare::PythonValue(const Pair& at, const QString& path, PyObject* name,
                                   PyObject* then, PyObject* now,
                                   const VnMemberDescriptor* member) {
    if (SamePython(then, now) || (then && !IsPlain(then))) return;
    TChangeRow& row = Add(TChangeRow::Kind::Changed, at, path, PythonText(then), PythonText(now));
    row.writer = member ? Writer(at.live.get(), member) : QString("script");
    VnWeak<IRoot> owner = row.owner;
    PyRef key = PyRef::Borrow(name);
    PyRef value = PyRef::Borrow(then);
    row.revert = [owner, key, value, member](TEditHistory& history) -> std::unique_ptr<TEditStep> {
        VnRef<IRoot> object = owner.lock();
        PyRef wrapper = object ? PyRef::Steal(PyOS->Wrap(object.get(), -1)) : PyRef();
        if (!wrapper) return nullptr;
        PyRef before = PyRef::Steal(PyObject_GetAttr(wrapper.get(), key.get()));
        if (!before) PyErr_Clear();
        if (member && before.get() == Py_None) before = PyRef();
        auto step = std::make_unique<TPythonStep>(history, object.get(), key, before,
                                                  PlainCopy(value.get()), member);
        step->Perform("revert");
        return step;
    };
}

TSnapshot::TSnapshot(VnRef<IRoot> copy, IRoot* live, QString rootPath, QString source)
    : mCopy(std::move(copy)),
      mLive(live),
      mRootPath(std::move(rootPath)),
      mSource(std::move(source)) {}

// Copies that refer to each other (a cycle or a shared object kept from the live world) would
// keep each other alive: every reference between them is let go first. Registered objects are
// the live ones and are never entered.
TSnapshot::~TSnapshot() {
    std::vector<VnRef<IRoot>> copies;
    std::unordered_set<IRoot*> seen;
    std::vector<IRoot*> todo{mCopy.get()};
    while (!todo.empty()) {
        IRoot* object = todo.back();
        todo.pop_back();
        if (!object || IsRegistered(object) || !seen.insert(Identity(object)).second) continue;
        copies.emplace_back(object);
        mw::ForEachMember(object, [&](const mw::MemberValue& v, const VnTypeInfo*) {
            if (v.desc->type == kVnObject || v.desc->type == kVnObjectRef)
                todo.push_back(mw::MemberObject(v));
        });
        if (VnRef<IList> list = VnQuery<IList>(object, 1))
            for (int i = 0; i < list->GetCount(); ++i) todo.push_back(list->GetItem(i));
    }
    for (const VnRef<IRoot>& copy : copies) {
        mw::ForEachMember(copy.get(), [](const mw::MemberValue& v, const VnTypeInfo*) {
            if (v.desc->type == kVnObjectRef) mw::StoreMemberObject(v, nullptr);
        });
        if (VnRef<IList> list = VnQuery<IList>(copy.get(), 1))
            while (list->GetCount() > 0) list->RemoveItem(list->GetCount() - 1);
    }
}

std::shared_ptr<TSnapshot> TSnapshot::Take(IRoot* live, const QString& rootPath, QString* why) {
    VnRef<IRoot> copy = live ? TSnapshotCopy::MakeCopy(live) : VnRef<IRoot>();
    if (!copy) {
        *why = live ? PendingError() : QString("there is no object to take");
        return nullptr;
    }
    std::shared_ptr<TSnapshot> snapshot(new TSnapshot(copy, live, rootPath, "a moment"));
    TSnapshotCopy(*snapshot).Fill(copy.get(), live);
    // an object whose class cannot be made (a static device) stays out, as a branch leaves it
    VnOS->SetError(0, nullptr, nullptr);
    return snapshot;
}

std::shared_ptr<TSnapshot> TSnapshot::Load(const QString& file, IRoot* live,
                                           const QString& rootPath, QString* why) {
    const QFileInfo info(file);
    QFile input(file);
    if (!live) {
        *why = "there is no object to compare with";
    } else if (!info.isFile() || info.size() > kFileLimit) {
        *why = QString("%1 is no branch file of at most 256 MB").arg(file);
    } else if (!input.open(QIODevice::ReadOnly)) {
        *why = QString("Cannot read %1: %2").arg(file, input.errorString());
    } else {
        const QByteArray text = input.read(kFileLimit + 1);
        IRoot* copy = VnLoadBranchText(text.constData(), static_cast<std::size_t>(text.size()));
        if (copy)
            return std::shared_ptr<TSnapshot>(
                new TSnapshot(VnRef<IRoot>::Adopt(copy), live, rootPath, file));
        *why = PendingError();
    }
    return nullptr;
}

std::vector<TChangeRow> TSnapshot::Compare() const { return TSnapshotCompare(*this).Run(); }

int TSnapshot::Revert(std::vector<TChangeRow>& rows, TEditHistory& history,
                      const QString& text) const {
    std::vector<std::unique_ptr<TEditStep>> steps;
    VnRef<IRoot> target = LiveRoot();
    for (TChangeRow& row : rows) {
        if (!row.revert) continue;
        if (std::unique_ptr<TEditStep> step = row.revert(history)) {
            if (!target) target = step->Target();
            steps.push_back(std::move(step));
        }
    }
    const int count = static_cast<int>(steps.size());
    history.RecordGroup(target.get(), std::move(steps), text);
    return count;
}

bool TSnapshot::Save(const QString& file, QString* why) const {
    std::size_t size = 0;
    char* text = mCopy ? VnBranchText(mCopy.get(), &size) : nullptr;
    if (!text) {
        *why = PendingError();
        return false;
    }
    QSaveFile output(file);
    const bool written =
        output.open(QIODevice::WriteOnly) &&
        output.write(text, static_cast<qint64>(size)) == static_cast<qint64>(size) &&
        output.commit();
    VnOS->Free(text);
    if (!written) *why = QString("Cannot write %1: %2").arg(file, output.errorString());
    VnOS->SetError(0, nullptr, nullptr);
    return written;
}
