#include "platform/qt/web/webdrop.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "platform/fs/downloads/downloadname.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/web/referrerinterceptor.h"
#include "platform/qt/web/webdownloads.h"

namespace kv {

namespace {

bool fetchable(const QUrl& url) {
    const QString s = url.scheme();
    return s == QLatin1String("http") || s == QLatin1String("https") || s == QLatin1String("ftp");
}

QString unescapedHtml(QString s) {
    s.replace(QLatin1String("&quot;"), QLatin1String("\""));
    s.replace(QLatin1String("&#39;"), QLatin1String("'"));
    s.replace(QLatin1String("&lt;"), QLatin1String("<"));
    s.replace(QLatin1String("&gt;"), QLatin1String(">"));
    s.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return s;
}

// The first image's address in a piece of markup.
QString imageSource(const QString& html) {
    static const QRegularExpression img(
        QStringLiteral(R"re(<img\b[^>]*?\ssrc\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))re"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = img.match(html);
    if (!m.hasMatch()) return {};
    for (int k = 1; k <= 3; ++k)
        if (m.capturedLength(k) > 0) return unescapedHtml(m.captured(k)).trimmed();
    return {};
}

// A data: address's bytes and the name of a file of its type; false when it is not one.
bool decodeData(const QUrl& url, const QString& stem, QByteArray& bytes, QString& name) {
    if (url.scheme() != QLatin1String("data")) return false;
    const QByteArray whole = url.toEncoded();
    const qsizetype comma = whole.indexOf(',');
    if (comma < 0) return false;
    const QByteArray head = whole.mid(5, comma - 5);
    const QByteArray payload = QByteArray::fromPercentEncoding(whole.mid(comma + 1));
    const bool base64 = head.endsWith(";base64");
    bytes = base64 ? QByteArray::fromBase64(payload) : payload;
    const QString type = QString::fromLatin1(head.split(';').front());
    const QString suffix =
        QMimeDatabase().mimeTypeForName(type.isEmpty() ? "text/plain" : type).preferredSuffix();
    name = suffix.isEmpty() ? stem : stem + '.' + suffix;
    return true;
}

}  // namespace

QWebEngineView* WebDrop::sourceOf(const QDropEvent* event) {
    // The engine starts its drags with the view as their source.
    for (QObject* o = event->source(); o; o = o->parent())
        if (auto* view = qobject_cast<QWebEngineView*>(o)) return view->page() ? view : nullptr;
    return nullptr;
}

WebDrop::Content WebDrop::contentOf(const QMimeData* data, const QUrl& pageUrl) {
    Content c;
    if (!data) return c;
    const QList<QUrl> urls = data->urls();
    QUrl remote;
    for (const QUrl& u : urls) {
        if (u.isLocalFile() && c.localCopy.isEmpty()) c.localCopy = u.toLocalFile();
        if (!u.isLocalFile() && remote.isEmpty()) remote = u;
    }
    // A selection of text carries markup too, images and all, but no address.
    const QString src = urls.isEmpty() ? QString() : imageSource(data->html());
    if (!src.isEmpty()) {
        c.kind = Kind::Image;
        c.url = pageUrl.resolved(QUrl(src));
        c.text = data->text();
        return c;
    }
    c.localCopy.clear();
    if (!remote.isEmpty()) {
        c.kind = Kind::Link;
        c.url = pageUrl.resolved(remote);
        c.text = data->hasText() ? data->text().trimmed() : QString();
        if (c.text == c.url.toString()) c.text.clear();
        return c;
    }
    if (data->hasText() && !data->text().trimmed().isEmpty()) {
        c.kind = Kind::Text;
        c.text = data->text();
    }
    return c;
}

bool WebDrop::canSave(const Content& c, Qt::KeyboardModifiers modifiers) {
    switch (c.kind) {
        case Kind::Nothing:
            return false;
        case Kind::Image:
            return fetchable(c.url) || c.url.scheme() == QLatin1String("data") || !c.localCopy.isEmpty();
        case Kind::Link:
            return (modifiers & Qt::AltModifier) || fetchable(c.url) ||
                   c.url.scheme() == QLatin1String("data");
        case Kind::Text:
            return true;
    }
    return false;
}

Qt::DropAction WebDrop::drop(QWebEngineView& from, const QMimeData* data, const QByteArray& folder,
                             Qt::KeyboardModifiers modifiers, FolderPane& target) {
    QWebEnginePage* page = from.page();
    if (!page || !folder.startsWith('/')) return Qt::IgnoreAction;
    const QUrl pageUrl = page->url();
    const Content c = contentOf(data, pageUrl);
    if (!canSave(c, modifiers)) return Qt::IgnoreAction;
    FileOperations& ops = target.fileOperations();
    const QUrl referrer = QUrl::fromEncoded(ReferrerInterceptor::referrerFor(pageUrl, c.url));
    QByteArray bytes;
    QString name;
    if (c.kind == Kind::Text) {
        WebDownloads::saveData(ops, folder,
                               QString::fromStdString(DownloadName::forText(c.text.toStdString())),
                               c.text.toUtf8(), pageUrl, {}, target.paneWidget());
    } else if (c.kind == Kind::Link && (modifiers & Qt::AltModifier)) {
        const std::string title = (c.text.isEmpty() ? page->title() : c.text).toStdString();
        const std::string url = c.url.toString(QUrl::FullyEncoded).toStdString();
        WebDownloads::saveData(ops, folder, QString::fromStdString(DownloadName::linkFileName(title, url)),
                               QByteArray::fromStdString(DownloadName::linkFile(title, url)), pageUrl, {},
                               target.paneWidget());
    } else if (fetchable(c.url)) {
        WebDownloads::of(page->profile()).saveInto(page, c.url, folder, target.paneWidget());
    } else if (decodeData(c.url, c.kind == Kind::Image ? QStringLiteral("image") : QStringLiteral("download"),
                          bytes, name)) {
        WebDownloads::saveData(ops, folder, name, bytes, c.url, referrer, target.paneWidget());
    } else {
        // An address only the page can read (blob:): the engine's copy of the image is all there is.
        ops.copy({QFile::encodeName(c.localCopy)}, folder, target.paneWidget());
    }
    return Qt::CopyAction;
}

}  // namespace kv
