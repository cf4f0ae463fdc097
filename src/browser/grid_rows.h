#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "editors/row_editor.h"

class QAbstractItemView;
class QTimer;
struct TBrowserNode;

// The grid half of the browser: one row per scalar value of the selected node's object (its
// members, its Python attributes, a dictionary's or a sequence's items), each owned by a row
// editor. The header names the object's class. The rows keep the object they show alive until
// they are rebuilt; every write made through the tool repaints the row it changed at once.
class TGridRows : public QAbstractTableModel {
    Q_OBJECT
public:
    TGridRows(QAbstractItemView* grid, TEditorKit& kit, QObject* parent = nullptr);
    ~TGridRows() override;

    // Lets go of every row; the header is left blank.
    void ClearRows();
    // Builds the rows of `node` (which has node data) in place of the ones shown. The items of
    // a dictionary or a sequence get their row editors when a row is first asked for.
    void FillRows(const TBrowserNode* node);
    // The description of row `row`'s member, as the status bar shows it when the row is current.
    QString StatusText(int row) const;

    // The editor of row `row`, made now for an item row not asked for before; null for rows out
    // of range.
    TRowEditor* Editor(int row) const;
    // How a script reaches the row's value from the value of the node the rows show (".color",
    // "[2]", "['key']"); empty for rows out of range and where nothing reads back.
    QString PathStep(int row) const;
    // Whether the value of row `row` reads differently from the time its cell was drawn before,
    // within the last kChangeShownMs; called as the cell is drawn. The first drawing after the
    // rows were filled shows no change.
    bool ChangedLately(int row);
    static constexpr int kChangeShownMs = 1000;
    // Item rows whose editors are kept made; past that, all but the current one are let go.
    static constexpr std::size_t kMadeRows = 4096;
    TBrowserWork& Work() const { return mKit.Work(); }
    QString HeaderText() const { return mShown.header; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    static QString ToolTip(const TRowEditor& editor);
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // What the grid shows: rows made at once (members, attributes) and the items of a
    // dictionary or a sequence, made when asked for.
    struct Content {
        std::vector<std::unique_ptr<TRowEditor>> rows;
        std::vector<QString> steps;  // beside the rows
        QString header;
        bool showing = false;  // a node is selected
        VnRef<IRoot> owner;    // what the rows show lives in these while they exist
        PyRef ownerPython;
        PyRef items;                 // the dictionary or sequence whose items follow the rows
        std::vector<PyRef> keys;     // a dictionary's keys of the items that get rows
        std::vector<int> positions;  // a sequence's positions of the items that get rows
    };

    void AddRow(Content& content, std::unique_ptr<TRowEditor> editor, QString step);
    // Repaints the rows of the member whose storage is `storage`.
    void ShowWritten(const void* storage);
    void AddMemberRows(Content& content, IRoot* object);
    void AddAttributeRows(Content& content, IRoot* object);
    void AddAttributeRows(Content& content, PyObject* names, PyObject* wrapper, bool readOnly);
    void AddDictionaryItems(Content& content, PyObject* dict);
    void AddSequenceItems(Content& content, PyObject* sequence);
    void SetHeader(Content& content, const TBrowserNode* node, IRoot* object, PyObject* python);
    // Shows `content`; what was shown goes once the work is over.
    void Show(Content content);
    int ItemCount() const;
    TRowEditor* MakeItemRow(int row) const;
    void DropMadeRows() const;

    QAbstractItemView* mGrid;
    TEditorKit& mKit;
    Content mShown;
    int mCount = 0;
    mutable std::unordered_map<int, std::unique_ptr<TRowEditor>> mMade;  // item rows by row
    // What each value cell showed when last drawn, and when it last changed (ms of mClock).
    struct Seen {
        bool drawn = false;
        std::string text;
        qint64 changedAt = -1;
    };
    std::unordered_map<int, Seen> mSeen;
    QElapsedTimer mClock;
    QTimer* mFade = nullptr;  // one redraw once the last change has been shown long enough
};

// Paints every cell through its row's editor, and edits a value in place with the control the
// row's editor makes: Enter or leaving the control stores, Escape discards, a check box stores
// at once.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TGridDelegate(TGridRows& rows, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* control, const QModelIndex& index) const override;
    void setModelData(QWidget* control, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

private:
    TGridRows& mRows;
};
