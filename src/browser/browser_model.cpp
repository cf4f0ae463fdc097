#include "browser/browser_model.h"

#include <QFont>
#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "browser/browser_rules.h"
#include "browser/python_path.h"
#include "core/class_id.h"
#include "core/python_value.h"
#include "editors/browser_work.h"
#include "editors/row_editor.h"
#include "shell/ishell.h"
#include "vorn/pyos.h"
#include "vorn/rot.h"

namespace {

using Kind = TBrowserNode::Kind;
using Nodes = std::vector<std::unique_ptr<TBrowserNode>>;

// The descriptors of nodes that are not members: a runtime object, a Python object.
const VnMemberDescriptor kObjectDesc = {"dummyname", kVnObject, 0,       0, nullptr,
                                        nullptr,     0,         nullptr, {}};
const VnMemberDescriptor kPythonDesc = {"dummyname", kVnPython, 0,       0, nullptr,
                                        nullptr,     0,         nullptr, {}};

std::unique_ptr<TBrowserNode> MakeNode(Kind kind, mw::MemberValue value, QString label) {
    auto node = std::make_unique<TBrowserNode>();
    node->kind = kind;
    node->value = value;
    node->label = std::move(label);
    node->labelMade = true;
    return node;
}

std::unique_ptr<TBrowserNode> ObjectNode(IRoot* object, QString label) {
    auto node = MakeNode(Kind::Object, {&kObjectDesc, object}, std::move(label));
    node->keep = VnRef<IRoot>(object);
    return node;
}

// A list item: its label is made when the view first shows it.
std::unique_ptr<TBrowserNode> ItemNode(IRoot* item, int position) {
    auto node = ObjectNode(item, QString());
    node->labelMade = false;
    node->position = position;
    return node;
}

std::unique_ptr<TBrowserNode> PythonNode(PyObject* object, QString label) {
    auto node = MakeNode(Kind::Python, {&kPythonDesc, object}, std::move(label));
    node->keepPython = PyRef::Borrow(object);
    return node;
}

// A Python container found in a dictionary or a sequence: an object node when it wraps a
// runtime object, else a Python node.
std::unique_ptr<TBrowserNode> ValueNode(PyObject* value, const QString& label, bool typed) {
    if (IRoot* object = browser::Unwrapped(value)) return ObjectNode(object, label);
    if (!typed) return PythonNode(value, label);
    return PythonNode(value, label + " (" + QString::fromUtf8(Py_TYPE(value)->tp_name) + ")");
}

bool IsClassDefinedInPython(PyObject* object) {
    return PyType_Check(object) &&
           (reinterpret_cast<PyTypeObject*>(object)->tp_flags & Py_TPFLAGS_HEAPTYPE);
}

bool IsInstanceWithDict(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    return (type->tp_flags & Py_TPFLAGS_HEAPTYPE) && type->tp_dictoffset != 0;
}

}  // namespace

TBrowserModel::TBrowserModel(TEditorKit& kit, QObject* parent)
    : QAbstractItemModel(parent),
      mKit(kit),
      mWork(kit.Work()),
      mInvisibleRoot(std::make_unique<TBrowserNode>()) {
    auto desktop = std::make_unique<TBrowserNode>();
    desktop->kind = Kind::Design;
    desktop->label = "Desktop";
    desktop->labelMade = true;
    desktop->parent = mInvisibleRoot.get();
    mInvisibleRoot->children.push_back(std::move(desktop));
    mInvisibleRoot->expanded = true;
}

// The nodes go before the root reference: they may hold what the root holds.
TBrowserModel::~TBrowserModel() {
    mInvisibleRoot.reset();
    SetRootSlot(nullptr, nullptr, QString());
}

IRoot* TBrowserModel::NodeObject(const TBrowserNode* node) {
    return node && node->HasData() ? mw::MemberObject(node->value) : nullptr;
}

PyObject* TBrowserModel::NodePython(const TBrowserNode* node) {
    return node && node->HasData() ? mw::MemberPython(node->value) : nullptr;
}

const void* TBrowserModel::Identity(IRoot* object, PyObject* python) {
    if (object) {
        VnRef<IRoot> root = VnQuery<IRoot>(object, 1);
        return root ? static_cast<const void*>(root.get()) : object;
    }
    return python;
}

// a script attribute holding a wrapper shows the object it wraps
const void* TBrowserModel::Identity(const TBrowserNode* node) {
    IRoot* object = NodeObject(node);
    PyObject* python = object ? nullptr : NodePython(node);
    if (IRoot* wrapped = python ? browser::Unwrapped(python) : nullptr) object = wrapped;
    return Identity(object, object ? nullptr : python);
}

