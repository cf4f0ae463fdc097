#pragma once

#include <QObject>

class QSplitter;
class QWidget;

// The sizes of the main window's side and bottom panels: kept as the user moves a splitter,
// kept while a panel is hidden, read from and written to the settings.
class TPanelSizes : public QObject {
    Q_OBJECT
public:
    // `sides` holds the left panel, the documents' area and the right panel; `rows` holds
    // `sides` above the bottom panel.
    TPanelSizes(QSplitter* sides, QSplitter* rows, QObject* parent);

    // Reads the stored sizes; a missing or non-positive one keeps the default.
    void Read();
    void Write() const;
    // Gives the shown panels exactly the kept sizes; the documents' area takes the rest.
    void Apply();
    // Keeps the sizes of the shown panels, as the user left them.
    void Keep();

    int LeftWidth() const { return mLeftWidth; }
    int RightWidth() const { return mRightWidth; }
    int BottomHeight() const { return mBottomHeight; }

private:
    void ApplySides();
    void ApplyRows();
    QWidget* Left() const;
    QWidget* Right() const;
    QWidget* Bottom() const;

    QSplitter* mSides;
    QSplitter* mRows;
    int mLeftWidth = 200;  // the panels' sizes as stored, kept while a panel is hidden
    // the member grid: 100 for the names leaves room for a colour or a vector in the default font
    int mRightWidth = 280;
    int mBottomHeight = 150;
};
