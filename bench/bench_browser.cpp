// What a user waits for in the object browser: expanding a runtime list of 100,000 and of
// 1,000,000 items until the tree shows its first screen, beside a QTreeWidget given the same
// label texts; each keystroke of the tree's filter over 100,000 expanded nodes until the tree
// shows the result, beside a QTreeWidget of the same labels hiding its items, after a plain
// relayout of the unfiltered tree in both as the floor, and one keystroke beside a recursive
// QSortFilterProxyModel over the same model; and filling the member grid for
// an object of 300 members and for a dictionary of 10,000 items until the grid shows its first
// screen, beside a QTableWidget given the same texts. Also: expanding everything below a chain
// of 50,000 nested Python lists, beside a QTreeWidget of the same items opened as deep; the
// grid of a flat Python list of 1,000,000 and 10,000,000 ints, beside a QTableView over a bare
// model of as many rows, with the memory the grid added; and opening the list sorter on a list
// of 200,000 items until it shows its first screen, beside reading the list's items once. Each
// figure is the best of three runs, the two sides taking turns, on fresh views.
// Settings and paths live in a temporary folder; without a display it uses Qt's offscreen
// platform.
#include <Python.h>
#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench_env.h"
#include "browser/browser_model.h"
#include "browser/grid_rows.h"
#include "browser/tm_vorn_list_sorter.h"
#include "core/member_ref.h"
#include "core/value_text.h"
#include "editors/row_editor.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/object.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"

namespace {

constexpr int kRuns = 3;
const QSize kViewSize(400, 600);
const VnCLSID kListClass = VnMakeCLSID("vorn", "List", -1);

// --- a shell and an output that do nothing --------------------------------------------------

class BenchShell final : public IShell {
public:
    QWidget* Place(TShellPlace) override { return &mPlace; }
    void ShowPlace(TShellPlace) override {}
    void OpenFiles(const QStringList&) override {}
    bool IsBatchRun() const override { return false; }
    void SetStatusText(int, const QString&) override {}
    QIcon Image(int) const override { return {}; }
    QWidget* DialogParent() override { return &mPlace; }
    QMdiSubWindow* AddDocumentWindow(QWidget*, const QSize&) override { return nullptr; }
    void BringToFront() override {}

private:
    QWidget mPlace;
};

class BenchOutput final : public IOutput {
public:
    void Write(const QString&) override {}
    void RefreshErrors() override {}
};

// --- a runtime class of 300 scalar members -----------------------------------------------------

constexpr int kReals = 150;
constexpr int kWholes = 150;
constexpr int kWideMembers = kReals + kWholes;
const VnCLSID kWideClass = VnMakeCLSID("bench", "Wide", 1);

class Wide final : public VnObject<IRoot> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }

    float reals[kReals] = {};
    int32_t wholes[kWholes] = {};
};

char gWideNames[kWideMembers][16];
VnMemberDescriptor gWideMembers[kWideMembers + 1];

const VnTypeInfo* Wide::Type() {
    static const VnTypeInfo type = {
        &kWideClass, "benchmark object", Interfaces(), gWideMembers, nullptr, nullptr, 0};
    return &type;
}

// Fills the member table from where a probe object keeps its values.
void DescribeWide() {
    Wide probe;
    const char* start = reinterpret_cast<const char*>(&probe);
    for (int i = 0; i < kWideMembers; ++i) {
        const bool real = i < kReals;
        const int k = real ? i : i - kReals;
        std::snprintf(gWideNames[i], sizeof gWideNames[i], real ? "real%03d" : "whole%03d", k);
        const char* at = real ? reinterpret_cast<const char*>(&probe.reals[k])
                              : reinterpret_cast<const char*>(&probe.wholes[k]);
        gWideMembers[i] = {gWideNames[i],
                           real ? kVnFloat : kVnLong,
                           static_cast<int32_t>(at - start),
                           real ? int32_t(sizeof(float)) : int32_t(sizeof(int32_t)),
                           nullptr,
                           real ? "a float" : "a whole number",
                           kVnEditable,
                           nullptr,
                           {}};
    }
}

// --- what the figures are made of -------------------------------------------------------------

