#include "browser/tm_changes.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kFollowMs = 400;   // a few comparisons a second at most
constexpr int kFollowShare = 4;  // a large world is compared at most a quarter of the time
constexpr int kRowIndex = Qt::UserRole;

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QString KindText(TChangeRow::Kind kind) {
    switch (kind) {
        case TChangeRow::Kind::Added:
            return "added";
        case TChangeRow::Kind::Removed:
            return "removed";
        case TChangeRow::Kind::Moved:
            return "moved";
        case TChangeRow::Kind::Replaced:
            return "replaced";
        case TChangeRow::Kind::Changed:
            break;
    }
    return "changed";
}

}  // namespace

TmChanges::TmChanges(TEditHistory& history, Reveal reveal, AskFile askFile, QWidget* parent)
    : QWidget(parent),
      mHistory(history),
      mReveal(std::move(reveal)),
      mAskFile(std::move(askFile)),
      mSource(new QLabel(this)),
      mFilter(new QLineEdit(this)),
      mView(new QTreeWidget(this)),
      mFollow(new QTimer(this)) {
    setObjectName("TmChanges");
    setWindowTitle("Changes");
    mSource->setObjectName("mChangesSource");
    mFilter->setObjectName("mChangesFilter");
    mFilter->setPlaceholderText("Filter");
    mFilter->setClearButtonEnabled(true);
    mView->setObjectName("mChangesView");
    mView->setRootIsDecorated(false);
    mView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mView->setHeaderLabels({"Python path", "Then", "Now", "Changed by", "What"});
    mView->header()->setStretchLastSection(false);
    mFollow->setObjectName("mChangesFollow");
    auto* revert = Button("mRevertSelected", "&Revert", this);
    auto* revertAll = Button("mRevertAll", "Revert &All", this);
    auto* compareFile = Button("mCompareFile", "Compare with &File...", this);
    auto* save = Button("mSaveSnapshot", "&Save Snapshot...", this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {revert, revertAll, compareFile, save}) buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mSource);
    layout->addWidget(mFilter);
    layout->addWidget(mView);
    layout->addLayout(buttons);
    connect(revert, &QPushButton::clicked, this, [this] { RevertRows(false); });
    connect(revertAll, &QPushButton::clicked, this, [this] { RevertRows(true); });
    connect(compareFile, &QPushButton::clicked, this, [this] { CompareWithFile(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveSnapshot(); });
    connect(mFilter, &QLineEdit::textChanged, this, [this] { BuildRows(); });
    connect(mView, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const std::size_t at = item->data(0, kRowIndex).toULongLong();
        VnRef<IRoot> owner = at < mRows.size() ? mRows[at].owner.lock() : VnRef<IRoot>();
        if (owner && mReveal) mReveal(owner.get());
    });
    connect(mFollow, &QTimer::timeout, this, [this] {
        if (isVisible()) Refresh();
    });
    mFollow->start(kFollowMs);
    ShowStatus("Take a snapshot from the browser's popup menu (Take Snapshot).");
}

void TmChanges::SetSnapshot(std::shared_ptr<TSnapshot> snapshot) {
    mSnapshot = std::move(snapshot);
    Refresh();
}

void TmChanges::Refresh() {
    if (!mSnapshot) return;
    QElapsedTimer took;
    took.start();
    mRows = mSnapshot->Compare();
    // the window follows the world without taking the tool's time from the user
    mFollow->setInterval(std::max<qint64>(kFollowMs, took.elapsed() * kFollowShare));
    if (!mSnapshot->LiveRoot())
        ShowStatus("The object the snapshot was taken of is gone.");
    else
        ShowStatus(QString("Since %1 below %2: %3 changes")
                       .arg(mSnapshot->Source(), mSnapshot->RootPath())
                       .arg(mRows.size()));
    BuildRows();
}

// Rows are made again only when what they say changed, so the selection and scroll stay.
void TmChanges::BuildRows() {
    const QString filter = mFilter->text();
    QStringList wanted;
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < mRows.size(); ++i) {
        const TChangeRow& row = mRows[i];
        const QStringList cells{row.path, row.then, row.now, row.writer, KindText(row.kind)};
        if (!filter.isEmpty() && !cells.join('\t').contains(filter, Qt::CaseInsensitive)) continue;
        wanted << cells.join('\t');
        shown.push_back(i);
    }
    QStringList present;
    for (int i = 0; i < mView->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < mView->columnCount(); ++c) cells << mView->topLevelItem(i)->text(c);
        present << cells.join('\t');
    }
    if (present == wanted) {
        for (int i = 0; i < mView->topLevelItemCount(); ++i)
            mView->topLevelItem(i)->setData(0, kRowIndex, qulonglong(shown[std::size_t(i)]));
        return;
    }
    QSet<QString> selected;
    for (QTreeWidgetItem* item : mView->selectedItems()) selected.insert(item->text(0));
    mView->clear();
    for (int i = 0; i < wanted.size(); ++i) {
        auto* item = new QTreeWidgetItem(mView, wanted[i].split('\t'));
        item->setData(0, kRowIndex, qulonglong(shown[std::size_t(i)]));
        item->setToolTip(0, item->text(0));
        if (selected.contains(item->text(0))) item->setSelected(true);
    }
}

int TmChanges::RevertRows(bool all) {
    if (!mSnapshot) return 0;
    std::vector<TChangeRow> rows;
    QList<QTreeWidgetItem*> items = mView->selectedItems();
    if (items.isEmpty() && mView->currentItem()) items << mView->currentItem();
    for (int i = 0; i < mView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = mView->topLevelItem(i);
        const std::size_t at = item->data(0, kRowIndex).toULongLong();
        if ((all || items.contains(item)) && at < mRows.size()) rows.push_back(mRows[at]);
    }
    const int count = mSnapshot->Revert(
        rows, mHistory, rows.size() == 1 ? "Revert " + rows.front().path : "Revert changes");
    Refresh();
    return count;
}

void TmChanges::CompareWithFile() {
    const QString file = mAskFile ? mAskFile(false) : QString();
    VnRef<IRoot> root = mSnapshot ? mSnapshot->LiveRoot() : VnRef<IRoot>();
    if (file.isEmpty()) return;
    if (!root) return ShowStatus("Take a snapshot first: the file is compared below its root.");
    QString why;
    std::shared_ptr<TSnapshot> loaded =
        TSnapshot::Load(file, root.get(), mSnapshot->RootPath(), &why);
    if (!loaded) return ShowStatus(why);
    SetSnapshot(std::move(loaded));
}

void TmChanges::SaveSnapshot() {
    const QString file = mSnapshot && mAskFile ? mAskFile(true) : QString();
    QString why;
    if (file.isEmpty()) return;
    ShowStatus(mSnapshot->Save(file, &why) ? "Saved the snapshot as " + file : why);
}

void TmChanges::ShowStatus(const QString& text) { mSource->setText(text); }
