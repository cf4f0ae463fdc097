#include "browser/tm_vorn_list_sorter.h"

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <algorithm>
#include <iterator>
#include <vector>

#include "core/class_id.h"
#include "core/member_ref.h"
#include "platform/fixed_layout.h"
#include "vorn/iroot.h"

namespace {

using mw::PlaceControl;

// An item's line: its name, or its class name when it has none.
QString LineText(IRoot* item) {
    mw::MemberRef name;
    name.Bind("name", item);
    if (*name.text()) return QString::fromUtf8(name.text());
    return QString::fromStdString(mw::ClassName(item));
}

// Where a move takes line `line` of `count`, or -1 when the line stays where it is.
int MoveTarget(TmVornListSorter::Move which, int line, int count) {
    using Move = TmVornListSorter::Move;
    if (line < 0 || line >= count) return -1;
    switch (which) {
        case Move::Top:
            return line > 0 ? 0 : -1;
        case Move::Up:
            return line > 0 ? line - 1 : -1;
        case Move::Down:
            return line + 1 < count ? line + 1 : -1;
        case Move::Bottom:
            return line + 1 < count ? count - 1 : -1;
    }
    return -1;
}

}  // namespace

// The sorter's lines: the items of a runtime list in the order shown, each held, its label
// made the first time the view asks for it, so a list of any size opens at once.
class TSorterLines final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // Takes the list's items in order; the old lines are let go after the view has dropped them.
    void Take(IList* list);
    void Clear();
    // Moves line `from` to `to`, as the list's MoveItem moves its items.
    void MoveLine(int from, int to);
    // The lines still stand for the list's items in order.
    bool Shows(IList* list) const;
    IRoot* Item(int line) const;    // null when there is no such line
    int LineOf(IRoot* item) const;  // -1 when no line shows it

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Line {
        VnRef<IRoot> item;
        QString label;
        bool labelled = false;
    };
    void Replace(std::vector<Line>& lines);
    QString Label(std::size_t line) const;

    mutable std::vector<Line> mLines;  // labels are filled in as the view asks
    quint64 mChanges = 0;              // counts changes of the lines, which a label call may make
};

void TSorterLines::Take(IList* list) {
    std::vector<Line> lines;
    lines.reserve(std::size_t(std::max(list->GetCount(), 0)));
    for (int k = 0; k < list->GetCount(); ++k)
        lines.push_back({VnRef<IRoot>(list->GetItem(k)), {}, false});
    Replace(lines);
}

void TSorterLines::Clear() {
    std::vector<Line> none;
    Replace(none);
}

void TSorterLines::Replace(std::vector<Line>& lines) {
    beginResetModel();
    mLines.swap(lines);
    ++mChanges;
    endResetModel();
    // letting go of an item may run a script: only once the view shows the new lines
    lines.clear();
}

void TSorterLines::MoveLine(int from, int to) {
    const int count = rowCount();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count) return;
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    const auto at = mLines.begin();
    if (from < to)
        std::rotate(at + from, at + from + 1, at + to + 1);
    else
        std::rotate(at + to, at + from, at + from + 1);
    ++mChanges;
    endMoveRows();
}

bool TSorterLines::Shows(IList* list) const {
    const int count = rowCount();
    if (list->GetCount() != count) return false;
    for (int k = 0; k < count; ++k)
        if (mLines[std::size_t(k)].item.get() != list->GetItem(k)) return false;
    return true;
}

IRoot* TSorterLines::Item(int line) const {
    return line >= 0 && line < rowCount() ? mLines[std::size_t(line)].item.get() : nullptr;
}

int TSorterLines::LineOf(IRoot* item) const {
    for (std::size_t k = 0; item && k < mLines.size(); ++k)
        if (mLines[k].item.get() == item) return int(k);
    return -1;
}

int TSorterLines::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(mLines.size());
}

QVariant TSorterLines::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::ParentIsInvalid)) return {};
    return Label(std::size_t(index.row()));
}