VnRef<IRoot> NewObject(const VnCLSID& id) {
    VnRef<IRoot> object;
    if (!VnOS->CreateInstance(id, IID_IRoot, object.out())) object.reset();
    return object;
}

// A runtime list of `count` new lists, every other one named ("item 4"), the rest unnamed, so
// the browser computes their labels ("List5"); `labels` receives the texts the tree shows.
VnRef<IRoot> MakeList(int count, QStringList& labels) {
    VnRef<IRoot> object = NewObject(kListClass);
    VnRef<IList> list = VnQuery<IList>(object.get());
    if (!list) return {};
    labels.clear();
    labels.reserve(count);
    for (int i = 0; i < count; ++i) {
        VnRef<IRoot> item = NewObject(kListClass);
        if (!item) return {};
        if (i % 2 == 0) {
            const QByteArray name = "item " + QByteArray::number(i);
            mw::MemberRef member;
            member.Bind("name", item.get());
            mw::TextToValue(member.value(), name.constData());
            labels << QString::fromLatin1(name);
        } else {
            labels << "List" + QString::number(i);
        }
        if (!list->AddItem(-1, item.get())) return {};
    }
    return object;
}

// A dictionary of `count` scalar items: whole numbers and floats under text keys.
PyRef MakeDictionary(int count) {
    PyRef dict = PyRef::Steal(PyDict_New());
    for (int i = 0; dict && i < count; ++i) {
        PyRef key = PyRef::Steal(PyUnicode_FromFormat("key%05d", i));
        PyRef value = PyRef::Steal(i % 2 ? PyFloat_FromDouble(i * 0.5) : PyLong_FromLong(i));
        if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) != 0) return {};
    }
    return dict;
}

// Lets the view finish its layout and paints it once, so the first screen's labels and
// images are made.
void LayOut(QAbstractItemView& view) {
    QCoreApplication::processEvents();
    view.indexAt(QPoint(5, 5));  // runs any layout the view still owes
    view.grab();
}

void Show(QAbstractItemView& view) {
    view.resize(kViewSize);
    view.show();
    LayOut(view);
}

// The tree and the grid set up as the browser form sets them up.
void SetUpTree(QTreeView& tree) {
    tree.setHeaderHidden(true);
    tree.setUniformRowHeights(true);
    tree.setIndentation(19);
    tree.setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void SetUpGrid(QTableView& grid) {
    grid.verticalHeader()->hide();
    grid.verticalHeader()->setDefaultSectionSize(18);
    grid.horizontalHeader()->setDefaultSectionSize(110);
    grid.horizontalHeader()->setStretchLastSection(true);
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
}

// The browser's model with its tree and grid, wired as the browser's panels wire them, made
// afresh for each run.
struct Browser {
    explicit Browser(TEditorKit& kit) : model(kit), rows(&grid, kit) {
        SetUpTree(tree);
        SetUpGrid(grid);
        tree.setModel(&model);
        grid.setModel(&rows);
        grid.setItemDelegate(new TGridDelegate(rows, &grid));
        grid.setColumnWidth(1, 220);
        QObject::connect(&model, &TBrowserModel::RowShownChanged, &tree,
                         [this](const TBrowserNode* node, bool shown) {
                             tree.setRowHidden(node->row, model.IndexOf(node->parent), !shown);
                         });
        QObject::connect(&model, &TBrowserModel::OpenRequested, &tree,
                         [this](const TBrowserNode* node) { tree.expand(model.IndexOf(node)); });
        QObject::connect(&model, &TBrowserModel::FilterApplied, &tree,
                         [this] { tree.viewport()->update(); });
    }
    void SetRoot(IRoot* object, PyObject* python, const QString& label) {
        rows.ClearRows();
        model.SetRoot(object, python, label);
        tree.setCurrentIndex(model.IndexOf(model.Top()));
    }
    // What the browser does for the grid as a node is selected.
    void RefreshSelection() {
        const TBrowserNode* node = model.NodeOf(tree.currentIndex());
        if (node && node->HasData()) rows.FillRows(node);
    }

    QTreeView tree;
    QTableView grid;
    TBrowserModel model;
    TGridRows rows;  // made last, so it goes first: it paints through the grid
};

double Milliseconds(const QElapsedTimer& clock) { return double(clock.nsecsElapsed()) / 1e6; }

// The best of kRuns of each side, the sides taking turns; a side answers a negative time when
// the view did not show what it should.
bool Best(const std::function<double()>& ours, const std::function<double()>& theirs,
          double& bestOurs, double& bestTheirs) {
    bestOurs = bestTheirs = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        const double a = ours();
        const double b = theirs();
        if (a < 0 || b < 0) return false;
        bestOurs = std::min(bestOurs, a);
        bestTheirs = std::min(bestTheirs, b);
    }
    return true;
}

