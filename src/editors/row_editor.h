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
#include "editors/member_edit.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"

class IOutput;
class IShell;
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
    // The modal editing forms (the colour, vector, rotation, choice and object pickers), each
    // found by its class.
    void AddForm(QWidget* form);
    template <class Form>
    Form* FormOf() const {
        for (const QPointer<QWidget>& form : mForms)
            if (auto* found = qobject_cast<Form*>(form.data())) return found;
        return nullptr;
    }
    // Shows `form` modally over the main window, scripts free to browse meanwhile, and gives
    // the keyboard focus back to what had it; answers the dialog's result.
    int RunModal(QDialog& form);

private:
    IShell& mShell;
    IOutput& mOutput;
    std::unique_ptr<TEditHistory> mHistory;
    std::unique_ptr<TBrowserWork> mWork = std::make_unique<TBrowserWork>();
    QPointer<TmEditLine> mEditLine;
    QList<QPointer<QWidget>> mForms;
};

// The strategy of one row of the member grid: draws the member's name and value, makes the
// control that edits the value in place (the grid's delegate places it), or edits the value in
// its dialog. Every write goes through one member edit (TMemberEdit).
class TRowEditor {
public:
    static constexpr int kTextSize = 512;

    TRowEditor(const mw::MemberValue& value, TEditorKit& kit);
    virtual ~TRowEditor();
    TRowEditor(const TRowEditor&) = delete;
    TRowEditor& operator=(const TRowEditor&) = delete;

    // Paints one cell of this row: column 0 the icon and name (highlighted when `selected`),
    // column 1 the value.
    virtual void Draw(int column, QPainter& painter, const QRect& cell, bool selected = false);
    // The value as text, within `size` bytes with the terminator.
    virtual const char* GetText(char* buffer, std::size_t size);

    // Whether the value is edited in place over its cell (CreateControl) rather than in a
    // dialog (BeginEdit).
    virtual bool EditsInPlace() const { return false; }
    // The control that edits the value in place, made for one edit under `parent`; null when
    // the value is edited in a dialog instead.
    virtual QWidget* CreateControl(QWidget* parent);
    // Shows the member's value in the control CreateControl made.
    virtual void ShowInControl(QWidget* control);
    // Stores what the control holds as one edit; false when the member refused it.
    virtual bool StoreFromControl(QWidget* control);
    // Edits the value in its dialog. A script may rebuild the grid while the dialog shows and
    // destroy this editor: the edit goes on without it, and nothing of it is used after.
    virtual void BeginEdit();

    bool IsEditable() const { return mw::IsEditable(mValue); }
    // The member's description, or "" when it has none.
    QString Description() const;
    // The member as an edit writes it.
    TMemberTarget Target() const;
    // An edit of the member, tied to this row: a dialog that outlives the row writes nothing.
    TMemberEdit StartEdit(bool reference = false) const {
        return TMemberEdit(mKit, Target(), reference, mAlive, EditorName());
    }
    // The editor's name, as the writer of what it stores.
    virtual QString EditorName() const { return "grid"; }

    mw::MemberValue mValue;
    int mIcon = 9;
    VnRef<IRoot> mOwner;  // the object whose storage holds the member; none for Python rows
    TEditorKit& mKit;

private:
    std::shared_ptr<const char> mAlive = std::make_shared<const char>();  // goes with the row
};

// The editor for a member of a runtime object, chosen from its type, the interfaces of the
// object it holds and its choice table.
std::unique_ptr<TRowEditor> CreateRowEditor(const mw::MemberValue& value, TEditorKit& kit);
// The editor for a Python value held by `container` under `key` (an attribute name, a
// dictionary key or a position).
std::unique_ptr<TRowEditor> CreatePyRowEditor(PyObject* value, PyObject* container, PyObject* key,
                                              const QString& keyText, bool readOnly,
                                              TEditorKit& kit);
