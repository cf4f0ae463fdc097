#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TChooserRowEditor;
struct VnChoice;

// The chooser: the named choices of a member, one of them current, or several selected when
// they are bits. Every click writes the member; the unformatted value of the choice, the
// member's raw value and the choice's description show below.
class TmChooserPick : public QDialog {
    Q_OBJECT
public:
    explicit TmChooserPick(QWidget* parent = nullptr);

    // Fills the list for the editor's member and writes the current choice once; the editor
    // then shows the dialog. False when there is nothing to choose from.
    bool Fill(TChooserRowEditor& editor);

    QListWidget* List() const { return mList; }

    void mListClick();
    void mListDblClick();

private:
    const VnChoice* CurrentChoice() const;

    QListWidget* mList;
    QLineEdit* mChooserValue;
    QLineEdit* mRawValue;
    QPlainTextEdit* mDesc;
    QPushButton* mOK;
    QPushButton* mCancel;
    bool mFilling = false;
};