void Print(const char* figure, double ours, const char* baseline, double theirs) {
    std::printf("%s: browser %.*f ms, %s %.*f ms (ratio %.3g)\n", figure, ours < 10 ? 1 : 0, ours,
                baseline, theirs < 10 ? 1 : 0, theirs, theirs > 0 ? ours / theirs : 0.0);
    std::fflush(stdout);
}

// --- the tree ----------------------------------------------------------------------------------

double ExpandInBrowser(TEditorKit& kit, IRoot* list, const QStringList& labels) {
    Browser browser(kit);
    browser.SetRoot(list, nullptr, "big");
    Show(browser.tree);
    TBrowserNode* top = browser.model.Top();

    QElapsedTimer clock;
    clock.start();
    browser.model.ExpandNode(top);
    browser.model.ExpandInView(top);
    LayOut(browser.tree);
    const double spent = Milliseconds(clock);

    // the first screen shows the first items under the labels the paint made
    const int row = browser.tree.visualRect(browser.model.IndexOf(top)).height();
    const QModelIndex first = browser.tree.indexAt(QPoint(40, row * 3 / 2));
    if (top->children.size() != std::size_t(labels.size()) || first.row() != 0 ||
        browser.model.NodeOf(first)->parent != top || !top->children[0]->labelMade ||
        !top->children[1]->labelMade || top->children[0]->label != labels[0] ||
        top->children[1]->label != labels[1]) {
        std::fprintf(stderr, "bench_browser: the tree does not show the list's first items\n");
        return -1;
    }
    return spent;
}

double ExpandInTreeWidget(const QStringList& labels) {
    QTreeWidget tree;
    SetUpTree(tree);
    auto* top = new QTreeWidgetItem(QStringList{"big"});
    tree.addTopLevelItem(top);
    Show(tree);

    QElapsedTimer clock;
    clock.start();
    QList<QTreeWidgetItem*> items;
    items.reserve(labels.size());
    for (const QString& label : labels) items.append(new QTreeWidgetItem(QStringList{label}));
    top->addChildren(items);
    tree.expandItem(top);
    LayOut(tree);
    const double spent = Milliseconds(clock);

    const int row = tree.visualItemRect(top).height();
    if (tree.itemAt(QPoint(40, row * 3 / 2)) != items.front()) {
        std::fprintf(stderr, "bench_browser: the tree widget does not show its first items\n");
        return -1;
    }
    return spent;
}

bool MeasureExpand(TEditorKit& kit, int count) {
    QStringList labels;
    VnRef<IRoot> list = MakeList(count, labels);
    if (!list) {
        std::fprintf(stderr, "bench_browser: cannot make a list of %d items\n", count);
        return false;
    }
    double ours, theirs;
    if (!Best([&] { return ExpandInBrowser(kit, list.get(), labels); },
              [&] { return ExpandInTreeWidget(labels); }, ours, theirs))
        return false;
    const QByteArray figure = "expand list of " + QByteArray::number(count) + " items";
    Print(figure.constData(), ours, "QTreeWidget", theirs);
    return true;
}

// --- the filter --------------------------------------------------------------------------------

