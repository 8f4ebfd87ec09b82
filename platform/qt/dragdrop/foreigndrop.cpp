#include "platform/qt/dragdrop/foreigndrop.h"

#include <QMimeData>
#include <QStringDecoder>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/web/webdownloads.h"

namespace kv {

namespace {

bool isWeb(const QUrl& url) {
    const QString s = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (s == QLatin1String("http") || s == QLatin1String("https"));
}

// text/x-moz-url is UTF-16 (in the sender's byte order, as X11 browsers send it); some send UTF-8.
QString mozText(const QByteArray& bytes) {
    if (bytes.size() >= 2 && bytes.size() % 2 == 0 &&
        (bytes.contains('\0') || bytes.startsWith("\xff\xfe"))) {
        QStringDecoder utf16(QStringDecoder::Utf16);
        return utf16(bytes);
    }
    return QString::fromUtf8(bytes);
}

}  // namespace

QList<QUrl> ForeignDrop::webUrlsOf(const QMimeData* data) {
    QList<QUrl> out;
    if (!data || ClipboardFormat::hasFiles(data)) return out;
    auto add = [&out](const QUrl& url) {
        if (isWeb(url) && !out.contains(url)) out << url;
    };
    for (const QUrl& url : data->urls()) add(url);
    // Lines of address and title, one pair per link.
    if (data->hasFormat(QStringLiteral("text/x-moz-url"))) {
        const QStringList lines = mozText(data->data(QStringLiteral("text/x-moz-url"))).split('\n');
        for (qsizetype k = 0; k < lines.size(); k += 2) add(QUrl(lines[k].trimmed().remove(QChar(0))));
    }
    if (data->hasFormat(QStringLiteral("_NETSCAPE_URL"))) {
        const QString text = QString::fromUtf8(data->data(QStringLiteral("_NETSCAPE_URL")));
        add(QUrl(text.section('\n', 0, 0).trimmed()));
    }
    return out;
}

ForeignDrop& ForeignDrop::of(FolderPane& view) {
    if (auto* d = view.paneWidget()->findChild<ForeignDrop*>(QString(), Qt::FindDirectChildrenOnly))
        return *d;
    return *new ForeignDrop(view);
}

ForeignDrop::ForeignDrop(FolderPane& view) : QObject(view.paneWidget()), m_view(view) {}

ForeignDrop::~ForeignDrop() {
    delete m_page;  // before anything it reports to
}

QWebEnginePage* ForeignDrop::fetcher() {
    if (!m_page) {
        // The web pane's pages are of the default profile; its downloads go through WebDownloads.
        QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
        WebDownloads::of(profile);
        m_page = new QWebEnginePage(profile, this);
    }
    return m_page;
}

bool ForeignDrop::drop(const QMimeData* data, const QByteArray& folder) {
    const QList<QUrl> urls = webUrlsOf(data);
    if (urls.isEmpty() || !folder.startsWith('/')) return false;
    QWebEnginePage* page = fetcher();
    for (const QUrl& url : urls)
        WebDownloads::of(page->profile()).saveInto(page, url, folder, m_view.paneWidget());
    return true;
}

}  // namespace kv
