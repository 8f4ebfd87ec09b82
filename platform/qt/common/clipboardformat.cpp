#include "platform/qt/common/clipboardformat.h"

#include <QMimeData>
#include <QSysInfo>

#include "platform/fs/remote/remotelocation.h"

namespace kv {

namespace {

const char kKdeCut[] = "application/x-kde-cutselection";

QList<QByteArray> uriLines(const QByteArray& text) {
    QList<QByteArray> out;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();  // also the \r of the CRLF the format prescribes
        if (!line.isEmpty() && !line.startsWith('#')) out << line;
    }
    return out;
}

QList<QByteArray> pathsOf(const QList<QByteArray>& uris) {
    QList<QByteArray> out;
    for (const QByteArray& u : uris) {
        const QByteArray p = ClipboardFormat::pathOf(u);
        if (!p.isEmpty()) out << p;
    }
    return out;
}

}  // namespace

QByteArray ClipboardFormat::uriOf(const QByteArray& path) {
    // An item inside an archive keeps its own scheme: pasted here, it is extracted.
    if (path.startsWith("archive:")) return "archive:" + path.mid(8).toPercentEncoding("/");
    // An item on a server: its address as other programs read it.
    if (const std::optional<RemoteLocation> at =
            RemoteLocation::parse(std::string_view(path.constData(), static_cast<size_t>(path.size()))))
        return QByteArray::fromStdString(at->uri());
    return "file://" + path.toPercentEncoding("/");
}

QByteArray ClipboardFormat::pathOf(const QByteArray& uri) {
    if (uri.startsWith("archive:/")) return "archive:" + QByteArray::fromPercentEncoding(uri.mid(8));
    if (const std::optional<RemoteLocation> at =
            RemoteLocation::parse(std::string_view(uri.constData(), static_cast<size_t>(uri.size())), true))
        return QByteArray::fromStdString(at->text());
    if (!uri.startsWith("file:")) return {};
    QByteArray rest = uri.mid(5);
    if (rest.startsWith("//")) {
        rest = rest.mid(2);
        const qsizetype slash = rest.indexOf('/');
        if (slash < 0) return {};
        const QByteArray host = rest.left(slash);
        if (!host.isEmpty() && host != "localhost" && host != QSysInfo::machineHostName().toUtf8()) return {};
        rest = rest.mid(slash);
    }
    if (!rest.startsWith('/')) return {};
    return QByteArray::fromPercentEncoding(rest);
}

QByteArray ClipboardFormat::archiveItems(const QList<QByteArray>& locations) {
    QByteArray out;
    for (const QByteArray& l : locations) out += uriOf(l) + "\r\n";
    return out;
}

QMimeData* ClipboardFormat::toMimeData(const QList<QByteArray>& paths, bool cut) {
    auto* data = new QMimeData;
    QList<QByteArray> files, inArchives;
    for (const QByteArray& p : paths) (p.startsWith("archive:") ? inArchives : files) << p;
    if (!inArchives.isEmpty()) data->setData(kArchiveItems, archiveItems(inArchives));
    if (!files.isEmpty() || inArchives.isEmpty()) setFileFormats(data, files, cut);
    return data;
}

void ClipboardFormat::setFileFormats(QMimeData* data, const QList<QByteArray>& paths, bool cut) {
    QByteArray uriList, gnome = cut ? "cut" : "copy", text;
    for (const QByteArray& p : paths) {
        const QByteArray uri = uriOf(p);
        uriList += uri + "\r\n";
        gnome += '\n' + uri;
        if (!text.isEmpty()) text += '\n';
        text += p;
    }
    data->setData(kUriList, uriList);
    data->setData(kGnome, gnome);
    data->setData(kKdeCut, cut ? "1" : "0");
    // Pasted into a text field the paths read as paths; lossy for names that are not UTF-8, which is
    // why the URI formats above come first.
    data->setText(QString::fromUtf8(text));
}

ClipboardFormat::Content ClipboardFormat::fromMimeData(const QMimeData* data) {
    Content c;
    if (!data) return c;
    // Ours first: asking for the others makes the copies for other programs wait to be ready.
    if (data->hasFormat(kArchiveItems)) {
        c.paths = pathsOf(uriLines(data->data(kArchiveItems)));
        if (!c.paths.isEmpty()) return c;
    }
    if (data->hasFormat(kGnome)) {
        QList<QByteArray> lines = uriLines(data->data(kGnome));
        if (!lines.isEmpty() && (lines.front() == "cut" || lines.front() == "copy")) {
            c.cut = lines.front() == "cut";
            lines.removeFirst();
            c.paths = pathsOf(lines);
            if (!c.paths.isEmpty()) return c;
        }
    }
    if (data->hasFormat(kUriList)) {
        c.paths = pathsOf(uriLines(data->data(kUriList)));
        c.cut = data->hasFormat(kKdeCut) && data->data(kKdeCut).startsWith('1');
    }
    return c;
}

bool ClipboardFormat::hasFiles(const QMimeData* data) {
    return data && (data->hasFormat(kArchiveItems) || data->hasFormat(kGnome) || data->hasFormat(kUriList)) &&
           !fromMimeData(data).paths.isEmpty();
}

}  // namespace kv
