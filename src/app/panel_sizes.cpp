#include "app/panel_sizes.h"

#include <QSplitter>
#include <algorithm>

#include "shell/setting_keys.h"
#include "shell/settings.h"

TPanelSizes::TPanelSizes(QSplitter* sides, QSplitter* rows, QObject* parent)
    : QObject(parent), mSides(sides), mRows(rows) {
    setObjectName("mPanelSizes");
    mSides->setSizes({mLeftWidth, 436, mRightWidth});
    mRows->setSizes({520, mBottomHeight});
    // a resized window changes the documents' area only; the panels keep their sizes
    mSides->setStretchFactor(0, 0);
    mSides->setStretchFactor(1, 1);
    mSides->setStretchFactor(2, 0);
    mRows->setStretchFactor(0, 1);
    mRows->setStretchFactor(1, 0);
    connect(mSides, &QSplitter::splitterMoved, this, [this] { Keep(); });
    connect(mRows, &QSplitter::splitterMoved, this, [this] { Keep(); });
}

QWidget* TPanelSizes::Left() const { return mSides->widget(0); }

QWidget* TPanelSizes::Right() const { return mSides->widget(2); }

QWidget* TPanelSizes::Bottom() const { return mRows->widget(1); }

void TPanelSizes::Read() {
    const int left = mw::SettingNumber(mw::keys::kLeftPanelWidth, "0");
    const int right = mw::SettingNumber(mw::keys::kRightPanelWidth, "0");
    const int bottom = mw::SettingNumber(mw::keys::kBottomPanelHeight, "0");
    if (left > 0) mLeftWidth = left;
    if (right > 0) mRightWidth = right;
    if (bottom > 0) mBottomHeight = bottom;
    Apply();
}

void TPanelSizes::Write() const {
    mw::WriteNumber(mw::keys::kLeftPanelWidth, mLeftWidth);
    mw::WriteNumber(mw::keys::kRightPanelWidth, mRightWidth);
    mw::WriteNumber(mw::keys::kBottomPanelHeight, mBottomHeight);
}

// Splitters spread a difference over all their parts, so the sizes handed over must add up to
// what they have.
void TPanelSizes::Apply() {
    ApplySides();
    ApplyRows();
}

void TPanelSizes::ApplySides() {
    QList<int> sides = mSides->sizes();
    const int across = sides[0] + sides[1] + sides[2];
    if (!Left()->isHidden()) sides[0] = mLeftWidth;
    if (!Right()->isHidden()) sides[2] = mRightWidth;
    sides[1] = std::max(0, across - sides[0] - sides[2]);
    mSides->setSizes(sides);
}

void TPanelSizes::ApplyRows() {
    QList<int> rows = mRows->sizes();
    const int down = rows[0] + rows[1];
    if (!Bottom()->isHidden()) rows = {std::max(0, down - mBottomHeight), mBottomHeight};
    mRows->setSizes(rows);
}

// A hidden panel keeps its last shown size.
void TPanelSizes::Keep() {
    if (!Left()->isHidden()) mLeftWidth = Left()->width();
    if (!Right()->isHidden()) mRightWidth = Right()->width();
    if (!Bottom()->isHidden()) mBottomHeight = Bottom()->height();
}
