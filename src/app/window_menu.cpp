#include "app/window_menu.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <algorithm>

#include "view3d/tm_3d_window.h"

TWindowMenu::TWindowMenu(QMdiArea* area, QWidget* parent) : QMenu("&Window", parent), mArea(area) {
    setObjectName("Window1");
    setToolTip("Window related commands");
    connect(this, &QMenu::aboutToShow, this, &TWindowMenu::ListWindows);
}

void TWindowMenu::Cascade() { mArea->cascadeSubWindows(); }

void TWindowMenu::Tile(bool column) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : mArea->subWindowList())
        if (!w->isMinimized() && !w->isHidden()) windows << w;
    const QRect area = mArea->viewport()->rect();
    const int n = int(windows.size());
    const int length = column ? area.height() : area.width();
    for (int i = 0; i < n; ++i) {
        if (windows[i]->isMaximized()) windows[i]->showNormal();
        // the edges at i/n of the area: the parts differ by at most one pixel
        const int from = length * i / n;
        const int size = length * (i + 1) / n - from;
        windows[i]->setGeometry(column ? QRect(0, from, area.width(), size)
                                       : QRect(from, 0, size, area.height()));
    }
}

void TWindowMenu::MinimizeAll() {
    for (QMdiSubWindow* w : mArea->subWindowList()) w->showMinimized();
}

void TWindowMenu::ArrangeIcons() {
    // left to right along the bottom; a row that is full goes on in the row above it
    const QRect area = mArea->viewport()->rect();
    int left = 0;
    int bottom = area.height();
    int rowHeight = 0;
    for (QMdiSubWindow* w : mArea->subWindowList()) {
        if (!w->isMinimized() || w->isHidden()) continue;
        if (left > 0 && left + w->width() > area.width()) {
            left = 0;
            bottom -= rowHeight;
            rowHeight = 0;
        }
        w->move(left, bottom - w->height());
        left += w->width();
        rowHeight = std::max(rowHeight, w->height());
    }
}

void TWindowMenu::ListWindows() {
    RemoveListedWindows();
    const QList<QMdiSubWindow*> windows = mArea->subWindowList();
    Tm3DWindow* fillScreen = Tm3DWindow::Current();
    if (fillScreen && !fillScreen->IsFillScreen()) fillScreen = nullptr;
    if (windows.isEmpty() && !fillScreen) return;
    addSeparator()->setProperty("windowEntry", true);
    QMdiSubWindow* current = mArea->currentSubWindow();
    for (int i = 0; i < windows.size(); ++i) AddWindowEntry(i, windows[i], windows[i] == current);
    if (fillScreen) AddFillScreenEntry(int(windows.size()), fillScreen);
}

// The fill-screen 3D window is no document window, yet it is one of the tool's windows.
void TWindowMenu::AddFillScreenEntry(int index, QWidget* window) {
    QAction* entry = AddEntry(index, window->windowTitle());
    entry->setObjectName("mFillScreenEntry");
    entry->setChecked(window->isActiveWindow());
    connect(entry, &QAction::triggered, this, [target = QPointer(window)] {
        if (!target) return;
        target->raise();
        target->activateWindow();
    });
}

QAction* TWindowMenu::AddEntry(int index, const QString& title) {
    QString caption = QString(title).replace('&', "&&");  // no "&" is a mnemonic
    if (index < 9) caption = QString("&%1 %2").arg(QString::number(index + 1), caption);
    QAction* entry = addAction(caption);
    entry->setProperty("windowEntry", true);
    entry->setCheckable(true);
    return entry;
}

// What the last opening listed goes; the commands stay.
void TWindowMenu::RemoveListedWindows() {
    for (QAction* a : actions())
        if (a->property("windowEntry").toBool()) delete a;
}

void TWindowMenu::AddWindowEntry(int index, QMdiSubWindow* window, bool current) {
    QAction* entry = AddEntry(index, window->windowTitle());
    entry->setChecked(current);
    connect(entry, &QAction::triggered, this, [this, target = QPointer(window)] {
        if (!target) return;
        if (target->isMinimized()) target->showNormal();
        mArea->setActiveSubWindow(target);
    });
}
