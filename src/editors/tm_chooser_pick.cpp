#include "editors/tm_chooser_pick.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <cstring>

#include "core/value_text.h"
#include "editors/member_edit.h"
#include "editors/row_editor.h"

namespace {

constexpr int kChoiceRole = Qt::UserRole;

QLineEdit* ReadOnlyField(const char* name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setBackgroundRole(QPalette::Button);
    return field;
}

// A choice's value and the member's, as the 32 bits that a set of flags uses.
uint32_t Bits(const void* storage, std::size_t size) {
    uint32_t bits = 0;
    std::memcpy(&bits, storage, std::min<std::size_t>(size, sizeof bits));
    return bits;
}

// The member's storage, at most the 8 bytes of a choice's value.
std::size_t StorageSize(const mw::MemberValue& value) {
    const int size = value.desc ? value.desc->size : 0;
    return static_cast<std::size_t>(std::clamp(size, 0, 8));
}

}  // namespace

TmChooserPick::TmChooserPick(QWidget* parent) : QDialog(parent) {
    setObjectName("mChooserPick");
    setWindowTitle("Pikkapikk");
    auto* grid = new QGridLayout(this);
    mList = new QListWidget(this);
    mList->setObjectName("mList");
    grid->addWidget(mList, 0, 0, 1, 3);
    auto* unformatted = new QLabel("Unformatted value:", this);
    unformatted->setObjectName("Label1");
    mChooserValue = ReadOnlyField("mChooserValue", this);
    grid->addWidget(unformatted, 1, 0);
    grid->addWidget(mChooserValue, 1, 1, 1, 2);
    auto* raw = new QLabel("Current raw value:", this);
    raw->setObjectName("Label2");
    mRawValue = ReadOnlyField("mRawValue", this);
    grid->addWidget(raw, 2, 0);
    grid->addWidget(mRawValue, 2, 1, 1, 2);
    mDesc = new QPlainTextEdit(this);
    mDesc->setObjectName("mDesc");
    mDesc->setReadOnly(true);
    mDesc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->addWidget(mDesc, 3, 0, 1, 3);
    mOK = new QPushButton("OK", this);
    mOK->setObjectName("mOK");
    mOK->setDefault(true);
    mCancel = new QPushButton("Cancel", this);
    mCancel->setObjectName("mCancel");
    grid->addWidget(mOK, 4, 1);
    grid->addWidget(mCancel, 4, 2);
    grid->setColumnStretch(0, 1);
    resize(326, 414);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    // a click, a key or a toggled flag: the member follows every change of the selection
    connect(mList, &QListWidget::itemSelectionChanged, this, &TmChooserPick::mListClick);
    connect(mList, &QListWidget::itemDoubleClicked, this, &TmChooserPick::mListDblClick);
}

bool TmChooserPick::Run(TMemberEdit& edit) {
    if (!Fill(edit.Value())) return false;
    mEdit = &edit;
    mListClick();       // the current choice goes into the member once
    mList->setFocus();  // the arrow keys move through the choices at once
    const bool accepted = edit.Kit().RunModal(*this) == QDialog::Accepted;
    mEdit = nullptr;
    edit.Finish(accepted);
    return accepted;
}

bool TmChooserPick::Fill(const mw::MemberValue& value) {
    const bool single = mw::IsExclusiveChoice(value.desc);
    const std::size_t size = StorageSize(value);
    mFilling = true;
    mList->clear();
    mList->setSelectionMode(single ? QAbstractItemView::SingleSelection
                                   : QAbstractItemView::MultiSelection);
    QListWidgetItem* current = nullptr;
    const uint32_t held = Bits(value.value, size);
    for (const VnChoice* c = mw::ChoiceTable(value.desc); c && c->name; ++c) {
        auto* item = new QListWidgetItem(QString::fromUtf8(c->name), mList);
        item->setData(kChoiceRole, QVariant::fromValue(reinterpret_cast<quintptr>(c)));
        const mw::MemberValue choice{value.desc, const_cast<unsigned char*>(c->value.bytes)};
        if (single && mw::CompareValues(choice, value) == 0) current = item;  // a later one wins
        if (!single) item->setSelected((held & Bits(c->value.bytes, size)) != 0);
    }
    if (!current && mList->count() > 0) current = mList->item(0);
    if (current) {
        mList->setCurrentItem(
            current, single ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
    }
    mFilling = false;
    return mList->count() > 0;
}

const VnChoice* TmChooserPick::CurrentChoice() const {
    const QListWidgetItem* item = mList->currentItem();
    return item ? reinterpret_cast<const VnChoice*>(item->data(kChoiceRole).value<quintptr>())
                : nullptr;
}

void TmChooserPick::mListClick() {
    const VnChoice* choice = CurrentChoice();
    if (mFilling || !mEdit || !choice || !mEdit->Value().value) return;
    const mw::MemberValue value = mEdit->Value();
    const std::size_t size = StorageSize(value);
    mDesc->setPlainText(QString::fromUtf8(choice->description ? choice->description : ""));
    unsigned char bytes[8] = {};
    if (mw::IsExclusiveChoice(value.desc)) {
        std::memcpy(bytes, choice->value.bytes, size);
    } else {
        uint32_t bits = 0;
        for (const QListWidgetItem* item : mList->selectedItems()) {
            const auto* c =
                reinterpret_cast<const VnChoice*>(item->data(kChoiceRole).value<quintptr>());
            bits |= Bits(c->value.bytes, size);
        }
        std::memcpy(bytes, &bits, std::min<std::size_t>(size, sizeof bits));
    }
    mEdit->WriteBytes(bytes, size);
    char buffer[TRowEditor::kTextSize];
    const mw::MemberValue unformatted{value.desc, const_cast<unsigned char*>(choice->value.bytes)};
    mChooserValue->setText(QString::fromUtf8(mw::ValueToText(unformatted, buffer, sizeof buffer)));
    mRawValue->setText(QString::fromUtf8(mw::ValueToText(value, buffer, sizeof buffer)));
}

void TmChooserPick::mListDblClick() { accept(); }
