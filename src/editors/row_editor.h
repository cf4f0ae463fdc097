#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>

#include "core/member_value.h"
#include "editors/browser_work.h"
#include "editors/edit_history.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"

class IOutput;
class IShell;
class QAbstractItemView;
class QDialog;
class QPainter;
class QWidget;
class TmEditLine;

// What the row editors need of the tool: the shell (the right panel, the status bar, the image
// list, a dialog owner), the output (the error log) and the editing forms, which are made after
// the browser and hand themselves over as they are made.
class TEditorKit {
public:
    TEditorKit(IShell& shell, IOutput& output)
        : mShell(shell), mOutput(output), mHistory(std::make_unique<TEditHistory>(output)) {}
    IShell& Shell() const { return mShell; }
    IOutput& Output() const { return mOutput; }
    // The undo history of every edit made through the tool.
    TEditHistory& History() const { return *mHistory; }
    // Says in the status bar that `member` kept its value, with the runtime's pending error,
    // then hands that error to the error log.
    void ReportRefusal(const QString& member) const;
    // What the browser and its editors are doing, and what they let go of meanwhile.
    TBrowserWork& Work() const { return *mWork; }
    TmEditLine* EditLine() const;
    void SetEditLine(TmEditLine* form);
    // The modal editing forms, found by their object name ("mColorPick", "mVornPick", ...).
    void AddForm(QWidget* form);
    template <class Form>
    Form* FormNamed(const char* name) const {
        return qobject_cast<Form*>(FindForm(name));
    }

private:
    QWidget* FindForm(const char* name) const;

    IShell& mShell;
    IOutput& mOutput;
    std::unique_ptr<TEditHistory> mHistory;
    std::unique_ptr<TBrowserWork> mWork = std::make_unique<TBrowserWork>();
    QPointer<TmEditLine> mEditLine;
    QList<QPointer<QWidget>> mForms;
};

// The owner of one row of the member grid: draws the member's name and value, is placed over
// the value cell when the user selects it, edits it on request, writes the change straight into
// the member's storage and tells the object that owns the member.
class TRowEditor {
public:
    static constexpr int kTextSize = 512;

    TRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    virtual ~TRowEditor();
    TRowEditor(const TRowEditor&) = delete;
    TRowEditor& operator=(const TRowEditor&) = delete;

    // The row leaves the grid (it goes later): it stops being the current editor.
    void Retiring();
    // Starts editing; the base version shows the control in place over the cell.
    virtual void BeginEdit();
    // Stores the value cell (in the right panel's coordinates) and makes this the current editor.
    void Place(const QRect& cell);
    // Paints one cell of this row: column 0 the icon and name, column 1 the value.
    virtual void Draw(int column, QPainter& painter, const QRect& cell);
    // The value as text, within `size` bytes with the terminator.
    virtual const char* GetText(char* buffer, std::size_t size);
    // Finishes editing; `cancel` discards the change.
    virtual void EndEdit(bool cancel);

    bool IsEditable() const { return mw::IsEditable(mValue); }
    // Shows `form` modally over the main window. False when this editor was destroyed while it
    // showed (a script rebuilt the grid): the caller must then not touch the editor again.
    bool RunModal(QDialog& form, int* result);
    // The member's description, or "" when it has none.
    QString Description() const;
    // Shows a form that writes into the member as the user works and ends the edit as it
    // closes: EndEdit(cancel) puts the old value back on anything but OK, and OK puts the
    // live changes on the history as one step. Nothing of the editor is read if it was
    // destroyed while the form showed.
    void EditInForm(QDialog& form) { EditInForm(form, Taken()); }
    void EditInForm(QDialog& form, const TMemberState& before);  // the member held `before`
    // What the member holds now, to compare with after an edit.
    TMemberState Taken() const { return TMemberState::Take(mValue); }
    // Puts the change of the member since `before` on the edit history as one step.
    void RecordChange(const TMemberState& before);

    mw::MemberValue mValue;
    int mIcon = 9;
    QPointer<QWidget> mControl;  // shown over the cell by the in-place BeginEdit
    QRect mCell;                 // the value cell in the right panel's coordinates
    QAbstractItemView* mGrid = nullptr;
    int mRow = -1;           // the grid row this editor owns
    VnRef<INotify> mNotify;  // the owner, told of changes when the member asks for it
    VnRef<IRoot> mOwner;     // the object whose storage holds the member; none for Python rows
    TEditorKit& mKit;

private:
    std::shared_ptr<char> mAlive = std::make_shared<char>();  // expires with the editor
};

// The editor that was placed last and has not ended, or none; the editing forms act on it.
extern TRowEditor* gCurrentEditor;
// What had the focus when the last edit began; modal editors give it back when they end.
extern QPointer<QWidget> gReturnFocus;

// Redraws the editor's cell and tells the owner.
void Changed(TRowEditor* editor);
// Tells the owner that the member changed; a refusal goes to the error log.
void NotifyOwner(TRowEditor* editor);

// The editor for a member of a runtime object, chosen from its type, the interfaces of the
// object it holds and its choice table.
std::unique_ptr<TRowEditor> CreateRowEditor(const mw::MemberValue& value, TEditorKit& kit);
// The editor for a Python value held by `container` under `key` (an attribute name, a
// dictionary key or a position).
std::unique_ptr<TRowEditor> CreatePyRowEditor(PyObject* value, PyObject* container, PyObject* key,
                                              const QString& keyText, bool readOnly,
                                              TEditorKit& kit);
