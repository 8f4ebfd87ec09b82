#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace kv {

// What a quick look's page may load: its own file and what the engine makes from it (data:, blob:,
// the PDF viewer's own parts). The network only when the user allowed it for that page, and local
// files never.
class PreviewInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    // Whether a page (by its address, firstParty) may load url, with remoteFor the host of the page
    // the network is allowed for (empty: none).
    static bool allows(const QUrl& url, const QUrl& firstParty, const QString& remoteFor);

    // Lets the page at this preview address reach the network.
    void allowRemote(const QUrl& page) { m_remoteFor = page.host(); }
    bool remoteAllowed(const QUrl& page) const {
        return !m_remoteFor.isEmpty() && page.host() == m_remoteFor;
    }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

  signals:
    // A request from the page at firstParty was refused.
    void blocked(const QUrl& firstParty, const QUrl& url);

  private:
    QString m_remoteFor;
};

}  // namespace kv
