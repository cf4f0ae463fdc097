#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "core/member_value.h"
#include "vorn/ref.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TMemberEdit;

// "Pick an object": what an object pointer member may hold, as a list to filter: none, the
// objects of the running object table that answer the member's interface, and a new object of
// each class of the class list. OK puts the choice into the member; Cancel changes nothing. An
// embedded object is part of its owner and cannot be replaced: the dialog only says so.
class TmVornPick : public QDialog {
    Q_OBJECT
public:
    explicit TmVornPick(QWidget* parent = nullptr);

    // The classes a new object may be made of, one class id each.
    void SetClassList(const QStringList& classes) { mClasses = classes; }
    // Lists what the edited member may hold and shows the dialog; OK puts the chosen line into
    // the member as one step. True when something was stored.
    bool Run(TMemberEdit& edit);

    QListWidget* Objects() const { return mObjects; }
    QLineEdit* Filter() const { return mFilter; }

private:
    void Prepare(const mw::MemberValue& value);
    void Fill(const mw::MemberValue& value);
    bool StoreChoice(TMemberEdit& edit);
    // Lets go of the listed objects once the dialog is closed.
    void Finish();
    void ApplyFilter(const QString& text);

    QStringList mClasses;
    QLineEdit* mFilter;
    QListWidget* mObjects;
    QLabel* mNote;
    QPushButton* mOK;
    QPushButton* mCancel;
    std::vector<VnRef<IRoot>> mShown;  // the listed objects stay alive while the dialog is open
};