// A runtime list of 1,000 named lists of 99 items each: with every list expanded the tree has
// 100,001 nodes. Every other item is named after one of a few words ("light 12", "model 7"),
// the rest get computed labels ("List3"). `labels` receives each group's label and then its
// items' labels, group after group.
constexpr int kGroups = 1000;
constexpr int kGroupItems = 99;
const char* const kWords[] = {"light", "model", "camera", "material", "line"};
// What is typed, one keystroke after the other; the empty text is clearing the line.
const char* const kTyped[] = {"l", "li", "lig", "ligh", "light", ""};
constexpr int kKeystrokes = int(sizeof kTyped / sizeof kTyped[0]);

void Name(IRoot* object, const QByteArray& name) {
    mw::MemberRef member;
    member.Bind("name", object);
    mw::TextToValue(member.value(), name.constData());
}

VnRef<IRoot> MakeGroups(std::vector<QStringList>& labels) {
    VnRef<IRoot> object = NewObject(kListClass);
    VnRef<IList> list = VnQuery<IList>(object.get());
    if (!list) return {};
    labels.assign(kGroups, {});
    for (int g = 0; g < kGroups; ++g) {
        VnRef<IRoot> group = NewObject(kListClass);
        VnRef<IList> items = VnQuery<IList>(group.get());
        if (!items) return {};
        const QByteArray groupName = "group " + QByteArray::number(g);
        Name(group.get(), groupName);
        labels[std::size_t(g)] << QString::fromLatin1(groupName);
        for (int i = 0; i < kGroupItems; ++i) {
            VnRef<IRoot> item = NewObject(kListClass);
            if (!item) return {};
            if (i % 2 == 0) {
                const QByteArray name =
                    kWords[(g + i / 2) % 5] + QByteArray(" ") + QByteArray::number(i);
                Name(item.get(), name);
                labels[std::size_t(g)] << QString::fromLatin1(name);
            } else {
                labels[std::size_t(g)] << "List" + QString::number(i);
            }
            if (!items->AddItem(-1, item.get())) return {};
        }
        if (!list->AddItem(-1, group.get())) return {};
    }
    return object;
}

// The browser with the top and every group expanded, shown; false when the tree does not hold
// the nodes it should.
bool ExpandGroups(Browser& browser, IRoot* root) {
    browser.SetRoot(root, nullptr, "big");
    TBrowserNode* top = browser.model.Top();
    browser.model.ExpandNode(top);
    browser.model.ExpandInView(top);
    for (const auto& group : top->children) {
        browser.model.ExpandNode(group.get());
        browser.model.ExpandInView(group.get());
    }
    Show(browser.tree);
    std::size_t nodes = 0;
    for (const auto& group : top->children) nodes += 1 + group->children.size();
    return nodes == std::size_t(kGroups) * (1 + kGroupItems);
}

// Counts the rows the view shows below `parent`, hidden ones left out.
int ShownRows(const QTreeView& tree, const QModelIndex& parent) {
    int shown = 0;
    const QAbstractItemModel* model = tree.model();
    for (int r = 0; r < model->rowCount(parent); ++r)
        if (!tree.isRowHidden(r, parent)) shown += 1 + ShownRows(tree, model->index(r, 0, parent));
    return shown;
}

// The rows the filter should leave below the top: each group that holds the text or has an item
// that does, with those items.
int ExpectedRows(const std::vector<QStringList>& labels, const QString& text) {
    int shown = 0;
    for (const QStringList& group : labels) {
        int matches = 0;
        for (int i = 1; i < group.size(); ++i)
            if (group[i].contains(text, Qt::CaseInsensitive)) ++matches;
        if (text.isEmpty()) matches = int(group.size()) - 1;
        if (matches || group[0].contains(text, Qt::CaseInsensitive)) shown += 1 + matches;
    }
    return shown;
}

// A plain pass over the whole tree with nothing filtered: the view lays out every expanded row
// again and paints, what any keystroke that hides or shows a row costs at least.
double Relayout(QTreeView& tree) {
    QElapsedTimer clock;
    clock.start();
    tree.doItemsLayout();
    LayOut(tree);
    return Milliseconds(clock);
}

