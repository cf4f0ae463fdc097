#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRect>
#include <QWidget>

namespace mw {

// Gives a control of a form its name and its fixed place.
template <class T>
T* PlaceControl(T* control, QWidget* form, const char* name, const QRect& geometry) {
    control->setObjectName(name);
    control->setParent(form);
    control->setGeometry(geometry);
    return control;
}

// A row of "OK" (the default button, accepting) and "Cancel" (rejecting), on the right.
inline QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton** ok, QPushButton** cancel) {
    auto* row = new QHBoxLayout;
    *ok = new QPushButton("OK", dialog);
    (*ok)->setObjectName("mOK");
    (*ok)->setDefault(true);
    *cancel = new QPushButton("Cancel", dialog);
    (*cancel)->setObjectName("mCancel");
    row->addStretch();
    row->addWidget(*ok);
    row->addWidget(*cancel);
    QObject::connect(*ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(*cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return row;
}

}  // namespace mw
