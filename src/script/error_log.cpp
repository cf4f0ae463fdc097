#include "script/error_log.h"

#include <QApplication>
#include <QHeaderView>
#include <QLayout>
#include <QStyle>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include "app/forms.h"
#include "app/tm_main.h"
#include "core/vorn_string.h"
#include "script/script_host.h"
#include "vorn/os.h"

TmErrorLog::TmErrorLog(QWidget* parent) : QWidget(parent) {
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
    mErrorLog = this;
    FormCreate();
}

TmErrorLog::~TmErrorLog() { delete mErrorPanel; }

void TmErrorLog::FormCreate() {
    QWidget* sheet = mMain ? mMain->findChild<QWidget*>("mErrorsSheet") : nullptr;
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
    if (mMain && mMain->ScriptHost()) mMain->ScriptHost()->Write(text + "\r\n");
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
