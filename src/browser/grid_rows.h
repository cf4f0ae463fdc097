#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <memory>
#include <string>
#include <vector>

#include "editors/row_editor.h"

class QAbstractItemView;
class QTimer;
struct TBrowserNode;

// The grid half of the browser: one row per scalar value of the selected node's object (its
// members, its Python attributes, a dictionary's or a sequence's items), each owned by a row
// editor. Row 0 is the header. The rows keep the object they show alive until they are rebuilt.
class TGridRows : public QAbstractTableModel {
    Q_OBJECT
public:
    TGridRows(QAbstractItemView* grid, TEditorKit& kit, QObject* parent = nullptr);
    ~TGridRows() override;

    // Destroys every row editor; only the header remains.
    void ClearRows();
    // Builds the rows of `node` (which has node data).
    void FillRows(const TBrowserNode* node);
    // Whether the grid may select the cell; a value cell places its editor there.
    bool SelectCell(int column, int row);
    // Begins editing row `row` (-1: the grid's current row) when its member is editable.
    void EditRow(int row);

    TRowEditor* Editor(int row) const;
    // How a script reaches the row's value from the value of the node the rows show (".color",
    // "[2]", "['key']"); empty for the header and where nothing reads back.
    QString PathStep(int row) const;
    // Whether the value of row `row` reads differently from the time its cell was drawn before,
    // within the last kChangeShownMs; called as the cell is drawn. The first drawing after the
    // rows were filled shows no change.
    bool ChangedLately(int row);
    static constexpr int kChangeShownMs = 1000;
    int RowCountWithHeader() const { return static_cast<int>(mRows.size()); }
    QString HeaderText() const { return mHeader; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void AddRow(std::unique_ptr<TRowEditor> editor, INotify* owner, QString step);
    void AddMemberRows(IRoot* object);
    void AddAttributeRows(IRoot* object);
    void AddAttributeRows(PyObject* names, PyObject* wrapper, bool readOnly);
    // `owner`: the module or dictionary whose items `dict` holds.
    void AddDictionaryRows(PyObject* owner, PyObject* dict);
    void AddSequenceRows(PyObject* sequence);
    void SetHeader(const TBrowserNode* node, IRoot* object, PyObject* python);

    QAbstractItemView* mGrid;
    TEditorKit& mKit;
    std::vector<std::unique_ptr<TRowEditor>> mRows;  // slot 0, the header, stays empty
    std::vector<QString> mSteps;                     // beside the rows
    // What each value cell showed when last drawn, and when it last changed (ms of mClock).
    struct Seen {
        bool drawn = false;
        std::string text;
        qint64 changedAt = -1;
    };
    std::vector<Seen> mSeen;
    QElapsedTimer mClock;
    QTimer* mFade = nullptr;  // one redraw once the last change has been shown long enough
    QString mHeader;
    bool mShowing = false;  // a node is selected
    VnRef<IRoot> mOwner;    // what the rows show lives in these while they exist
    PyRef mOwnerPython;
};

// Paints the grid: the header row in bold on the button colour, every other cell through its
// row's editor.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TGridDelegate(TGridRows& rows, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    TGridRows& mRows;
};
