#include "platform/qt/common/pathtext.h"

#include <sys/stat.h>

#include <QObject>

#include "platform/fs/core/paths.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/nametext.h"

namespace kv::pathtext {

QString nameOf(const QByteArray& path) {
    return nameOf(std::string_view(path.constData(), static_cast<size_t>(path.size())));
}

QString nameOf(std::string_view path) {
    return NameText::shown(paths::baseName(path));
}

QString countText(const QList<QByteArray>& paths) {
    return paths.size() == 1 ? QObject::tr("“%1”").arg(nameOf(paths.front()))
                             : QObject::tr("%1 items").arg(paths.size());
}

std::vector<std::string> toStd(const QList<QByteArray>& paths) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(paths.size()));
    for (const QByteArray& p : paths) out.push_back(p.toStdString());
    return out;
}

bool isDirectory(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray nearestFolder(const QByteArray& path) {
    QByteArray p = path.isEmpty() ? QByteArray("/") : path;
    while (p != "/" && !isDirectory(p)) p = parentOf(p);
    return p;
}

QByteArray normalized(const QByteArray& path) {
    const std::string_view view(path.constData(), static_cast<size_t>(path.size()));
    if (RemoteLocation::is(view)) {
        // A server's location keeps its "//"; its own parser takes the rest.
        const std::optional<RemoteLocation> at = RemoteLocation::parse(view);
        return at ? QByteArray::fromStdString(at->text()) : path;
    }
    QByteArray p;
    p.reserve(path.size());
    for (char c : path) {
        if (c == '/' && p.endsWith('/')) continue;
        p += c;
    }
    while (p.size() > 1 && p.endsWith('/')) p.chop(1);
    return p;
}

QByteArray parentOf(const QByteArray& path) {
    const QByteArray p = normalized(path);
    if (const std::optional<RemoteLocation> at =
            RemoteLocation::parse(std::string_view(p.constData(), static_cast<size_t>(p.size()))))
        return QByteArray::fromStdString(at->parent().value_or(*at).text());
    const qsizetype slash = p.lastIndexOf('/');
    if (slash < 0) return ".";
    return slash == 0 ? QByteArray("/") : p.left(slash);
}

QByteArray baseName(const QByteArray& path) {
    const QByteArray p = normalized(path);
    return p.mid(p.lastIndexOf('/') + 1);
}

}  // namespace kv::pathtext
