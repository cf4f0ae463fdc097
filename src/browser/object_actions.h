#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class IRoot;
class QAction;
class QFileDialog;
class QMenu;
class TmVornBrowser;
struct TBrowserNode;

// The browser's actions on object members: Change Object, New Object and its submenu of the
// classes that suit the member, Clear, Find in ROT, Properties, Branch, and the Share and Assign
// placeholders.
class TObjectActions : public QObject {
    Q_OBJECT
public:
    enum class IRootAction { Properties, NewObject, Clear, FindInROT, Branch, Share, Assign };

    // `classList` is the file whose lines are the New Object submenu (one class id each).
    TObjectActions(TmVornBrowser& form, const QString& classList);
    ~TObjectActions() override;

    QStringList ClassList() const { return mClassList; }
    // The popup's entries, in its order, with the browser's own between Find in ROT and the
    // list actions; Properties and Branch come last.
    void AddPopupEntries(QMenu* popup, QAction* copyPythonPath);
    void AddClosingEntries(QMenu* popup);
    void UpdateEnabling(const TBrowserNode* node);

    void OnIRootAction(IRootAction action);
    void NewObjectClick(int line);
    // Opens the object picker for the selected object pointer member (F2, Enter, the popup).
    void ChangeObject();
    QAction* ChangeObjectAction() const { return mChangeObject; }

private:
    void BuildActions();
    void BuildNewObjectMenu();
    // "Branch Object As...", made when first used.
    QFileDialog& SaveDialog();
    void LoadClassList(const QString& path);
    // Shows in the submenu only the classes whose objects the selected member can hold.
    void OfferSuitingClasses();

    // Stores `object` in the pointer member `node` shows, tells the owner and records the step
    // "<step>material of light1"; false, with the error in the log, when the member refuses it.
    bool StoreInPointer(const TBrowserNode* node, IRoot* object, const QString& step);
    void ShowProperties(const TBrowserNode* node);
    void Branch(const TBrowserNode* node);
    void FindInRot(const TBrowserNode* node);

    TmVornBrowser& mForm;
    QStringList mClassList;
    QMenu* mNewObjectMenu = nullptr;
    QAction* mIRootNewObject = nullptr;
    QAction* mIRootClear = nullptr;
    QAction* mIRootFindInROT = nullptr;
    QAction* mIRootProperties = nullptr;
    QAction* mIRootBranch = nullptr;
    QAction* mIRootShare = nullptr;
    QAction* mIRootAssign = nullptr;
    QAction* mChangeObject = nullptr;
    QPointer<QFileDialog> mDlgSave;
};