TBrowserNode* TBrowserModel::Top() const {
    return mInvisibleRoot->children.empty() ? nullptr : mInvisibleRoot->children.front().get();
}

TBrowserNode* TBrowserModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TBrowserNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TBrowserModel::IndexOf(const TBrowserNode* node) const {
    if (!node || node == mInvisibleRoot.get()) return {};
    return createIndex(node->row, 0, const_cast<TBrowserNode*>(node));
}

// --- the root ------------------------------------------------------------------------------

QString TBrowserModel::RootLabel(IRoot* object, PyObject* python, const QString& label) const {
    if (!label.isEmpty()) return label;
    if (object) {
        QString name = browser::NameOf(object);
        return name.isEmpty() ? QString::fromStdString(mw::ClassName(object)) : name;
    }
    if (!python) return {};
    QString text = QString::fromUtf8(Py_TYPE(python)->tp_name);
    if (PyModule_Check(python)) {
        const char* name = PyModule_GetName(python);
        PyErr_Clear();
        text += " " + QString::fromUtf8(name ? name : "");
    }
    return text;
}

void TBrowserModel::SetRootSlot(IRoot* object, PyObject* python, const QString& label) {
    // the new root is held before the old one goes: it may be held only by the old one; the
    // old one goes once the slot holds the new one, and only after the update (its __del__
    // may browse)
    if (object) object->AddRef();
    Py_XINCREF(python);
    if (mRootDesc.type == kVnObjectRef && mRootSlot)
        mWork.Retire(
            std::make_unique<VnRef<IRoot>>(VnRef<IRoot>::Adopt(static_cast<IRoot*>(mRootSlot))));
    if (mRootDesc.type == kVnPythonRef && mRootSlot)
        mWork.Retire(std::make_unique<PyRef>(PyRef::Steal(static_cast<PyObject*>(mRootSlot))));
    mRootSlot = nullptr;
    mRootLabel = label.toUtf8();
    mRootDesc = VnMemberDescriptor{};
    mRootDesc.name = mRootLabel.constData();
    mRootDesc.type = object ? kVnObjectRef : python ? kVnPythonRef : 0u;
    mRootSlot = object ? static_cast<void*>(object) : static_cast<void*>(python);
}

void TBrowserModel::SetRoot(IRoot* object, PyObject* python, const QString& label) {
    if (object) python = nullptr;
    const QString text = RootLabel(object, python, label);
    beginResetModel();
    RetireChildren(mInvisibleRoot.get());
    SetRootSlot(object, python, text);
    auto root = MakeNode(Kind::Root, {&mRootDesc, &mRootSlot}, text);
    root->parent = mInvisibleRoot.get();
    mInvisibleRoot->children.push_back(std::move(root));
    endResetModel();
    if (Filtering()) FilterBelow(Top());
}

// Old nodes go once the work that replaced them is over: a frame may still hold one, and what
// they hold may run a __del__ that browses.
void TBrowserModel::RetireChildren(TBrowserNode* node) {
    if (node->children.empty()) return;
    auto old = std::make_unique<Nodes>(std::move(node->children));
    node->children.clear();
    mWork.Retire(std::move(old));
}

// --- expanding -----------------------------------------------------------------------------

void TBrowserModel::ReplaceChildren(TBrowserNode* node, Nodes children) {
    const QModelIndex at = IndexOf(node);
    if (!node->children.empty()) {
        // the view forgets the rows it hid: it would keep them after they are gone
        if (Filtering())
            for (const auto& child : node->children) UnhideBelow(child.get());
        beginRemoveRows(at, 0, static_cast<int>(node->children.size()) - 1);
        RetireChildren(node);
        endRemoveRows();
    }
    if (!children.empty()) {
        beginInsertRows(at, 0, static_cast<int>(children.size()) - 1);
        for (std::size_t i = 0; i < children.size(); ++i) {
            children[i]->parent = node;
            children[i]->row = static_cast<int>(i);
        }
        node->children = std::move(children);
        endInsertRows();
        if (Filtering()) FilterNewChildren(node);
    }
    // the expand button goes from a node found empty; an unexpanded node already had one
    if (node->children.empty() && node->expanded) emit dataChanged(at, at);
}