// Each keystroke's time in the browser, the labels made by the first one, after a plain pass;
// false when a keystroke left the tree showing other rows than it should.
bool FilterInBrowser(TEditorKit& kit, IRoot* root, const std::vector<QStringList>& labels,
                     std::vector<double>& times, double& relayout) {
    Browser browser(kit);
    if (!ExpandGroups(browser, root)) return false;
    relayout = Relayout(browser.tree);
    const QModelIndex top = browser.model.IndexOf(browser.model.Top());
    for (int k = 0; k < kKeystrokes; ++k) {
        QElapsedTimer clock;
        clock.start();
        browser.model.SetFilter(kTyped[k]);
        LayOut(browser.tree);
        times[std::size_t(k)] = Milliseconds(clock);
        if (ShownRows(browser.tree, top) != ExpectedRows(labels, kTyped[k])) {
            std::fprintf(stderr, "bench_browser: the filter '%s' shows %d rows, not %d\n",
                         kTyped[k], ShownRows(browser.tree, top), ExpectedRows(labels, kTyped[k]));
            return false;
        }
    }
    return true;
}

// Hides the items that neither hold the text nor have an item below that does, as a filter of a
// QTreeWidget does it; true when the item shows.
bool FilterItem(QTreeWidgetItem* item, const QString& text) {
    bool below = false;
    for (int i = 0; i < item->childCount(); ++i)
        if (FilterItem(item->child(i), text)) below = true;
    const bool shown = text.isEmpty() || below || item->text(0).contains(text, Qt::CaseInsensitive);
    item->setHidden(!shown);
    return shown;
}

void FilterTreeWidget(const std::vector<QStringList>& labels, std::vector<double>& times,
                      double& relayout) {
    QTreeWidget tree;
    SetUpTree(tree);
    auto* top = new QTreeWidgetItem(QStringList{"big"});
    tree.addTopLevelItem(top);
    for (const QStringList& group : labels) {
        auto* node = new QTreeWidgetItem(QStringList{group[0]});
        QList<QTreeWidgetItem*> items;
        for (int i = 1; i < group.size(); ++i)
            items.append(new QTreeWidgetItem(QStringList{group[i]}));
        node->addChildren(items);
        top->addChild(node);
        node->setExpanded(true);
    }
    top->setExpanded(true);
    Show(tree);
    relayout = Relayout(tree);
    for (int k = 0; k < kKeystrokes; ++k) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            FilterItem(tree.topLevelItem(i), kTyped[k]);
        LayOut(tree);
        times[std::size_t(k)] = Milliseconds(clock);
    }
}

// One keystroke ("lig") on the unfiltered tree, through the browser's filter or through a
// recursive proxy over the same model in a second view with the same nodes expanded.
double FilterOnceInBrowser(TEditorKit& kit, IRoot* root) {
    Browser browser(kit);
    if (!ExpandGroups(browser, root)) return -1;
    QElapsedTimer clock;
    clock.start();
    browser.model.SetFilter("lig");
    LayOut(browser.tree);
    return Milliseconds(clock);
}

double FilterOnceInProxy(TEditorKit& kit, IRoot* root) {
    Browser browser(kit);
    if (!ExpandGroups(browser, root)) return -1;
    browser.tree.hide();
    QSortFilterProxyModel proxy;
    proxy.setRecursiveFilteringEnabled(true);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy.setSourceModel(&browser.model);
    QTreeView view;
    SetUpTree(view);
    view.setModel(&proxy);
    TBrowserNode* top = browser.model.Top();
    view.expand(proxy.mapFromSource(browser.model.IndexOf(top)));
    for (const auto& group : top->children)
        view.expand(proxy.mapFromSource(browser.model.IndexOf(group.get())));
    Show(view);
    QElapsedTimer clock;
    clock.start();
    proxy.setFilterFixedString("lig");
    LayOut(view);
    return Milliseconds(clock);
}

