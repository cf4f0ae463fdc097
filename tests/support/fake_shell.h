#pragma once

#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>
#include <QWidget>

#include "core/vorn_string.h"
#include "shell/ioutput.h"
#include "shell/ishell.h"
#include "vorn/os.h"

// The main window as the libraries below it see it: two places in one shown window, the status
// bar's first panel and a dialog owner.
class FakeShell final : public IShell {
public:
    FakeShell() {
        auto* layout = new QHBoxLayout(&window);
        for (QWidget* place : {&browserPage, &rightPanel}) {
            new QVBoxLayout(place);
            layout->addWidget(place);
        }
        window.resize(800, 600);
    }
    QWidget* Place(TShellPlace place) override {
        return place == TShellPlace::RightPanel ? &rightPanel : &browserPage;
    }
    void ShowPlace(TShellPlace) override {}
    void OpenFiles(const QStringList&) override {}
    bool IsBatchRun() const override { return false; }
    void SetStatusText(int panel, const QString& text) override {
        if (panel == 0) status = text;
    }
    QIcon Image(int) const override { return {}; }
    QWidget* DialogParent() override { return &window; }
    // Documents go to an area of their own, shown apart from the window.
    QMdiSubWindow* AddDocumentWindow(QWidget* content, const QSize& size) override {
        auto* frame = new QMdiSubWindow;
        frame->setAttribute(Qt::WA_DeleteOnClose);
        frame->setWidget(content);
        frame->resize(size);
        documents.addSubWindow(frame);
        frame->show();
        return frame;
    }
    void BringToFront() override { ++broughtToFront; }

    QWidget window;
    QWidget browserPage;
    QWidget rightPanel;
    QString status;
    QMdiArea documents;
    int broughtToFront = 0;
};

// Takes the runtime's pending errors as the error log would, and keeps what was written.
class FakeOutput final : public IOutput {
public:
    void Write(const QString& text) override { written += text; }
    void RefreshErrors() override {
        if (!VnOS->HasError(0)) return;
        char* text = nullptr;
        VnOS->GetErrorText(&text);
        mw::VornString held;
        held.adopt(text);
        errors << QString::fromUtf8(held.c_str());
        VnOS->SetError(0, nullptr, nullptr);
    }
    QString written;
    QStringList errors;
};
