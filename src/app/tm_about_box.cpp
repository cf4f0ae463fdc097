#include "app/tm_about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    setFixedSize(298, 210);
    auto* layout = new QVBoxLayout(this);
    AddLabel(layout, "ProductName", "Mosswick");
    AddLabel(layout, "mVersion", "Version 0.x");
    AddLabel(layout, "mRelease", "Version 0.x");
    AddLabel(layout, "mBuild", "Version 0.x");
    AddLabel(layout, "Copyright", "An authoring tool for the live object world of a game runtime.");
    AddLabel(layout, "Comments", "blahblah...");
    auto* ok = new QPushButton("OK");
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(mw::kIdOk); });
    layout->addWidget(ok);
    FormCreate();
}

void TmAboutBox::FormCreate() {
    findChild<QLabel*>("mVersion")
        ->setText(QString::asprintf("Version %.2d.%.2d", kVersionMajor, kVersionMinor));
    findChild<QLabel*>("mRelease")->setText(QString::asprintf("Release %d", kVersionRelease));
    findChild<QLabel*>("mBuild")->setText(QString::asprintf("Build %d", kVersionBuild));
}