void TBrowserModel::ExpandNode(TBrowserNode* node) {
    if (!node || !node->HasData()) return;
    Nodes children;
    if (IRoot* object = mw::MemberObject(node->value))
        AddObjectChildren(node, object, children);
    else if (PyObject* python = mw::MemberPython(node->value))
        AddPythonChildren(node, python, children);
    node->expanded = true;
    ReplaceChildren(node, std::move(children));
}

void TBrowserModel::CollapseNode(TBrowserNode* node) {
    if (!node || !node->HasData()) return;
    node->expanded = false;
    ReplaceChildren(node, {});
}

void TBrowserModel::ExpandInView(const TBrowserNode* node) {
    mExpandingInView = true;
    emit OpenRequested(node);
    mExpandingInView = false;
}

void TBrowserModel::AddObjectChildren(TBrowserNode*, IRoot* object, Nodes& out) {
    if (VnRef<IList> list = VnQuery<IList>(object, 1)) {
        const int n = list->GetCount();
        out.reserve(static_cast<std::size_t>(std::max(n, 0)));
        for (int i = 0; i < n; ++i)
            if (IRoot* item = list->GetItem(i)) out.push_back(ItemNode(item, i));
        return;
    }
    mw::ForEachMember(object, [&](const mw::MemberValue& value, const VnTypeInfo*) {
        if (!browser::IsContainer(value)) return;
        auto node = MakeNode(Kind::Member, value, QString::fromUtf8(value.desc->name));
        node->keep = VnRef<IRoot>(object);
        out.push_back(std::move(node));
    });
    PyRef split = PyRef::Steal(PyOS->Split(object, -1));
    PyRef wrapper = PyRef::Steal(split ? PyOS->Wrap(object, -1) : nullptr);
    if (!split || !wrapper || !PySequence_Check(split.get())) {
        PyErr_Clear();
        return;
    }
    for (Py_ssize_t part = 0; part < 2; ++part) {
        PyRef names = PyRef::Steal(PySequence_GetItem(split.get(), part));
        const Py_ssize_t n = names ? PySequence_Size(names.get()) : 0;
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyRef name = PyRef::Steal(PySequence_GetItem(names.get(), i));
            PyRef value =
                PyRef::Steal(name ? PyObject_GetAttr(wrapper.get(), name.get()) : nullptr);
            PyErr_Clear();
            if (!browser::IsContainer(value.get())) continue;
            out.push_back(PythonNode(value.get(), browser::PythonText(name.get())));
            out.back()->step = "." + out.back()->label;
        }
    }
    PyErr_Clear();
}

void TBrowserModel::AddPythonChildren(TBrowserNode* node, PyObject* object, Nodes& out) {
    if (PyObject* dict = browser::ItemsOf(object)) {
        browser::ForEachItem(dict, [&](PyObject* key, PyObject* value) {
            if (browser::IsContainer(value)) {
                out.push_back(ValueNode(value, browser::PythonText(key), true));
                out.back()->key = PyRef::Borrow(key);
            }
            return true;
        });
        return;
    }
    if (browser::IsSequence(object)) {
        const Py_ssize_t n = PySequence_Size(object);
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyRef item = PyRef::Steal(PySequence_GetItem(object, i));
            if (!item || !browser::IsContainer(item.get())) continue;
            out.push_back(ValueNode(item.get(), QString("[%1]").arg(i), false));
            out.back()->step = out.back()->label;
        }
        PyErr_Clear();
        return;
    }
    if (IRoot* wrapped = browser::Unwrapped(object)) {
        AddObjectChildren(node, wrapped, out);
        return;
    }
    if (IsClassDefinedInPython(object)) {
        auto* type = reinterpret_cast<PyTypeObject*>(object);
        PyRef methods = PyRef::Steal(PyDict_New());
        if (methods && type->tp_dict) PyDict_Update(methods.get(), type->tp_dict);
        out.push_back(PythonNode(type->tp_bases ? type->tp_bases : Py_None, "bases (tuple)"));
        out.back()->step = ".__bases__";
        out.push_back(PythonNode(methods.get(), "methods (dict)"));
        out.back()->step = ".__dict__";  // a read-only view of the same names
        PyErr_Clear();
        return;
    }
    if (IsInstanceWithDict(object)) {
        PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
        PyRef members = PyRef::Steal(PyObject_GenericGetDict(object, nullptr));
        out.push_back(PythonNode(type, "class " + QString::fromUtf8(Py_TYPE(object)->tp_name)));
        out.back()->step = ".__class__";
        if (members) {
            out.push_back(PythonNode(members.get(), "members (dict)"));
            out.back()->step = ".__dict__";
        }
        PyErr_Clear();
    }
}

