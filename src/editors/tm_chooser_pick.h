#pragma once

#include <QDialog>

#include "core/member_value.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TMemberEdit;
struct VnChoice;

// The chooser: the named choices of a member, one of them current, or several selected when
// they are bits. Every click writes the member; the unformatted value of the choice, the
// member's raw value and the choice's description show below.
class TmChooserPick : public QDialog {
    Q_OBJECT
public:
    explicit TmChooserPick(QWidget* parent = nullptr);

    // Lists the choices of the edited member, writes the current one once and shows the
    // dialog; OK keeps what was chosen as one step, anything else puts the old value back.
    // False when there was nothing to choose from, or the dialog was not accepted.
    bool Run(TMemberEdit& edit);

    QListWidget* List() const { return mList; }

    void mListClick();
    void mListDblClick();

private:
    bool Fill(const mw::MemberValue& value);
    const VnChoice* CurrentChoice() const;

    QListWidget* mList;
    QLineEdit* mChooserValue;
    QLineEdit* mRawValue;
    QPlainTextEdit* mDesc;
    QPushButton* mOK;
    QPushButton* mCancel;
    bool mFilling = false;
    TMemberEdit* mEdit = nullptr;  // what the dialog writes into while it shows
};
