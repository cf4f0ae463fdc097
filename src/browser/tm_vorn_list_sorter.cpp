#include "browser/tm_vorn_list_sorter.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <iterator>

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

TmVornListSorter::TmVornListSorter(QWidget* parent)
    : QDialog(parent),
      mListBox(PlaceControl(new QListWidget, this, "mListBox", {8, 8, 193, 153})),
      mTop(AddMoveButton("mTop", "&Top", 8, Move::Top)),
      mUp(AddMoveButton("mUp", "Move &Up", 40, Move::Up)),
      mDown(AddMoveButton("mDown", "Move &Down", 72, Move::Down)),
      mBottom(AddMoveButton("mBottom", "&Bottom", 104, Move::Bottom)),
      mOK(PlaceControl(new QPushButton("OK"), this, "mOK", {128, 216, 75, 25})) {
    setObjectName("mVornListSorter");
    setWindowTitle("List Manipulating Device - LMD");
    setFixedSize(302, 250);
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
    connect(mListBox, &QListWidget::itemSelectionChanged, this, &TmVornListSorter::mListBoxClick);
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
    mList = list;
    FillListBox(nullptr);
    UpdateButtons();
    mOK->setFocus();
    const bool accepted = exec() == QDialog::Accepted;
    mList = nullptr;
    return accepted;
}

void TmVornListSorter::OnMoveItem(Move which) {
    if (!mList) return;
    const int line = SelectedLine();
    if (!ShowsList()) {
        // a script changed the list meanwhile: moving now could ask for a position it lacks
        FillListBox(LineObject(line));
    } else if (const int to = MoveTarget(which, line, mListBox->count()); to >= 0) {
        mListBox->insertItem(to, mListBox->takeItem(line));
        mList->MoveItem(line, to);
        mListBox->setCurrentRow(to);
    }
    UpdateButtons();
}

void TmVornListSorter::mListBoxClick() { UpdateButtons(); }

void TmVornListSorter::FillListBox(IRoot* selected) {
    mListBox->clear();
    int selectedLine = 0;
    for (int k = 0; k < mList->GetCount(); ++k) {
        IRoot* item = mList->GetItem(k);
        auto* line = new QListWidgetItem(LineText(item), mListBox);
        line->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(item)));
        if (item == selected) selectedLine = k;
    }
    mListBox->setCurrentRow(selectedLine);
}

bool TmVornListSorter::ShowsList() const {
    const int count = mListBox->count();
    if (mList->GetCount() != count) return false;
    for (int k = 0; k < count; ++k)
        if (LineObject(k) != mList->GetItem(k)) return false;
    return true;
}

int TmVornListSorter::SelectedLine() const {
    const QList<QListWidgetItem*> selected = mListBox->selectedItems();
    return selected.isEmpty() ? -1 : mListBox->row(selected.front());
}

IRoot* TmVornListSorter::LineObject(int line) const {
    const QListWidgetItem* item = mListBox->item(line);
    return item ? static_cast<IRoot*>(item->data(Qt::UserRole).value<void*>()) : nullptr;
}

void TmVornListSorter::UpdateButtons() {
    const int line = SelectedLine();
    const bool up = line > 0;
    const bool down = line != -1 && line != mListBox->count() - 1;
    mTop->setEnabled(up);
    mUp->setEnabled(up);
    mDown->setEnabled(down);
    mBottom->setEnabled(down);
}
