#include "browser/grid_rows.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <climits>

#include "browser/browser_node.h"
#include "browser/browser_rules.h"
#include "browser/python_path.h"
#include "core/class_id.h"
#include "core/python_value.h"
#include "shell/ishell.h"
#include "vorn/pyos.h"

namespace {

const QColor kChangedColor(255, 226, 122);  // a warm yellow that black text reads on

}  // namespace

TGridRows::TGridRows(QAbstractItemView* grid, TEditorKit& kit, QObject* parent)
    : QAbstractTableModel(parent), mGrid(grid), mKit(kit) {
    mClock.start();
    connect(&kit.History(), &TEditHistory::MemberWritten, this,
            [this](IRoot*, const void* storage) { ShowWritten(storage); });
    mFade = new QTimer(this);
    mFade->setSingleShot(true);
    connect(mFade, &QTimer::timeout, this, [this] { mGrid->viewport()->update(); });
}

TGridRows::~TGridRows() = default;

void TGridRows::ClearRows() { Show(Content()); }

// The rows are made before the grid hears of them: making them calls Python, which may paint
// the grid or let go of what it shows.
void TGridRows::FillRows(const TBrowserNode* node) {
    Content content;
    content.showing = true;
    IRoot* object = mw::MemberObject(node->value);
    PyObject* python = object ? nullptr : mw::MemberPython(node->value);
    IRoot* wrapped = browser::Unwrapped(python);
    SetHeader(content, node, object ? object : wrapped, python);
    if (object) {
        content.owner = VnRef<IRoot>(object);
        AddMemberRows(content, object);
        AddAttributeRows(content, object);
    } else if (wrapped) {
        content.owner = VnRef<IRoot>(wrapped);
        AddMemberRows(content, wrapped);
    } else if (python) {
        content.ownerPython = PyRef::Borrow(python);
        if (PyObject* dict = browser::ItemsOf(python))
            AddDictionaryItems(content, dict);
        else if (browser::IsSequence(python))
            AddSequenceItems(content, python);
    }
    Show(std::move(content));
}

void TGridRows::Show(Content content) {
    beginResetModel();
    auto old = std::make_unique<Content>(std::move(mShown));
    for (auto& [row, editor] : mMade) old->rows.push_back(std::move(editor));
    mMade.clear();
    mShown = std::move(content);
    mCount = static_cast<int>(mShown.rows.size()) + ItemCount();
    mSeen.clear();
    endResetModel();
    // the old editors and values go once the work is over: a frame may still use one, and a
    // value's __del__ may browse
    mKit.Work().Retire(std::move(old));
    mGrid->setEnabled(mCount > 0);
}

int TGridRows::ItemCount() const {
    return static_cast<int>(mShown.keys.size() + mShown.positions.size());
}

void TGridRows::SetHeader(Content& content, const TBrowserNode* node, IRoot* object,
                          PyObject* python) {
    if (object)
        content.header = QString::fromStdString(mw::ClassName(object));
    else if (const VnIID* iid = mw::RequiredInterface(node->value.desc))
        content.header = QString::fromUtf8(iid->name, int(strnlen(iid->name, sizeof iid->name)));
    else
        content.header = python ? "Key" : "Unassigned ref";
}

void TGridRows::AddRow(Content& content, std::unique_ptr<TRowEditor> editor, QString step) {
    content.rows.push_back(std::move(editor));
    content.steps.push_back(std::move(step));
}

void TGridRows::ShowWritten(const void* storage) {
    const auto show = [this](int row) { emit dataChanged(index(row, 0), index(row, 1)); };
    for (std::size_t row = 0; row < mShown.rows.size(); ++row)
        if (mShown.rows[row]->mValue.value == storage) show(static_cast<int>(row));
    for (const auto& [row, editor] : mMade)
        if (editor->mValue.value == storage) show(row);
}

bool TGridRows::ChangedLately(int row) {
    TRowEditor* editor = Editor(row);
    if (!editor) return false;
    char buffer[TRowEditor::kTextSize];
    const char* text = editor->GetText(buffer, sizeof buffer);
    const qint64 now = mClock.elapsed();
    Seen& seen = mSeen[row];
    if (seen.drawn && seen.text != text) {
        seen.changedAt = now;
        mFade->start(kChangeShownMs + 20);  // the last change decides when the marks go
    }
    seen.drawn = true;
    seen.text = text;
    return seen.changedAt >= 0 && now - seen.changedAt < kChangeShownMs;
}

QString TGridRows::PathStep(int row) const {
    if (row < 0 || row >= mCount) return {};
    const auto eager = static_cast<int>(mShown.rows.size());
    if (row < eager) return mShown.steps[static_cast<std::size_t>(row)];
    const auto item = static_cast<std::size_t>(row - eager);
    if (!mShown.positions.empty()) return QString("[%1]").arg(mShown.positions[item]);
    return browser::KeyStep(mShown.ownerPython.get(), mShown.keys[item].get());
}

