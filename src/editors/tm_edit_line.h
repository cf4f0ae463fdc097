#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QAbstractSpinBox;

// The form of the in-place editors: it makes the controls the grid places over a cell for one
// edit (the text field, the check box, the spin box of a number with a range) and holds the file
// dialog that picks ROT references. The form itself never shows.
class TmEditLine : public QWidget {
    Q_OBJECT
public:
    explicit TmEditLine(QWidget* parent = nullptr);
    ~TmEditLine() override;

    static QLineEdit* NewEdit(QWidget* parent);
    static QCheckBox* NewCheck(QWidget* parent);
    // A whole-number spin box when `whole`, else one with three decimals.
    static QAbstractSpinBox* NewSpin(QWidget* parent, bool whole, double minimum, double maximum,
                                     double step);
    // Made when first used.
    QFileDialog* OpenDialog();

private:
    QPointer<QFileDialog> mOpenDlg;  // parentless: shown over whatever window is in front
};
