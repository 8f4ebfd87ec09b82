#include "platform/qt/web/referrerinterceptor.h"

#include <QMutexLocker>

namespace kv {

void ReferrerInterceptor::expect(const QUrl& url, const QByteArray& referrer) {
    QMutexLocker lock(&m_mutex);
    m_expected.insert(url, referrer);
}

void ReferrerInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    QMutexLocker lock(&m_mutex);
    if (m_expected.isEmpty()) return;
    const auto it = m_expected.constFind(info.requestUrl());
    if (it == m_expected.cend()) return;
    if (!it->isEmpty()) info.setHttpHeader("Referer", *it);
}

void ReferrerInterceptor::forget(const QUrl& url) {
    QMutexLocker lock(&m_mutex);
    m_expected.remove(url);
}

QByteArray ReferrerInterceptor::referrerFor(const QUrl& page, const QUrl& target) {
    const QString scheme = page.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return {};
    if (scheme == QLatin1String("https") && target.scheme() != QLatin1String("https")) return {};
    const bool sameOrigin =
        page.scheme() == target.scheme() && page.host() == target.host() && page.port(-1) == target.port(-1);
    if (sameOrigin) return page.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment).toEncoded();
    return page.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
               .toEncoded() +
           '/';
}

}  // namespace kv
