#include "platform/qt/quicklook/previewschemehandler.h"

#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "platform/fs/core/background.h"
#include "platform/qt/quicklook/previewcontent.h"

namespace kv {

const QByteArray& PreviewSchemeHandler::scheme() {
    static const QByteArray name("kv-preview");
    return name;
}

void PreviewSchemeHandler::registerScheme() {
    QWebEngineUrlScheme s(scheme());
    // A host per file, so each preview is an origin of its own; secure, so media and the PDF viewer
    // behave as they do for https; neither local nor allowed to reach local files.
    s.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    s.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    s.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(s);
}

QUrl PreviewSchemeHandler::allow(const QByteArray& path) {
    m_path = path;
    m_url = QUrl();
    m_url.setScheme(QString::fromLatin1(scheme()));
    m_url.setHost(QStringLiteral("p%1").arg(++m_serial));
    m_url.setPath("/" + QFile::decodeName(path.mid(path.lastIndexOf('/') + 1)));
    return m_url;
}

bool PreviewSchemeHandler::isAllowed(const QUrl& url) const {
    return !m_url.isEmpty() && url.adjusted(QUrl::RemoveFragment) == m_url;
}

void PreviewSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestMethod() != "GET" || !isAllowed(job->requestUrl())) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    runInBackground(
        job, [path = m_path] { return PreviewContent::make(path); },
        [job](PreviewContent content) {
            QIODevice* device = nullptr;
            if (content.fd) {
                // A descriptor of its own for the engine, which reads it as the page needs. A file, not
                // a stream: the engine answers a byte range (a media seek) by seeking it.
                auto* file = new QFile(job);
                if (!file->open(::dup(*content.fd), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
                    job->fail(QWebEngineUrlRequestJob::RequestFailed);
                    return;
                }
                device = file;
            } else {
                auto* buffer = new QBuffer(job);
                buffer->setData(content.page);
                buffer->open(QIODevice::ReadOnly);
                device = buffer;
            }
            job->reply(content.mimeType, device);
        });
}

}  // namespace kv
