// What a user waits for in the object browser: expanding a runtime list of 100,000 and of
// 1,000,000 items until the tree shows its first screen, beside a QTreeWidget given the same
// label texts; and filling the member grid for an object of 300 members and for a dictionary of
// 10,000 items until the grid shows its first screen, beside a QTableWidget given the same
// texts. Each figure is the best of three runs, the two sides taking turns, on fresh views.
// Settings and paths live in a temporary folder; without a display it uses Qt's offscreen
// platform.
#include <Python.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
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
    grid.horizontalHeader()->hide();
    grid.verticalHeader()->hide();
    grid.verticalHeader()->setDefaultSectionSize(18);
    grid.horizontalHeader()->setDefaultSectionSize(100);
    grid.horizontalHeader()->setStretchLastSection(true);
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.setSelectionBehavior(QAbstractItemView::SelectItems);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
}

// The browser's model with its tree and grid, made afresh for each run.
struct Browser {
    explicit Browser(TEditorKit& kit) : model(&tree, &grid, &caption, &panel, kit) {
        SetUpTree(tree);
        SetUpGrid(grid);
        tree.setModel(&model);
        grid.setModel(&model.Rows());
        grid.setItemDelegate(new TGridDelegate(model.Rows(), &grid));
        grid.setColumnWidth(1, 220);
    }

    QTreeView tree;
    QTableView grid;
    QLabel caption;
    QWidget panel;
    TBrowserModel model;  // made last, so it goes first: its rows paint through the grid
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
    browser.model.SetRoot(list, nullptr, "big", false);
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

// --- the grid ----------------------------------------------------------------------------------

// The texts of the grid's rows, header included, as the browser shows them.
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
    browser.model.SetRoot(object, python, "root", false);
    browser.model.Rows().ClearRows();
    Show(browser.grid);

    QElapsedTimer clock;
    clock.start();
    browser.model.RefreshSelection();
    LayOut(browser.grid);
    const double spent = Milliseconds(clock);

    texts = GridTexts(browser.model.Rows());
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
    if (static_cast<int>(texts.size()) < expectedRows + 1) {  // the header row comes first
        std::fprintf(stderr, "bench_browser: the grid shows %d rows, not %d\n",
                     static_cast<int>(texts.size()) - 1, expectedRows);
        return false;
    }
    Print(figure, ours, "QTableWidget", theirs);
    return true;
}

int Measure(TEditorKit& kit) {
    for (int count : {100000, 1000000})
        if (!MeasureExpand(kit, count)) return 1;

    VnRef<IRoot> wide = NewObject(kWideClass);
    PyRef dict = MakeDictionary(10000);
    if (!wide || !dict) {
        std::fprintf(stderr, "bench_browser: cannot make the grid's objects\n");
        return 1;
    }
    if (!MeasureFill(kit, "fill grid with 300 members", wide.get(), nullptr, kWideMembers) ||
        !MeasureFill(kit, "fill grid with 10000 dictionary items", nullptr, dict.get(), 10000))
        return 1;
    return 0;
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
