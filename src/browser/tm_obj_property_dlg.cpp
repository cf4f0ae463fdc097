#include "browser/tm_obj_property_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>
#include <iterator>

#include "core/class_id.h"

namespace {

// A read-only field on the button face, so it does not look editable.
QLineEdit* ReadOnlyField(const char* name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setReadOnly(true);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    field->setPalette(palette);
    return field;
}

QPushButton* Button(const char* name, const char* text) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

void AddRow(QGridLayout* grid, const char* name, const char* text, QLineEdit* field) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setBuddy(field);
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
}

QString InterfaceText(const VnIID* iid) {
    const std::size_t length = iid ? strnlen(iid->name, sizeof iid->name) : 0;
    return length ? QString::fromLatin1(iid->name, static_cast<int>(length)) : "(any)";
}

QString ObjectText(IRoot* object) {
    if (!object) return "(unassigned)";
    return "Instance of " + QString::fromStdString(mw::ClassName(object));
}

}  // namespace

TmObjPropertyDlg::TmObjPropertyDlg(QWidget* parent)
    : QDialog(parent),
      mName(ReadOnlyField("mName")),
      mTypeName(ReadOnlyField("mTypeName")),
      mValue(ReadOnlyField("mValue")),
      mOK(Button("mOK", "OK")) {
    setObjectName("mObjPropertyDlg");
    setWindowTitle("Object Properties");
    resize(444, 280);
    auto* grid = new QGridLayout;
    AddRow(grid, "Label3", "&Name:", mName);
    AddRow(grid, "Label1", "&Type:", mTypeName);
    AddRow(grid, "Label2", "&Value:", mValue);
    auto* cancel = Button("mCancel", "Cancel");
    mOK->setDefault(true);
    connect(mOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(mOK);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
    QWidget* const order[] = {mOK, cancel, mTypeName, mValue, mName};
    for (std::size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);
}

bool TmObjPropertyDlg::Run(const mw::MemberValue& value) {
    if (!mw::IsObjectMember(value)) return false;
    mName->setText(QString::fromUtf8(value.desc->name));
    mTypeName->setText(InterfaceText(mw::RequiredInterface(value.desc)));
    mValue->setText(ObjectText(mw::MemberObject(value)));
    mOK->setFocus();
    return exec() == QDialog::Accepted;
}
