#include "platform/fs/places/location.h"

#include <QStringList>
#include <QUrl>

#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/drives/mounts.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/trash/trashlistingsource.h"

namespace kv {

Location Location::classify(const QString& text) {
    Location where;
    static const QStringList trash = {QStringLiteral("trash:"), QStringLiteral("trash:/"),
                                      QStringLiteral("trash:///")};
    if (trash.contains(text.trimmed(), Qt::CaseInsensitive)) {
        where.folder = true;
        where.path = QByteArray(TrashListingSource::kLocation.data(),
                                static_cast<qsizetype>(TrashListingSource::kLocation.size()));
        return where;
    }
    if (ArchiveLocation::is(text.toStdString())) {
        // Looked at by the listing, which says when the archive or the folder in it is not there.
        // In its one spelling ("archive:/a.zip" is "archive:/a.zip//"), which the rows' paths build on.
        const std::optional<ArchiveLocation> archive = ArchiveLocation::parse(text.toStdString());
        where.folder = archive.has_value();
        if (archive) where.path = QByteArray::fromStdString(archive->text());
    } else if (RemoteLocation::is(text.trimmed().toStdString())) {
        // A folder on a server, in its one spelling; whether it is there is for the listing to say.
        const std::optional<RemoteLocation> remote =
            RemoteLocation::parse(text.trimmed().toStdString(), true);
        where.folder = remote.has_value();
        if (remote) where.path = QByteArray::fromStdString(remote->text());
    } else if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
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
