#include "app/tm_about_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/forms.h"
#include "app/version.h"
#include "platform/message_box.h"

namespace {
QLabel* AddLabel(QLayout* layout, const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    layout->addWidget(label);
    return label;
}
}  // namespace

TmAboutBox::TmAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("mAboutBox");
    setWindowTitle("About");
    setWindowIcon(ProgramImage());
    // the picture beside the text, OK below; the box takes the size its text needs
    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setHorizontalSpacing(16);
    auto* picture = new QLabel;
    picture->setObjectName("ProgramIcon");
    picture->setPixmap(ProgramImage().pixmap(64, 64));
    grid->addWidget(picture, 0, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    QLabel* product = AddLabel(text, "ProductName", "Mosswick");
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.5);
    product->setFont(bold);
    AddLabel(text, "mVersion", "Version 0.x");
    AddLabel(text, "mRelease", "Version 0.x");
    AddLabel(text, "mBuild", "Version 0.x");
    text->addSpacing(8);
    AddLabel(text, "Copyright", "An authoring tool for the live object world of a game runtime.");
    AddLabel(text, "Comments", "blahblah...");
    grid->addLayout(text, 0, 1);
    auto* ok = new QPushButton("OK");
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(mw::kIdOk); });
    grid->addWidget(ok, 1, 0, 1, 2, Qt::AlignRight);
    FormCreate();
}

void TmAboutBox::FormCreate() {
    findChild<QLabel*>("mVersion")
        ->setText(QString::asprintf("Version %.2d.%.2d", kVersionMajor, kVersionMinor));
    findChild<QLabel*>("mRelease")->setText(QString::asprintf("Release %d", kVersionRelease));
    findChild<QLabel*>("mBuild")->setText(QString::asprintf("Build %d", kVersionBuild));
}
