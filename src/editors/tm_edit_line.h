#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

// The form whose controls the in-place editors borrow: the text field and the check box are
// placed over a grid cell while a row is edited, the file dialog picks ROT references. The form
// itself never shows. Its handlers act on the current editor.
class TmEditLine : public QWidget {
    Q_OBJECT
public:
    explicit TmEditLine(QWidget* parent = nullptr);
    ~TmEditLine() override;

    QLineEdit* Edit() const { return mEdit; }
    QCheckBox* Check() const { return mCheck; }
    QFileDialog* OpenDialog() const { return mOpenDlg; }

    // Leaving the field or the check box commits.
    void mEditExit();
    // Escape discards, Enter commits; true when the key was used.
    bool mEditKeyDown(int key);
    // The box's state goes into the member at every click.
    void mCheckClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls are handed around between panels, so the form holds them by guarded pointer
    // and deletes them itself.
    QPointer<QLineEdit> mEdit;
    QPointer<QCheckBox> mCheck;
    QPointer<QFileDialog> mOpenDlg;
};
