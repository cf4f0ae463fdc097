#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "vorn/ref.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TRefRowEditor;

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
    // Lists the choices for the editor's member; the editor shows the dialog after.
    void Prepare(TRefRowEditor& editor);
    // Puts the chosen line into the editor's member; true when one was stored.
    bool StoreChoice(TRefRowEditor& editor);
    // Lets go of the listed objects once the dialog is closed.
    void Finish();

    QListWidget* Objects() const { return mObjects; }
    QLineEdit* Filter() const { return mFilter; }

private:
    void Fill(TRefRowEditor& editor);
    void ApplyFilter(const QString& text);

    QStringList mClasses;
    QLineEdit* mFilter;
    QListWidget* mObjects;
    QLabel* mNote;
    QPushButton* mOK;
    QPushButton* mCancel;
    std::vector<VnRef<IRoot>> mShown;  // the listed objects stay alive while the dialog is open
};
