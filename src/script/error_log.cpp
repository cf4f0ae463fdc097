#include "script/error_log.h"

#include <QApplication>
#include <QHeaderView>
#include <QLayout>
#include <QStyle>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include "core/vorn_string.h"
#include "script/script_host.h"
#include "shell/ishell.h"
#include "vorn/os.h"

TmErrorLog::TmErrorLog(IShell& shell, TScriptHost& host, QWidget* parent)
    : QWidget(parent), mShell(shell), mHost(host) {
    setObjectName("mErrorLog");
    hide();
    mErrorPanel = new QWidget;
    mErrorPanel->setObjectName("mErrorPanel");
    auto* layout = new QVBoxLayout(mErrorPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    mErrGrid = new QTableWidget(0, 3, mErrorPanel);
    mErrGrid->setObjectName("mErrGrid");
    mErrGrid->setHorizontalHeaderLabels({QString(), "Time", "Error"});
    mErrGrid->setColumnWidth(0, 18);
    mErrGrid->horizontalHeader()->setStretchLastSection(true);
    mErrGrid->verticalHeader()->hide();
    mErrGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mErrGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(mErrGrid);
    FormCreate();
}

TmErrorLog::~TmErrorLog() { delete mErrorPanel; }

void TmErrorLog::FormCreate() {
    mHost.SetErrorLog(this);
    QWidget* sheet = mShell.Place(TShellPlace::ErrorsPage);
    if (!sheet) return;
    mErrorPanel->setParent(sheet);
    sheet->layout()->addWidget(mErrorPanel);
}

void TmErrorLog::Record() {
    mw::VornString block;
    char* raw = nullptr;
    VnOS->GetErrorText(&raw);
    block.adopt(raw);
    const QString text = QString::fromUtf8(block.c_str());
    mHost.Write(text + "\r\n");
    Errors << text;
    const int row = mErrGrid->rowCount();
    mErrGrid->insertRow(row);
    auto* icon = new QTableWidgetItem(
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical), QString());
    mErrGrid->setItem(row, 0, icon);
    mErrGrid->setItem(row, 1, new QTableWidgetItem(QTime::currentTime().toString("hh:mm:ss")));
    mErrGrid->setItem(row, 2, new QTableWidgetItem(text));
    VnOS->SetError(0, nullptr, nullptr);
}
