#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

// "Config stuff": the 3D window at start, exit confirmation and the resource directory.
class TmConfigDialog : public QDialog {
    Q_OBJECT
public:
    explicit TmConfigDialog(QWidget* parent = nullptr);
    void FormActivate();
    // Stores what the dialog shows; false when the user chose to stay in the dialog.
    bool mOKClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    QCheckBox* mDisplay3DOnStartup;
    QCheckBox* mConfirmOnExit;
    QLineEdit* mResdir;
    QCheckBox* mUseAppPath;
};
