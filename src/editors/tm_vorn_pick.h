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
class TEditorKit;
class TMemberEdit;
struct VnIID;

// "Pick an object": what an object pointer member may hold, as a list to filter: none, the
// objects of the running object table that answer the member's interface, and a new object of
// each class of the class list whose objects answer that interface. OK puts the choice into the
// member; Cancel changes nothing. An embedded object is part of its owner and cannot be replaced:
// the dialog only says so.
class TmVornPick : public QDialog {
    Q_OBJECT
public:
    explicit TmVornPick(QWidget* parent = nullptr);

    // The classes a new object may be made of, one class id each.
    void SetClassList(const QStringList& classes) { mClasses = classes; }
    // Lists what the edited member may hold and shows the dialog; OK puts the chosen line into
    // the member as one step. True when something was stored.
    bool Run(TMemberEdit& edit);
    // Whether a new object of class `classId` suits a member requiring `iid` (every class when
    // it requires none). Decided once per class and interface for the run, from an instance made
    // and let go; a class that cannot be made is not offered and its error is logged once.
    static bool Offers(TEditorKit& kit, const QString& classId, const VnIID* iid);

    QListWidget* Objects() const { return mObjects; }
    QLineEdit* Filter() const { return mFilter; }

private:
    void Prepare(const TMemberEdit& edit);
    void Fill(const mw::MemberValue& value, TEditorKit& kit);
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
