#include "editors/tm_texture_browser.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>
#include <QVBoxLayout>

TmTextureBrowser::TmTextureBrowser(QWidget* parent) : QDialog(parent) {
    setObjectName("mTextureBrowser");
    setWindowTitle("Select ROT item");
    resize(591, 484);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    mList = new QListWidget(this);
    mList->setObjectName("mList");
    mPanel = new QWidget(this);
    mPanel->setObjectName("mPanel");
    mPanel->setFixedWidth(215);
    mImage = new QLabel(mPanel);
    mImage->setObjectName("mImage");
    mImage->setGeometry(8, 8, 201, 185);
    row->addWidget(mList, 1);
    row->addWidget(mPanel);
    mStatusBar = new QStatusBar(this);
    mStatusBar->setObjectName("StatusBar1");
    column->addLayout(row, 1);
    column->addWidget(mStatusBar);
    connect(mList, &QListWidget::itemClicked, this, [this] { mListClick(); });
    connect(mList, &QListWidget::itemDoubleClicked, this, [this] { mListDblClick(); });
    mList->installEventFilter(this);
    FormCreate();
}

void TmTextureBrowser::FormCreate() { mPanel->hide(); }

bool TmTextureBrowser::mListKeyPress(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        accept();
        return true;
    }
    if (key == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

bool TmTextureBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mList && event->type() == QEvent::KeyPress)
        return mListKeyPress(static_cast<QKeyEvent*>(event)->key());
    return QDialog::eventFilter(watched, event);
}