void TGridRows::AddMemberRows(Content& content, IRoot* object) {
    mw::ForEachMember(object, [&](const mw::MemberValue& value, const VnTypeInfo*) {
        if (browser::IsContainer(value)) return;
        std::unique_ptr<TRowEditor> editor = CreateRowEditor(value, mKit);
        editor->mOwner = VnRef<IRoot>(object);  // its storage lives in the object
        AddRow(content, std::move(editor), "." + QString::fromUtf8(value.desc->name));
    });
}

void TGridRows::AddAttributeRows(Content& content, IRoot* object) {
    PyRef split = PyRef::Steal(PyOS->Split(object, -1));
    if (!split || !PySequence_Check(split.get()) || PySequence_Size(split.get()) < 2) {
        PyErr_Clear();
        return;
    }
    PyRef wrapper = PyRef::Steal(PyOS->Wrap(object, -1));
    PyRef readOnly = PyRef::Steal(PySequence_GetItem(split.get(), 0));
    PyRef editable = PyRef::Steal(PySequence_GetItem(split.get(), 1));
    if (wrapper && readOnly && editable) {
        AddAttributeRows(content, readOnly.get(), wrapper.get(), true);
        AddAttributeRows(content, editable.get(), wrapper.get(), false);
    }
    PyErr_Clear();
}

void TGridRows::AddAttributeRows(Content& content, PyObject* names, PyObject* wrapper,
                                 bool readOnly) {
    const Py_ssize_t n = PySequence_Size(names);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyRef name = PyRef::Steal(PySequence_GetItem(names, i));
        PyRef value = PyRef::Steal(name ? PyObject_GetAttr(wrapper, name.get()) : nullptr);
        if (!value) {
            PyErr_Clear();  // a failed look-up gets no row
            continue;
        }
        if (browser::IsContainer(value.get())) continue;
        const QString text = browser::PythonText(name.get());
        AddRow(content, CreatePyRowEditor(value.get(), wrapper, name.get(), text, readOnly, mKit),
               "." + text);
    }
    PyErr_Clear();
}

void TGridRows::AddDictionaryItems(Content& content, PyObject* dict) {
    content.items = PyRef::Borrow(dict);
    browser::ForEachItem(dict, [&](PyObject* key, PyObject* value) {
        if (!browser::IsContainer(value)) content.keys.push_back(PyRef::Borrow(key));
        return content.keys.size() < static_cast<std::size_t>(INT_MAX - 1);
    });
}

// An exact list or tuple is read in place: telling a container from a scalar runs no code, so
// nothing can change it meanwhile. A subclass answers through its own __len__ and __getitem__.
void TGridRows::AddSequenceItems(Content& content, PyObject* sequence) {
    content.items = PyRef::Borrow(sequence);
    const auto add = [&](PyObject* item, Py_ssize_t i) {
        if (item && !browser::IsContainer(item)) content.positions.push_back(static_cast<int>(i));
    };
    if (PyList_CheckExact(sequence) || PyTuple_CheckExact(sequence)) {
        const Py_ssize_t n = std::min<Py_ssize_t>(PySequence_Fast_GET_SIZE(sequence), INT_MAX - 1);
        PyObject** items = PySequence_Fast_ITEMS(sequence);
        content.positions.reserve(static_cast<std::size_t>(n));
        for (Py_ssize_t i = 0; i < n; ++i) add(items[i], i);
        return;
    }
    const Py_ssize_t n = std::min<Py_ssize_t>(PySequence_Size(sequence), INT_MAX - 1);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyRef item = PyRef::Steal(PySequence_GetItem(sequence, i));
        add(item.get(), i);
        PyErr_Clear();
    }
    PyErr_Clear();
}

TRowEditor* TGridRows::Editor(int row) const {
    if (row < 0 || row >= mCount) return nullptr;
    if (row < static_cast<int>(mShown.rows.size())) return mShown.rows[row].get();
    const auto made = mMade.find(row);
    return made != mMade.end() ? made->second.get() : MakeItemRow(row);
}

