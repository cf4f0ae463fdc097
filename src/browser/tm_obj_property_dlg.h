#pragma once

#include <QDialog>

#include "core/member_value.h"

class QLineEdit;
class QPushButton;

// Shows what an object member holds: its name, the interface it requires and the object's class.
class TmObjPropertyDlg : public QDialog {
    Q_OBJECT
public:
    explicit TmObjPropertyDlg(QWidget* parent = nullptr);
    // Shows an object member (types 5 and 6) modally; false for other members or on Cancel.
    bool Run(const mw::MemberValue& value);

private:
    QLineEdit* mName;
    QLineEdit* mTypeName;
    QLineEdit* mValue;
    QPushButton* mOK;
};
