// The plugin that holds the web engine: a QWebEngineView whose page asks the form before every
// navigation and tells it when the page shows an address and when its document has loaded.
#include <QObject>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "web/web_view.h"

namespace {

class AskingPage : public QWebEnginePage {
public:
    AskingPage(IWebViewEvents& events, QObject* parent) : QWebEnginePage(parent), mEvents(events) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return mEvents.AllowNavigation(url.toString(), isMainFrame);
    }

private:
    IWebViewEvents& mEvents;
};

class WebView : public QWebEngineView, public IWebView {
public:
    WebView(QWidget* parent, IWebViewEvents& events) : QWebEngineView(parent) {
        auto* page = new AskingPage(events, this);
        setPage(page);
        connect(page, &QWebEnginePage::urlChanged, this,
                [&events](const QUrl& url) { events.AddressShown(url.toString()); });
        connect(page, &QWebEnginePage::loadFinished, this,
                [&events, page](bool ok) { events.LoadFinished(ok, page->url().toString()); });
    }
    QWidget* Widget() override { return this; }
    void Open(const QString& address) override { setUrl(QUrl::fromUserInput(address)); }
    QString Url() const override { return url().toString(); }
};

}  // namespace

class WebViewFactory : public QObject, public IWebViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MOSSWICK_WEB_VIEW_FACTORY)
    Q_INTERFACES(IWebViewFactory)

public:
    IWebView* MakeView(QWidget* parent, IWebViewEvents& events) override {
        return new WebView(parent, events);
    }
};

#include "web_view_plugin.moc"
