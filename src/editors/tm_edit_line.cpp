#include "editors/tm_edit_line.h"

#include <QDoubleSpinBox>
#include <QLocale>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

#include "platform/file_dialog.h"

TmEditLine::TmEditLine(QWidget* parent) : QWidget(parent) {
    setObjectName("mEditLine");
    setWindowTitle("mEditLine");
    resize(326, 203);
    hide();
}

TmEditLine::~TmEditLine() { delete mOpenDlg; }

QFileDialog* TmEditLine::OpenDialog() {
    if (!mOpenDlg)
        mOpenDlg = mw::NewFileDialog(nullptr, "mOpenDlg",
                                     "Kalix Texture (*.dds *.tga *.bmp);;All Files (*)",
                                     mw::FileChoice::Open);
    return mOpenDlg;
}

QLineEdit* TmEditLine::NewEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName("mEdit");
    edit->setFrame(false);
    return edit;
}

QCheckBox* TmEditLine::NewCheck(QWidget* parent) {
    auto* check = new QCheckBox(parent);
    check->setObjectName("mCheck");
    check->setAutoFillBackground(true);  // the cell's text does not show through
    return check;
}

QAbstractSpinBox* TmEditLine::NewSpin(QWidget* parent, bool whole, double minimum, double maximum,
                                      double step) {
    QAbstractSpinBox* spin = nullptr;
    if (whole) {
        auto* box = new QSpinBox(parent);
        box->setRange(static_cast<int>(std::ceil(minimum)), static_cast<int>(std::floor(maximum)));
        box->setSingleStep(std::max(1, static_cast<int>(step)));
        spin = box;
    } else {
        auto* box = new QDoubleSpinBox(parent);
        box->setDecimals(3);
        box->setRange(minimum, maximum);
        box->setSingleStep(step > 0 ? step : 1);
        spin = box;
    }
    spin->setObjectName("mSpin");
    spin->setFrame(false);
    spin->setLocale(QLocale::c());  // "." as the decimal point, as the grid shows numbers
    spin->setKeyboardTracking(false);
    return spin;
}
