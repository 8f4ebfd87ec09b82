#include "platform/qt/quicklook/previewcontent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/qt/common/sizetext.h"

namespace kv {

namespace {

constexpr qint64 kSniffBytes = 4096;
constexpr qint64 kTextBytes = 4 * 1024 * 1024;

QString tr(const char* text) {
    return QCoreApplication::translate("kv::QuickLook", text);
}

// Pages made here run nothing and load nothing.
const char* const kHead =
    "<!doctype html><html><head><meta charset=\"utf-8\">"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
    "<style>body{font-family:sans-serif;margin:0;padding:1em;background:#fff;color:#222}"
    "pre{font-family:monospace;white-space:pre-wrap;overflow-wrap:anywhere;margin:0}"
    ".note{color:#777;font-size:small;margin-bottom:.8em}</style>";

// What the engine shows by itself, by the file's type.
bool engineShows(const QMimeType& type) {
    const QString name = type.name();
    return name == "text/html" || name == "application/xhtml+xml" || name == "application/pdf" ||
           name.startsWith("image/") || name.startsWith("audio/") || name.startsWith("video/");
}

bool looksLikeText(const QByteArray& start) {
    return !start.contains('\0') || start.startsWith("\xff\xfe") || start.startsWith("\xfe\xff");
}

std::shared_ptr<int> owned(int fd) {
    return std::shared_ptr<int>(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
}

}  // namespace

QString PreviewContent::decode(const QByteArray& bytes, QString* encoding, bool cut) {
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        if (encoding) *encoding = QString::fromLatin1(QStringConverter::nameForEncoding(*bom));
        return decoder.decode(bytes);
    }
    // Stateless: a sequence left incomplete at the end is an error, unless the text was cut there.
    for (qsizetype drop = 0; drop <= (cut ? 3 : 0) && drop <= bytes.size(); ++drop) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = utf8.decode(QByteArrayView(bytes).chopped(drop));
        if (!utf8.hasError()) {
            if (encoding) *encoding = QStringLiteral("UTF-8");
            return text;
        }
    }
    QStringDecoder legacy("windows-1252");
    if (legacy.isValid()) {
        if (encoding) *encoding = QStringLiteral("Windows-1252");
        return legacy.decode(bytes);
    }
    if (encoding) *encoding = QStringLiteral("ISO-8859-1");
    return QString::fromLatin1(bytes);
}

QByteArray PreviewContent::textPage(const QByteArray& bytes, const QString& name, bool cut) {
    QString encoding;
    const QString text = decode(bytes, &encoding, cut);
    QString note = tr("Text, shown as %1").arg(encoding);
    if (cut) note += tr("; only the first %1 are shown").arg(sizeText(kTextBytes));
    return QByteArray(kHead) + "<title>" + name.toHtmlEscaped().toUtf8() +
           "</title></head><body><div class=\"note\">" + note.toHtmlEscaped().toUtf8() + "</div><pre>" +
           text.toHtmlEscaped().toUtf8() + "</pre></body></html>";
}

QByteArray PreviewContent::messagePage(const QString& title, const QString& message) {
    return QByteArray(kHead) + "<title>" + title.toHtmlEscaped().toUtf8() + "</title></head><body><h2>" +
           title.toHtmlEscaped().toUtf8() + "</h2><p>" + message.toHtmlEscaped().toUtf8() +
           "</p></body></html>";
}

PreviewContent PreviewContent::make(const QByteArray& path) {
    PreviewContent c;
    c.mimeType = "text/html";
    const QString name = QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        c.page = messagePage(
            name, tr("The file cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return c;
    }
    const std::shared_ptr<int> file = owned(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        c.page = messagePage(name, tr("A folder."));
        return c;
    }
    if (!S_ISREG(st.st_mode)) {
        c.page = messagePage(name, tr("Not a regular file (a device, a pipe or a socket): nothing to show."));
        return c;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const auto readStart = [fd](qint64 size) {
        QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got), got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += n;
        }
        bytes.truncate(got);
        return bytes;
    };
    const QByteArray start = readStart(std::min<qint64>(st.st_size, kSniffBytes));
    const QMimeType type = QMimeDatabase().mimeTypeForFileNameAndData(name, start);
    if (engineShows(type)) {
        c.mimeType = type.name().toUtf8();
        c.fd = file;
        return c;
    }
    if (type.inherits("text/plain") || looksLikeText(start)) {
        const QByteArray text = readStart(std::min<qint64>(st.st_size, kTextBytes));
        c.page = textPage(text, name, st.st_size > text.size());
        return c;
    }
    c.page = messagePage(name, tr("%1, %2: no preview for this type.")
                                   .arg(type.comment(), sizeText(static_cast<quint64>(st.st_size))));
    return c;
}

}  // namespace kv
