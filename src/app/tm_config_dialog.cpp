#include "app/tm_config_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "shell/setting_keys.h"
#include "shell/settings.h"
#include "vorn/os.h"

namespace {
template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}
}  // namespace

TmConfigDialog::TmConfigDialog(QWidget* parent)
    : QDialog(parent),
      mDisplay3DOnStartup(
          Named(new QCheckBox("&Display 3D window on startup"), "mDisplay3DOnStartup")),
      mConfirmOnExit(Named(new QCheckBox("&Confirm application exit"), "mConfirmOnExit")),
      mResdir(Named(new QLineEdit, "mResdir")),
      mUseAppPath(Named(new QCheckBox("&Use application path"), "mUseAppPath")) {
    setObjectName("mConfigDialog");
    setWindowTitle("Config stuff");
    resize(318, 213);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mDisplay3DOnStartup);
    layout->addWidget(mConfirmOnExit);
    auto* group = Named(new QGroupBox("Resource path"), "GroupBox1");
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(mResdir);
    inner->addWidget(mUseAppPath);
    layout->addWidget(group);
    auto* buttons = new QHBoxLayout;
    auto* ok = Named(new QPushButton("OK"), "mOK");
    auto* cancel = Named(new QPushButton("Cancel"), "mCancel");
    ok->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (mOKClick()) done(mw::kIdOk);
    });
    connect(cancel, &QPushButton::clicked, this, [this] { done(mw::kIdCancel); });
}

void TmConfigDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FormActivate();
}

void TmConfigDialog::FormActivate() {
    mDisplay3DOnStartup->setChecked(mw::SettingFlag(mw::keys::kView3D, "0"));
    mConfirmOnExit->setChecked(mw::SettingFlag(mw::keys::kConfirmExit, "0"));
    mResdir->setText(QString::fromUtf8(VnOS->GetPath(kVnPathResource)));
    mUseAppPath->setChecked(mw::SettingFlag(mw::keys::kUseAppPath, "0"));
}

bool TmConfigDialog::mOKClick() {
    mw::WriteFlag(mw::keys::kView3D, mDisplay3DOnStartup->isChecked());
    mw::WriteFlag(mw::keys::kConfirmExit, mConfirmOnExit->isChecked());
    // an empty name is no folder, though QDir takes it for the current one
    const QString folder = mResdir->text();
    if ((folder.isEmpty() || !QDir(folder).exists()) && !mUseAppPath->isChecked() &&
        mw::ShowMessageBox(this, "Apparently, the resdir is invalid. Continue nevertheless?",
                           "Hmmm!?!", mw::kMbYesNo | mw::kMbIconQuestion) == mw::kIdNo)
        return false;
    VnOS->SetPath(kVnPathResource, mResdir->text().toUtf8().constData());
    mw::WriteFlag(mw::keys::kUseAppPath, mUseAppPath->isChecked());
    return true;
}
