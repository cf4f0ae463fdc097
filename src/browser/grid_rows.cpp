#include "browser/grid_rows.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QTimer>

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
    mRows.resize(1);
    mSteps.resize(1);
    mClock.start();
    mFade = new QTimer(this);
    mFade->setSingleShot(true);
    connect(mFade, &QTimer::timeout, this, [this] { mGrid->viewport()->update(); });
}

TGridRows::~TGridRows() = default;

void TGridRows::ClearRows() {
    beginResetModel();
    mRows.clear();
    mRows.resize(1);
    mSteps.assign(1, QString());
    mSeen.clear();
    mHeader.clear();
    mShowing = false;
    mOwner.reset();
    mOwnerPython.reset();
    endResetModel();
}

void TGridRows::FillRows(const TBrowserNode* node) {
    beginResetModel();
    mShowing = true;
    IRoot* object = mw::MemberObject(node->value);
    PyObject* python = object ? nullptr : mw::MemberPython(node->value);
    IRoot* wrapped = browser::Unwrapped(python);
    SetHeader(node, object ? object : wrapped, python);
    if (object) {
        mOwner = VnRef<IRoot>(object);
        AddMemberRows(object);
        AddAttributeRows(object);
    } else if (wrapped) {
        mOwner = VnRef<IRoot>(wrapped);
        AddMemberRows(wrapped);
    } else if (python) {
        mOwnerPython = PyRef::Borrow(python);
        if (PyObject* dict = browser::ItemsOf(python))
            AddDictionaryRows(python, dict);
        else if (browser::IsSequence(python))
            AddSequenceRows(python);
    }
    endResetModel();
    mGrid->setEnabled(mRows.size() > 1);
}

void TGridRows::SetHeader(const TBrowserNode* node, IRoot* object, PyObject* python) {
    if (object)
        mHeader = QString::fromStdString(mw::ClassName(object));
    else if (const VnIID* iid = mw::RequiredInterface(node->value.desc))
        mHeader = QString::fromUtf8(iid->name, int(strnlen(iid->name, sizeof iid->name)));
    else
        mHeader = python ? "Key" : "Unassigned ref";
}

void TGridRows::AddRow(std::unique_ptr<TRowEditor> editor, INotify* owner, QString step) {
    editor->mGrid = mGrid;
    editor->mRow = static_cast<int>(mRows.size());
    if (owner && (editor->mValue.desc->editflags & kVnEditNotify))
        editor->mNotify = VnRef<INotify>(owner);
    mRows.push_back(std::move(editor));
    mSteps.push_back(std::move(step));
}

bool TGridRows::ChangedLately(int row) {
    TRowEditor* editor = Editor(row);
    if (!editor) return false;
    if (mSeen.size() < mRows.size()) mSeen.resize(mRows.size());
    Seen& seen = mSeen[static_cast<std::size_t>(row)];
    char buffer[TRowEditor::kTextSize];
    const char* text = editor->GetText(buffer, sizeof buffer);
    const qint64 now = mClock.elapsed();
    if (seen.drawn && seen.text != text) {
        seen.changedAt = now;
        mFade->start(kChangeShownMs + 20);  // the last change decides when the marks go
    }
    seen.drawn = true;
    seen.text = text;
    return seen.changedAt >= 0 && now - seen.changedAt < kChangeShownMs;
}

QString TGridRows::PathStep(int row) const {
    return row > 0 && row < static_cast<int>(mSteps.size()) ? mSteps[static_cast<std::size_t>(row)]
                                                            : QString();
}

void TGridRows::AddMemberRows(IRoot* object) {
    VnRef<INotify> owner = VnQuery<INotify>(object, 1);
    mw::ForEachMember(object, [&](const mw::MemberValue& value, const VnTypeInfo*) {
        if (browser::IsContainer(value)) return;
        std::unique_ptr<TRowEditor> editor = CreateRowEditor(value, mKit);
        editor->mOwner = VnRef<IRoot>(object);  // its storage lives in the object
        AddRow(std::move(editor), owner.get(), "." + QString::fromUtf8(value.desc->name));
    });
}