bool MeasureFilter(TEditorKit& kit) {
    std::vector<QStringList> labels;
    VnRef<IRoot> root = MakeGroups(labels);
    if (!root) {
        std::fprintf(stderr, "bench_browser: cannot make the groups to filter\n");
        return false;
    }
    std::vector<double> ours(kKeystrokes, 1e300), theirs(kKeystrokes, 1e300);
    std::vector<double> run(kKeystrokes);
    double plainOurs = 1e300, plainTheirs = 1e300, plain = 0;
    for (int r = 0; r < kRuns; ++r) {
        if (!FilterInBrowser(kit, root.get(), labels, run, plain)) return false;
        plainOurs = std::min(plainOurs, plain);
        for (int k = 0; k < kKeystrokes; ++k) ours[k] = std::min(ours[k], run[k]);
        FilterTreeWidget(labels, run, plain);
        plainTheirs = std::min(plainTheirs, plain);
        for (int k = 0; k < kKeystrokes; ++k) theirs[k] = std::min(theirs[k], run[k]);
    }
    Print("relayout 100001 nodes, no filter (the floor of a keystroke)", plainOurs, "QTreeWidget",
          plainTheirs);
    for (int k = 0; k < kKeystrokes; ++k) {
        const QByteArray figure = *kTyped[k]
                                      ? "filter 100001 nodes, typed '" + QByteArray(kTyped[k]) + "'"
                                      : QByteArray("filter 100001 nodes, cleared");
        Print(figure.constData(), ours[k], "QTreeWidget", theirs[k]);
    }
    double once, proxy;
    if (!Best([&] { return FilterOnceInBrowser(kit, root.get()); },
              [&] { return FilterOnceInProxy(kit, root.get()); }, once, proxy))
        return false;
    Print("filter 100001 nodes, 'lig' at once", once, "QSortFilterProxyModel", proxy);
    return true;
}

// --- the grid ----------------------------------------------------------------------------------

// The texts of the grid's rows as the browser shows them.
std::vector<std::pair<QString, QString>> GridTexts(TGridRows& rows) {
    std::vector<std::pair<QString, QString>> texts;
    for (int r = 0; r < rows.rowCount(); ++r)
        texts.emplace_back(rows.data(rows.index(r, 0), Qt::DisplayRole).toString(),
                           rows.data(rows.index(r, 1), Qt::DisplayRole).toString());
    return texts;
}

// Fills the grid for the root from empty; `texts` receives what it shows.
double FillInBrowser(TEditorKit& kit, IRoot* object, PyObject* python,
                     std::vector<std::pair<QString, QString>>& texts) {
    Browser browser(kit);
    browser.SetRoot(object, python, "root");
    browser.rows.ClearRows();
    Show(browser.grid);

    QElapsedTimer clock;
    clock.start();
    browser.RefreshSelection();
    LayOut(browser.grid);
    const double spent = Milliseconds(clock);

    texts = GridTexts(browser.rows);
    return spent;
}

double FillTableWidget(const std::vector<std::pair<QString, QString>>& texts) {
    QTableWidget table(0, 2);
    SetUpGrid(table);
    table.setColumnWidth(1, 220);
    Show(table);

    QElapsedTimer clock;
    clock.start();
    const int rows = static_cast<int>(texts.size());
    table.setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        table.setItem(r, 0, new QTableWidgetItem(texts[std::size_t(r)].first));
        table.setItem(r, 1, new QTableWidgetItem(texts[std::size_t(r)].second));
    }
    LayOut(table);
    return Milliseconds(clock);
}

bool MeasureFill(TEditorKit& kit, const char* figure, IRoot* object, PyObject* python,
                 int expectedRows) {
    std::vector<std::pair<QString, QString>> texts;
    double ours, theirs;
    if (!Best([&] { return FillInBrowser(kit, object, python, texts); },
              [&] { return FillTableWidget(texts); }, ours, theirs))
        return false;
    if (static_cast<int>(texts.size()) < expectedRows) {
        std::fprintf(stderr, "bench_browser: the grid shows %d rows, not %d\n",
                     static_cast<int>(texts.size()), expectedRows);
        return false;
    }
    Print(figure, ours, "QTableWidget", theirs);
    return true;
}

// --- deep chains and long lists ----------------------------------------------------------------

// Memory the C allocator has handed out and not taken back, in MB (Python's small objects
// come from arenas it allocates through it too).
double AllocatedMb() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// A Python list holding a list holding a list ... `depth` deep.
PyRef MakeChain(int depth) {
    PyRef top = PyRef::Steal(PyList_New(0));
    PyObject* at = top.get();
    for (int i = 0; i < depth && at; ++i) {
        PyRef next = PyRef::Steal(PyList_New(0));
        if (!next || PyList_Append(at, next.get()) < 0) return {};
        at = next.get();  // held by the list before it
    }
    return top;
}