// The item as the container holds it now: one that went meanwhile shows as None.
TRowEditor* TGridRows::MakeItemRow(int row) const {
    if (mMade.size() >= kMadeRows) DropMadeRows();
    const auto item = static_cast<std::size_t>(row - static_cast<int>(mShown.rows.size()));
    PyObject* items = mShown.items.get();
    PyRef key = mShown.positions.empty() ? mShown.keys[item]
                                         : PyRef::Steal(PyLong_FromLong(mShown.positions[item]));
    PyRef value = PyRef::Steal(key ? PyObject_GetItem(items, key.get()) : nullptr);
    if (!value) {
        PyErr_Clear();
        value = PyRef::Borrow(Py_None);
    }
    const QString label = mShown.positions.empty() ? browser::PythonText(key.get())
                                                   : QString("[%1]").arg(mShown.positions[item]);
    // Python ran above: it may have filled the grid anew, and this row may be made already
    if (row >= mCount || row < static_cast<int>(mShown.rows.size()) || items != mShown.items.get())
        return Editor(row);
    auto& slot = mMade[row];
    if (!slot) slot = CreatePyRowEditor(value.get(), items, key.get(), label, false, mKit);
    return slot.get();
}

// Rows that scrolled by are made again when they come back; one edited meanwhile is made anew
// from its container when its edit stores.
void TGridRows::DropMadeRows() const {
    auto old = std::make_unique<std::vector<std::unique_ptr<TRowEditor>>>();
    for (auto& [row, editor] : mMade) old->push_back(std::move(editor));
    mMade.clear();
    mKit.Work().Retire(std::move(old));
}

QString TGridRows::StatusText(int row) const {
    const TRowEditor* editor = Editor(row);
    const QString description = editor ? editor->Description() : QString();
    return description.isEmpty() ? "No description available" : description;
}

int TGridRows::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : mCount; }

int TGridRows::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

// The member's description and, when one is recorded, who changed it last.
QString TGridRows::ToolTip(const TRowEditor& editor) {
    const QString changed = ChangedByText(editor.mOwner.get(), editor.mValue.desc);
    const QString description = editor.Description();
    if (changed.isEmpty() || description.isEmpty()) return description + changed;
    return description + "\n" + changed;
}

QVariant TGridRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    TBrowserWork::Scope work(mKit.Work());  // a value's __str__ may not rebuild the grid
    TRowEditor* editor = Editor(index.row());
    if (!editor) return {};
    if (role == Qt::ToolTipRole) return ToolTip(*editor);
    if (index.column() == 0) return QString::fromUtf8(editor->mValue.desc->name);
    char buffer[TRowEditor::kTextSize];
    return QString::fromUtf8(editor->GetText(buffer, sizeof buffer));
}

QVariant TGridRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (!mShown.showing) return QString();
    return section == 0 ? mShown.header : QString("Value");
}

Qt::ItemFlags TGridRows::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    TBrowserWork::Scope work(mKit.Work());  // an item row is made on first use
    const TRowEditor* editor = Editor(index.row());
    if (index.column() == 1 && editor && editor->IsEditable())
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

TGridDelegate::TGridDelegate(TGridRows& rows, QObject* parent)
    : QStyledItemDelegate(parent), mRows(rows) {}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    TBrowserWork::Scope work(mRows.Work());  // a value's __str__ may not rebuild the grid
    TRowEditor* editor = mRows.Editor(index.row());
    if (!editor) return;
    painter->save();
    const QPalette& palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    // a value that changed since its cell was drawn before shows so for a moment
    const bool changed = index.column() == 1 && mRows.ChangedLately(index.row());
    if (index.column() == 1 && selected) {
        painter->fillRect(option.rect, palette.highlight());
        painter->setPen(palette.highlightedText().color());
    } else if (changed) {
        painter->fillRect(option.rect, kChangedColor);
        painter->setPen(Qt::black);
    }
    editor->Draw(index.column(), *painter, option.rect, selected);
    painter->restore();
}

QWidget* TGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                     const QModelIndex& index) const {
    TBrowserWork::Scope work(mRows.Work());
    TRowEditor* editor = mRows.Editor(index.row());
    if (index.column() != 1 || !editor || !editor->IsEditable()) return nullptr;
    QWidget* control = editor->CreateControl(parent);
    if (auto* box = qobject_cast<QAbstractButton*>(control)) {
        auto* self = const_cast<TGridDelegate*>(this);
        connect(box, &QAbstractButton::toggled, self, [self, box] { emit self->commitData(box); });
    }
    return control;
}

void TGridDelegate::setEditorData(QWidget* control, const QModelIndex& index) const {
    TBrowserWork::Scope work(mRows.Work());
    const QSignalBlocker quiet(control);  // showing the value is no change of it
    if (TRowEditor* editor = mRows.Editor(index.row())) editor->ShowInControl(control);
}

// The row's editor is asked for anew: a script may have rebuilt the rows while the control
// was open.
void TGridDelegate::setModelData(QWidget* control, QAbstractItemModel*,
                                 const QModelIndex& index) const {
    TBrowserWork::Scope work(mRows.Work());
    if (TRowEditor* editor = mRows.Editor(index.row())) editor->StoreFromControl(control);
}
