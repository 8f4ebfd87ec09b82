#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace kv {

// Gives a download the program starts for a page (QWebEnginePage::download, which sends no referrer)
// the referrer the page itself would send, so that a server that checks it gives the same answer it
// gave the page. Set on the page; each expected address is answered once.
class ReferrerInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void expect(const QUrl& url, const QByteArray& referrer);
    void forget(const QUrl& url);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // What a page at `page` sends as referrer for a request of `target` under the default policy
    // (strict-origin-when-cross-origin): the page's address within its origin, the origin alone to
    // another one, and nothing from https to http or from a page that is not on the web.
    static QByteArray referrerFor(const QUrl& page, const QUrl& target);

  private:
    QMutex m_mutex;  // the engine may ask from its own thread
    QHash<QUrl, QByteArray> m_expected;
};

}  // namespace kv