// Expands everything below the chain's root, as app.browser.Expand(1) does.
double ExpandChainInBrowser(TEditorKit& kit, PyObject* chain, int depth) {
    Browser browser(kit);
    browser.SetRoot(nullptr, chain, "chain");
    Show(browser.tree);
    QElapsedTimer clock;
    clock.start();
    const bool whole =
        browser.model.ExpandAll(browser.model.Top()) != TBrowserModel::ExpandEnd::Stopped;
    LayOut(browser.tree);
    const double spent = Milliseconds(clock);
    int levels = 0;
    for (const TBrowserNode* n = browser.model.Top(); !n->children.empty();
         n = n->children[0].get())
        ++levels;
    if (!whole || levels != depth) {
        std::fprintf(stderr, "bench_browser: the chain opened %d levels of %d\n", levels, depth);
        return -1;
    }
    return spent;
}

// The same chain as QTreeWidget items, every one expanded.
double ExpandChainInTreeWidget(int depth) {
    QTreeWidget tree;
    SetUpTree(tree);
    Show(tree);
    QElapsedTimer clock;
    clock.start();
    auto* top = new QTreeWidgetItem(QStringList("chain"));
    QTreeWidgetItem* at = top;
    std::vector<QTreeWidgetItem*> items{top};
    for (int i = 0; i < depth; ++i)
        items.push_back(at = new QTreeWidgetItem(at, QStringList("[0]")));
    tree.addTopLevelItem(top);
    // as deep as the browser opens them: deeper, the view's recursive layout overflows the stack
    for (int i = 0; i < TBrowserModel::kViewDepth; ++i) items[std::size_t(i)]->setExpanded(true);
    LayOut(tree);
    return Milliseconds(clock);
}

bool MeasureChain(TEditorKit& kit, int depth) {
    PyRef chain = MakeChain(depth);
    if (!chain) return false;
    double ours, theirs;
    if (!Best([&] { return ExpandChainInBrowser(kit, chain.get(), depth); },
              [&] { return ExpandChainInTreeWidget(depth); }, ours, theirs))
        return false;
    const QByteArray figure = "expand all of " + QByteArray::number(depth) + " nested lists";
    Print(figure.constData(), ours, "QTreeWidget of the same items", theirs);
    return true;
}

// A trivial model of `count` rows: what the table view itself costs.
class CountModel final : public QAbstractTableModel {
public:
    explicit CountModel(int count) : mCount(count) {}
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : mCount; }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        return index.column() == 0 ? QString("[%1]").arg(index.row())
                                   : QString::number(index.row());
    }

private:
    int mCount;
};

// Shows a flat list of `count` ints in the grid; `grown` receives the memory it added.
double FillListInBrowser(TEditorKit& kit, PyObject* list, int count, double& grown) {
    Browser browser(kit);
    browser.SetRoot(nullptr, list, "ints");
    browser.rows.ClearRows();
    Show(browser.grid);
    const double before = AllocatedMb();
    QElapsedTimer clock;
    clock.start();
    browser.RefreshSelection();
    LayOut(browser.grid);
    const double spent = Milliseconds(clock);
    grown = AllocatedMb() - before;
    const TGridRows& rows = browser.rows;
    if (rows.rowCount() != count ||
        rows.data(rows.index(count - 1, 1), Qt::DisplayRole).toString() !=
            QString::number(count - 1)) {
        std::fprintf(stderr, "bench_browser: the grid does not show the list's %d items\n", count);
        return -1;
    }
    return spent;
}

double FillCountModel(int count) {
    QTableView grid;
    SetUpGrid(grid);
    CountModel model(count);
    Show(grid);
    QElapsedTimer clock;
    clock.start();
    grid.setModel(&model);
    LayOut(grid);
    return Milliseconds(clock);
}