QString TSorterLines::Label(std::size_t line) const {
    if (mLines[line].labelled) return mLines[line].label;
    // making the label may run a script that changes the lines: the item is held meanwhile and
    // the label is kept only when the lines are still those it was made for
    const VnRef<IRoot> item = mLines[line].item;
    const quint64 changes = mChanges;
    const QString label = LineText(item.get());
    if (changes == mChanges) {
        mLines[line].label = label;
        mLines[line].labelled = true;
    }
    return label;
}

TmVornListSorter::TmVornListSorter(QWidget* parent)
    : QDialog(parent),
      mLines(new TSorterLines(this)),
      mListBox(PlaceControl(new QListView, this, "mListBox", {8, 8, 193, 153})),
      mTop(AddMoveButton("mTop", "&Top", 8, Move::Top)),
      mUp(AddMoveButton("mUp", "Move &Up", 40, Move::Up)),
      mDown(AddMoveButton("mDown", "Move &Down", 72, Move::Down)),
      mBottom(AddMoveButton("mBottom", "&Bottom", 104, Move::Bottom)),
      mOK(PlaceControl(new QPushButton("OK"), this, "mOK", {128, 216, 75, 25})) {
    setObjectName("mVornListSorter");
    setWindowTitle("List Manipulating Device - LMD");
    setFixedSize(302, 250);
    mLines->setObjectName("mLines");
    // one line's size stands for all, so the view never asks for every label to lay them out
    mListBox->setUniformItemSizes(true);
    mListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mListBox->setModel(mLines);
    auto* note =
        PlaceControl(new QLabel("Note: More features will be added here in the future. It's "
                                "not just for sorting lists. Cheers, The Management."),
                     this, "Label1", {16, 176, 273, 41});
    note->setWordWrap(true);
    auto* cancel = PlaceControl(new QPushButton("Cancel"), this, "mCancel", {216, 216, 75, 25});
    mOK->setDefault(true);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // keys move the selection as well as clicks, so the buttons follow the selection itself
    connect(mListBox->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TmVornListSorter::mListBoxClick);
    QWidget* const order[] = {mListBox, mTop, mUp, mDown, mBottom, mOK, cancel};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
}

QPushButton* TmVornListSorter::AddMoveButton(const char* name, const char* text, int y,
                                             Move which) {
    auto* button = PlaceControl(new QPushButton(text), this, name, {216, y, 75, 25});
    connect(button, &QPushButton::clicked, this, [this, which] { OnMoveItem(which); });
    return button;
}

bool TmVornListSorter::Run(IList* list) {
    if (!list || list->GetCount() == 0) return false;
    mList = VnRef<IList>(list);
    FillListBox(nullptr);
    UpdateButtons();
    mOK->setFocus();
    const bool accepted = exec() == QDialog::Accepted;
    mLines->Clear();  // the items are no longer held once the sorter is closed
    mList.reset();
    return accepted;
}

void TmVornListSorter::OnMoveItem(Move which) {
    if (!mList) return;
    const int line = SelectedLine();
    if (!mLines->Shows(mList.get())) {
        // a script changed the list meanwhile: moving now could ask for a position it lacks
        const VnRef<IRoot> selected(mLines->Item(line));
        FillListBox(selected.get());
    } else if (const int to = MoveTarget(which, line, mLines->rowCount()); to >= 0) {
        mLines->MoveLine(line, to);
        mList->MoveItem(line, to);
        SelectLine(to);
    }
    UpdateButtons();
}

void TmVornListSorter::mListBoxClick() { UpdateButtons(); }

void TmVornListSorter::FillListBox(IRoot* selected) {
    mLines->Take(mList.get());
    SelectLine(std::max(mLines->LineOf(selected), 0));
}

void TmVornListSorter::SelectLine(int line) {
    mListBox->selectionModel()->setCurrentIndex(mLines->index(line),
                                                QItemSelectionModel::ClearAndSelect);
}

int TmVornListSorter::SelectedLine() const {
    const QModelIndexList selected = mListBox->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void TmVornListSorter::UpdateButtons() {
    const int line = SelectedLine();
    const bool up = line > 0;
    const bool down = line != -1 && line != mLines->rowCount() - 1;
    mTop->setEnabled(up);
    mUp->setEnabled(up);
    mDown->setEnabled(down);
    mBottom->setEnabled(down);
}