void TGridRows::AddAttributeRows(IRoot* object) {
    PyRef split = PyRef::Steal(PyOS->Split(object, -1));
    if (!split || !PySequence_Check(split.get()) || PySequence_Size(split.get()) < 2) {
        PyErr_Clear();
        return;
    }
    PyRef wrapper = PyRef::Steal(PyOS->Wrap(object, -1));
    PyRef readOnly = PyRef::Steal(PySequence_GetItem(split.get(), 0));
    PyRef editable = PyRef::Steal(PySequence_GetItem(split.get(), 1));
    if (wrapper && readOnly && editable) {
        AddAttributeRows(readOnly.get(), wrapper.get(), true);
        AddAttributeRows(editable.get(), wrapper.get(), false);
    }
    PyErr_Clear();
}

void TGridRows::AddAttributeRows(PyObject* names, PyObject* wrapper, bool readOnly) {
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
        AddRow(CreatePyRowEditor(value.get(), wrapper, name.get(), text, readOnly, mKit), nullptr,
               "." + text);
    }
}

void TGridRows::AddDictionaryRows(PyObject* owner, PyObject* dict) {
    browser::ForEachItem(dict, [&](PyObject* key, PyObject* value) {
        if (!browser::IsContainer(value))
            AddRow(CreatePyRowEditor(value, dict, key, browser::PythonText(key), false, mKit),
                   nullptr, browser::KeyStep(owner, key));
        return true;
    });
}

void TGridRows::AddSequenceRows(PyObject* sequence) {
    const Py_ssize_t n = PySequence_Size(sequence);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyRef item = PyRef::Steal(PySequence_GetItem(sequence, i));
        if (!item) {
            PyErr_Clear();
            continue;
        }
        if (browser::IsContainer(item.get())) continue;
        PyRef key = PyRef::Steal(PyLong_FromSsize_t(i));
        const QString label = QString("[%1]").arg(i);
        AddRow(CreatePyRowEditor(item.get(), sequence, key.get(), label, false, mKit), nullptr,
               label);
    }
}

TRowEditor* TGridRows::Editor(int row) const {
    return row > 0 && row < static_cast<int>(mRows.size()) ? mRows[row].get() : nullptr;
}

bool TGridRows::SelectCell(int column, int row) {
    TRowEditor* editor = Editor(row);
    if (column != 1 || !editor) return false;
    QWidget* panel = mKit.Shell().Place(TShellPlace::RightPanel);
    QRect cell = mGrid->visualRect(index(row, column));
    if (panel) cell.translate(mGrid->viewport()->mapTo(panel, QPoint(0, 0)));
    editor->Place(cell);
    const QString description = editor->Description();
    mKit.Shell().SetStatusText(0, description.isEmpty() ? "No description available" : description);
    return true;
}

void TGridRows::EditRow(int row) {
    if (row < 0) row = mGrid->currentIndex().row();
    TRowEditor* editor = Editor(row);
    if (!editor || !editor->IsEditable()) return;
    // placed again: an edit that ended left no current editor, and the cell is still selected
    SelectCell(1, row);
    editor->BeginEdit();
}

int TGridRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mRows.size());
}

int TGridRows::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TGridRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    if (index.row() == 0) {
        if (role != Qt::DisplayRole || !mShowing) return {};
        return index.column() == 0 ? mHeader : QString("Value");
    }
    TRowEditor* editor = Editor(index.row());
    if (!editor) return {};
    if (role == Qt::ToolTipRole) return editor->Description();
    if (index.column() == 0) return QString::fromUtf8(editor->mValue.desc->name);
    char buffer[TRowEditor::kTextSize];
    return QString::fromUtf8(editor->GetText(buffer, sizeof buffer));
}

Qt::ItemFlags TGridRows::flags(const QModelIndex& index) const {
    if (index.row() > 0 && index.column() == 1) return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return Qt::ItemIsEnabled;
}

TGridDelegate::TGridDelegate(TGridRows& rows, QObject* parent)
    : QStyledItemDelegate(parent), mRows(rows) {}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    painter->save();
    const QPalette& palette = option.palette;
    if (index.row() == 0) {
        painter->fillRect(option.rect, palette.button());
        QFont bold = painter->font();
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(palette.buttonText().color());
        painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data().toString());
    } else if (TRowEditor* editor = mRows.Editor(index.row())) {
        // a value that changed since its cell was drawn before shows so for a moment
        const bool changed = index.column() == 1 && mRows.ChangedLately(index.row());
        if (option.state & QStyle::State_Selected) {
            painter->fillRect(option.rect, palette.highlight());
            painter->setPen(palette.highlightedText().color());
        } else if (changed) {
            painter->fillRect(option.rect, kChangedColor);
            painter->setPen(Qt::black);
        }
        editor->Draw(index.column(), *painter, option.rect);
    }
    painter->restore();
}
