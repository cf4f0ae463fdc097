#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QVector>
#include <QWidget>

class TmMain;
class TmAboutBox;
class TmConfigDialog;
class TScriptHost;

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

// The shared image list: 97 small images the tool bars, tree, menus and grid rows use.
class TgData : public QObject {
    Q_OBJECT
public:
    static constexpr int kImageCount = 97;
    explicit TgData(QObject* parent = nullptr);
    QIcon Image(int index) const;

private:
    QVector<QIcon> mImages;
};

// One reference per form, set while the form exists.
extern QPointer<TmMain> mMain;
extern QPointer<TmAboutBox> mAboutBox;
extern QPointer<QWidget> mVornBrowser;
extern QPointer<QWidget> mColorPick;
extern QPointer<QWidget> mEditLine;
extern QPointer<QWidget> mVornPick;
extern QPointer<QWidget> mVectorPick;
extern QPointer<QWidget> mChooserPick;
extern QPointer<TgData> gData;
extern QPointer<QWidget> mUI;
extern QPointer<QWidget> mVornListSorter;
extern QPointer<QWidget> mObjPropertyDlg;
extern QPointer<QWidget> mErrorLog;
extern QPointer<QWidget> mConsoleWindow;
extern QPointer<QWidget> mQuatPick;
extern QPointer<TmConfigDialog> mConfigDialog;
extern QPointer<QWidget> mTextureBrowser;
extern QPointer<QWidget> m3DWindow;
extern QPointer<QWidget> mIE;
