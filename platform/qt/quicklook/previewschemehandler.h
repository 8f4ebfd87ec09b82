#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace kv {

// Serves a quick look its one file, and nothing else. Each file gets an address of its own,
// kv-preview://pN/name, whose host is new for every file (so every preview is its own origin, and a
// permission given to one page is not given to the next); any other address of the scheme is refused.
// The file is opened and sniffed off the UI thread (PreviewContent).
class PreviewSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
  public:
    static const QByteArray& scheme();
    // Makes the scheme known to the web engine; call it before the application object is made.
    static void registerScheme();

    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // Allows path, and only it, from now on; returns its address.
    QUrl allow(const QByteArray& path);
    QUrl allowedUrl() const { return m_url; }
    // Whether url is the one allowed (its fragment aside).
    bool isAllowed(const QUrl& url) const;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

  private:
    QByteArray m_path;
    QUrl m_url;
    int m_serial = 0;
};

}  // namespace kv
