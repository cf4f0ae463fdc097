#pragma once

#include <QDialog>

class QLabel;

// The about box: product name, version, release and build.
class TmAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TmAboutBox(QWidget* parent = nullptr);
    void FormCreate();
};