// Breadth first, so the first node found lies on a shortest way. Children are built as
// expanding builds them, into nodes of the search's own.
TBrowserModel::Way TBrowserModel::FindWay(TBrowserNode* from, const void* wanted, int budget) {
    Way way;
    if (!from || !from->HasData() || !wanted) return way;
    std::unordered_set<const void*> entered;
    if (const void* self = Identity(from)) entered.insert(self);
    std::deque<TBrowserNode*> queue{from};
    while (!queue.empty() && budget > 0) {
        TBrowserNode* node = queue.front();
        queue.pop_front();
        Nodes children;
        if (IRoot* object = mw::MemberObject(node->value))
            AddObjectChildren(node, object, children);
        else if (PyObject* python = mw::MemberPython(node->value))
            AddPythonChildren(node, python, children);
        budget -= static_cast<int>(children.size());
        for (std::size_t i = 0; i < children.size(); ++i) {
            TBrowserNode* child = children[i].get();
            child->parent = node;
            child->row = static_cast<int>(i);
            way.built.push_back(std::move(children[i]));
            const void* self = Identity(child);
            if (self == wanted) {
                for (const TBrowserNode* at = child; at != from; at = at->parent)
                    way.steps.push_back(at);
                std::reverse(way.steps.begin(), way.steps.end());
                return way;
            }
            if (self && entered.insert(self).second) queue.push_back(child);
        }
    }
    return way;
}

QString TBrowserModel::PathFromTable(IRoot* object, PyObject* python) {
    if (!VnROT) return {};
    std::unique_ptr<TBrowserNode> table = ObjectNode(VnROT, "ROT");
    Way way = FindWay(table.get(), Identity(object, object ? nullptr : python));
    const QString path =
        way.steps.empty() ? QString() : browser::NodePath(way.steps.back(), way.steps.back());
    // the records go once the work is over: what they hold may run a __del__
    mWork.Retire(std::make_unique<Way>(std::move(way)));
    mWork.Retire(std::move(table));
    return path;
}

TBrowserModel::ExpandEnd TBrowserModel::ExpandAll(TBrowserNode* node) {
    bool tooDeep = false;
    if (!ExpandBelow(node, tooDeep)) return ExpandEnd::Stopped;
    return tooDeep ? ExpandEnd::TooDeep : ExpandEnd::Whole;
}

// Depth first without recursion, with the objects on the way down counted in a table, so a
// chain of any depth costs time in proportion to its nodes.
bool TBrowserModel::ExpandBelow(TBrowserNode* top, bool& tooDeep) {
    if (!top || !top->HasData()) return true;
    std::unordered_map<const void*, int> above;  // objects of the nodes above the one in hand
    for (const TBrowserNode* up = top->parent; up && up != mInvisibleRoot.get(); up = up->parent)
        if (up->HasData())
            if (const void* self = Identity(up)) ++above[self];
    struct Step {
        TBrowserNode* node;
        std::size_t next;  // the child to enter next
        const void* self;
    };
    std::vector<Step> path;
    int budget = kExpandBudget;
    // one layout of the view at the end instead of one search of it for each node: a row
    // hidden or shown again asks for that
    emit RowShownChanged(top, !top->hidden);
    // false once the budget is spent; a node showing an object above it stays closed
    const auto enter = [&](TBrowserNode* node) {
        const void* self = Identity(node);
        if (self && above.count(self)) return true;
        ExpandNode(node);
        budget -= static_cast<int>(node->children.size());
        // the view lays out open nodes by recursion: past this depth it would overflow the stack
        if (path.size() < static_cast<std::size_t>(kViewDepth))
            ExpandInView(node);
        else
            tooDeep = tooDeep || !node->children.empty();
        if (budget < 0) return false;
        if (self) ++above[self];
        path.push_back({node, 0, self});
        return true;
    };
    bool whole = enter(top);
    while (whole && !path.empty()) {
        Step& step = path.back();
        if (step.next < step.node->children.size()) {
            TBrowserNode* child = step.node->children[step.next++].get();
            if (child->HasData()) whole = enter(child);
            continue;
        }
        if (step.self && --above[step.self] == 0) above.erase(step.self);
        path.pop_back();
    }
    return whole;
}

// --- the filter ----------------------------------------------------------------------------

void TBrowserModel::SetFilter(const QString& text) {
    const QString folded = text.toCaseFolded();
    if (folded == mFilter) return;
    mFilter = folded;
    for (const auto& top : mInvisibleRoot->children) FilterBelow(top.get());
    emit FilterApplied();
}

