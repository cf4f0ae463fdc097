#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QStatusBar;

// "Select ROT item": a list of items with a picture beside it. Nothing fills it yet; it answers
// its keys (Enter takes, Escape cancels, a double click takes) like a dialog that one day will.
class TmTextureBrowser : public QDialog {
    Q_OBJECT
public:
    explicit TmTextureBrowser(QWidget* parent = nullptr);
    QListWidget* List() const { return mList; }

    void FormCreate();
    void mListClick() {}
    void mListDblClick() { accept(); }
    // Enter takes the item, Escape cancels; true when the key was used.
    bool mListKeyPress(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* mList;
    QWidget* mPanel;
    QLabel* mImage;
    QStatusBar* mStatusBar;
};
