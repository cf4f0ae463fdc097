#pragma once

#include <QIcon>
#include <QStringList>

class QMdiSubWindow;
class QSize;
class QWidget;

// The places of the main window where the libraries below it put their panels.
enum class TShellPlace {
    BottomPanel,  // the output panel below the documents: the console
    ConsolePage,  // the output panel's first page
    ErrorsPage,   // the output panel's hidden second page: the error log
    BrowserPage,  // the browsing panel's "Vorn Surfer" page: the object tree
    RightPanel,   // the panel right of the documents: the member grid and its in-place editors
    WebPage,      // the browsing panel's "Web Surfer" page: the web view
};

// What the libraries below the main window need of it. The main window implements it and hands
// it to each library it creates; nothing below reaches the main window any other way.
class IShell {
public:
    virtual ~IShell() = default;
    // The widget a library puts its panel into (its layout takes the panel).
    virtual QWidget* Place(TShellPlace place) = 0;
    // Shows the panel that holds `place` and brings its page to the front.
    virtual void ShowPlace(TShellPlace place) = 0;
    // Opens files as File Open or a drop does: ".py" files run, anything else shows as text.
    virtual void OpenFiles(const QStringList& files) = 0;
    // A batch run has no one to read the console: its output goes to the terminal too.
    virtual bool IsBatchRun() const = 0;
    // Shows a text in one of the status bar's panels (0: what the selection is).
    virtual void SetStatusText(int panel, const QString& text) = 0;
    // A picture of the shared image list, by index; an empty icon before the list exists.
    virtual QIcon Image(int index) const = 0;
    // The window that owns the dialogs and message boxes of the libraries below.
    virtual QWidget* DialogParent() = 0;
    // The 3D window is a document: shows `content` in a self-deleting frame of `size` there.
    virtual QMdiSubWindow* AddDocumentWindow(QWidget* content, const QSize& size) = 0;
    // Escape in the 3D window is the way back from a fill-screen 3D window to the main window.
    virtual void BringToFront() = 0;
};