bool TBrowserModel::Matches(TBrowserNode* node) const {
    if (!node->foldedMade) {
        node->folded = Label(node).toCaseFolded();
        node->foldedMade = true;
    }
    return node->folded.contains(mFilter);
}

// Every node below is visited, so none keeps the flags of an earlier text; the view is told
// only about rows whose state changes.
bool TBrowserModel::FilterBelow(TBrowserNode* node) {
    bool below = false;
    for (const auto& child : node->children)
        if (FilterBelow(child.get())) below = true;
    node->matched = Filtering() && Matches(node);
    const bool shown = !Filtering() || node->matched || below;
    ShowRow(node, shown);
    return shown;
}

// The rebuilt node itself keeps its state: a node the user expands or collapses never vanishes
// under the pointer. A new match shows in place, so the nodes above it show too.
void TBrowserModel::FilterNewChildren(TBrowserNode* node) {
    bool found = false;
    for (const auto& child : node->children) {
        child->matched = Matches(child.get());
        ShowRow(child.get(), child->matched);
        if (child->matched) found = true;
    }
    for (TBrowserNode* up = node; found && up->parent && up->hidden; up = up->parent)
        ShowRow(up, true);
}

void TBrowserModel::UnhideBelow(TBrowserNode* node) {
    for (const auto& child : node->children) UnhideBelow(child.get());
    ShowRow(node, true);
}

void TBrowserModel::ShowRow(TBrowserNode* node, bool shown) {
    if (node->hidden == !shown) return;
    node->hidden = !shown;
    emit RowShownChanged(node, shown);
}

// --- what the view shows -------------------------------------------------------------------

QString TBrowserModel::Label(const TBrowserNode* node) const {
    if (!node) return {};
    if (node->labelMade) return node->label;
    auto* made = const_cast<TBrowserNode*>(node);
    IRoot* item = NodeObject(node);
    QString label = browser::MonikerText(item);
    if (label.isEmpty()) label = browser::NameOf(item);
    if (label.isEmpty())
        label = QString::fromStdString(mw::ClassName(item)) + QString::number(node->position);
    made->label = label;
    made->labelMade = true;
    return label;
}

int TBrowserModel::NodeImage(const TBrowserNode* node) const {
    if (!node) return browser::kImagePlainObject;
    if (node->kind == Kind::Design) return browser::kImageDesktop;
    IRoot* object = NodeObject(node);
    if (!object) object = browser::Unwrapped(NodePython(node));
    return browser::ObjectImage(object);
}

// --- the item model ------------------------------------------------------------------------

QModelIndex TBrowserModel::index(int row, int column, const QModelIndex& parent) const {
    const TBrowserNode* owner = parent.isValid() ? NodeOf(parent) : mInvisibleRoot.get();
    if (column != 0 || row < 0 || !owner || row >= static_cast<int>(owner->children.size()))
        return {};
    return createIndex(row, 0, owner->children[static_cast<std::size_t>(row)].get());
}

QModelIndex TBrowserModel::parent(const QModelIndex& index) const {
    const TBrowserNode* node = NodeOf(index);
    return node ? IndexOf(node->parent) : QModelIndex();
}

int TBrowserModel::rowCount(const QModelIndex& parent) const {
    const TBrowserNode* owner = parent.isValid() ? NodeOf(parent) : mInvisibleRoot.get();
    return owner ? static_cast<int>(owner->children.size()) : 0;
}

int TBrowserModel::columnCount(const QModelIndex&) const { return 1; }

bool TBrowserModel::hasChildren(const QModelIndex& parent) const {
    const TBrowserNode* owner = parent.isValid() ? NodeOf(parent) : mInvisibleRoot.get();
    if (!owner) return false;
    return !owner->children.empty() || (owner->HasData() && !owner->expanded);
}

QVariant TBrowserModel::data(const QModelIndex& index, int role) const {
    const TBrowserNode* node = NodeOf(index);
    if (!node) return {};
    TBrowserWork::Scope work(mWork);  // what makes a label may not rebuild the tree
    if (role == Qt::DisplayRole) return Label(node);
    if (role == Qt::DecorationRole) return mKit.Shell().Image(NodeImage(node));
    if (role == Qt::FontRole && node->matched && Filtering()) {
        QFont bold;  // only the weight: the view's own font gives the rest
        bold.setBold(true);
        return bold;
    }
    return {};
}
