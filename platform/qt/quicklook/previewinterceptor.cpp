#include "platform/qt/quicklook/previewinterceptor.h"

#include "platform/qt/quicklook/previewschemehandler.h"

namespace kv {

bool PreviewInterceptor::allows(const QUrl& url, const QUrl& firstParty, const QString& remoteFor) {
    const QString scheme = url.scheme();
    // The scheme handler itself refuses every address but the file's.
    if (scheme == QLatin1String(PreviewSchemeHandler::scheme())) return true;
    // What the page makes itself, and the engine's own pages (the PDF viewer is one).
    if (scheme == "data" || scheme == "blob" || scheme == "about" || scheme == "chrome-extension" ||
        scheme == "chrome")
        return true;
    if (scheme == "http" || scheme == "https" || scheme == "ws" || scheme == "wss")
        return !remoteFor.isEmpty() && firstParty.scheme() == QLatin1String(PreviewSchemeHandler::scheme()) &&
               firstParty.host() == remoteFor;
    return false;  // file:, ftp:, qrc: and anything else
}

void PreviewInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (allows(info.requestUrl(), info.firstPartyUrl(), m_remoteFor)) return;
    info.block(true);
    emit blocked(info.firstPartyUrl(), info.requestUrl());
}

}  // namespace kv
