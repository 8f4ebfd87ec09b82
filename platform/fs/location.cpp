#include "platform/fs/location.h"

#include <QUrl>

#include "platform/fs/mounts.h"

namespace kv {

Location Location::classify(const QString& text) {
    Location where;
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(text);
        where.folder = url.isLocalFile() && !url.toLocalFile().isEmpty();
        where.path = url.toLocalFile().toUtf8();
    } else if (text.startsWith('/')) {
        where.folder = true;
        where.path = QByteArray::fromStdString(Mounts::rootOf(text.toStdString()));
    }
    if (!where.folder) {
        where.path.clear();
        where.address = text;
    }
    return where;
}

}  // namespace kv