bool MeasureLongList(TEditorKit& kit, int count) {
    PyRef list = PyRef::Steal(PyList_New(count));
    for (int i = 0; list && i < count; ++i) PyList_SET_ITEM(list.get(), i, PyLong_FromLong(i));
    if (!list) return false;
    double ours, theirs, grown = 0;
    if (!Best([&] { return FillListInBrowser(kit, list.get(), count, grown); },
              [&] { return FillCountModel(count); }, ours, theirs))
        return false;
    const QByteArray figure = "grid of a list of " + QByteArray::number(count) + " ints";
    Print(figure.constData(), ours, "QTableView over a bare model", theirs);
    std::printf("  memory the grid added: %.1f MB\n", grown);
    std::fflush(stdout);
    return true;
}

// --- the list sorter ---------------------------------------------------------------------------

// Opens the sorter on the list until its first screen is painted, then cancels it; negative
// when it does not show the list's first item.
double OpenSorter(IList* list, const QString& first) {
    TmVornListSorter sorter;
    QElapsedTimer clock;
    double spent = -1;
    QTimer::singleShot(0, &sorter, [&] {  // the first thing the sorter's own event loop runs
        sorter.grab();
        spent = Milliseconds(clock);
        auto* lines = sorter.findChild<QAbstractItemView*>("mListBox");
        if (!lines || lines->model()->index(0, 0).data().toString() != first) spent = -1;
        sorter.reject();
    });
    clock.start();
    sorter.Run(list);
    if (spent < 0) std::fprintf(stderr, "bench_browser: the sorter does not show the list\n");
    return spent;
}

// What opening the sorter cannot do without: each of the list's items read and held once.
double ReadItems(IList* list) {
    QElapsedTimer clock;
    clock.start();
    std::vector<VnRef<IRoot>> items;
    items.reserve(std::size_t(list->GetCount()));
    for (int k = 0; k < list->GetCount(); ++k) items.emplace_back(list->GetItem(k));
    const double spent = Milliseconds(clock);
    return items.size() == std::size_t(list->GetCount()) ? spent : -1;
}

bool MeasureSorter(int count) {
    QStringList labels;
    VnRef<IRoot> object = MakeList(count, labels);
    VnRef<IList> list = VnQuery<IList>(object.get());
    if (!list) {
        std::fprintf(stderr, "bench_browser: cannot make a list of %d items\n", count);
        return false;
    }
    double ours, theirs;
    if (!Best([&] { return OpenSorter(list.get(), labels[0]); },
              [&] { return ReadItems(list.get()); }, ours, theirs))
        return false;
    const QByteArray figure = "open list sorter on " + QByteArray::number(count) + " items";
    Print(figure.constData(), ours, "reading the items", theirs);
    return true;
}

int Measure(TEditorKit& kit) {
    if (!MeasureChain(kit, 50000)) return 1;
    for (int count : {1000000, 10000000})
        if (!MeasureLongList(kit, count)) return 1;

    for (int count : {100000, 1000000})
        if (!MeasureExpand(kit, count)) return 1;
    if (!MeasureFilter(kit)) return 1;

    VnRef<IRoot> wide = NewObject(kWideClass);
    PyRef dict = MakeDictionary(10000);
    if (!wide || !dict) {
        std::fprintf(stderr, "bench_browser: cannot make the grid's objects\n");
        return 1;
    }
    if (!MeasureFill(kit, "fill grid with 300 members", wide.get(), nullptr, kWideMembers) ||
        !MeasureFill(kit, "fill grid with 10000 dictionary items", nullptr, dict.get(), 10000))
        return 1;
    return MeasureSorter(200000) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    UseTemporaryHome(dir);
    if (!VnOS->IsStarted()) {
        std::fprintf(stderr, "bench_browser: the runtime did not start\n");
        return 1;
    }
    DescribeWide();
    int status = 1;
    if (!VnOS->RegisterClass({Wide::Type(), [] { return (new Wide())->Root(); }})) {
        std::fprintf(stderr, "bench_browser: cannot register bench.Wide\n");
    } else {
        QApplication app(argc, argv);
        BenchShell shell;
        BenchOutput output;
        TEditorKit kit(shell, output);
        status = Measure(kit);
    }
    VnOS->Shutdown();
    return status;
}
