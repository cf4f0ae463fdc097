#pragma once

#include <QDialog>
#include <QIcon>
#include <QVector>
#include <QWidget>

// A form whose own controls arrive with its subsystem; until then it exists in its place in
// the start-up order, under its name.
class TPendingForm : public QWidget {
    Q_OBJECT
public:
    TPendingForm(const char* name, QWidget* parent = nullptr);
};

class TPendingDialog : public QDialog {
    Q_OBJECT
public:
    TPendingDialog(const char* name, const char* caption, QWidget* parent = nullptr);
};

// The program's own picture, for its windows and the about box.
QIcon ProgramImage();

// The shared image list: 97 small images the tool bars, tree, menus and grid rows use, each
// the picture ":/images/<index>.svg" of the program's resources.
class TgData : public QObject {
    Q_OBJECT
public:
    static constexpr int kImageCount = 97;
    explicit TgData(QObject* parent = nullptr);
    QIcon Image(int index) const;

private:
    QVector<QIcon> mImages;
};
