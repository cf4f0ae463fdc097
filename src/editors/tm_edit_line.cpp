#include "editors/tm_edit_line.h"

#include <QEvent>
#include <QKeyEvent>

#include "editors/row_editor.h"

TmEditLine::TmEditLine(QWidget* parent) : QWidget(parent) {
    setObjectName("mEditLine");
    setWindowTitle("mEditLine");
    resize(326, 203);
    hide();
    mEdit = new QLineEdit("mEdit");
    mEdit->setObjectName("mEdit");
    mEdit->setFrame(false);
    mEdit->hide();
    mCheck = new QCheckBox;
    mCheck->setObjectName("mCheck");
    mCheck->resize(97, 17);
    mCheck->hide();
    mOpenDlg = new QFileDialog;
    mOpenDlg->setObjectName("mOpenDlg");
    mOpenDlg->setFileMode(QFileDialog::ExistingFile);
    mOpenDlg->setNameFilter("Kalix Texture (*.dds *.tga *.bmp);;All Files (*)");
    for (QWidget* control : {static_cast<QWidget*>(mEdit), static_cast<QWidget*>(mCheck)})
        control->installEventFilter(this);
    connect(mCheck, &QCheckBox::clicked, this, &TmEditLine::mCheckClick);
}

TmEditLine::~TmEditLine() {
    delete mEdit;
    delete mCheck;
    delete mOpenDlg;
}

bool TmEditLine::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // a focus that leaves for a popup (the field's own menu) comes back: not an exit
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) mEditExit();
    } else if (event->type() == QEvent::KeyPress && watched == mEdit) {
        return mEditKeyDown(static_cast<QKeyEvent*>(event)->key());
    }
    return QWidget::eventFilter(watched, event);
}

void TmEditLine::mEditExit() {
    if (gCurrentEditor && gCurrentEditor->mControl && gCurrentEditor->mControl->isVisible())
        gCurrentEditor->EndEdit(false);
}

bool TmEditLine::mEditKeyDown(int key) {
    if (!gCurrentEditor) return false;
    switch (key) {
        case Qt::Key_Escape:
            gCurrentEditor->EndEdit(true);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            gCurrentEditor->EndEdit(false);
            return true;
        default:
            return false;
    }
}

void TmEditLine::mCheckClick() {
    TRowEditor* editor = gCurrentEditor;
    if (!editor || editor->mControl != mCheck || !editor->mValue.value) return;
    const TMemberState before = editor->Taken();
    *static_cast<unsigned char*>(editor->mValue.value) = mCheck->isChecked() ? 1 : 0;
    NotifyOwner(editor);
    editor->RecordChange(before);
}
