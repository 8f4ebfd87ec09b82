#include "platform/qt/common/mimeiconcache.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStyle>

#include "platform/qt/common/standardicons.h"

namespace kv {

namespace {

// A few screens' worth of rows in every pane; a folder scrolled through from end to end starts over.
constexpr qsizetype kMaxNames = 8192;

QString decoded(const std::string& raw) {
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace

std::shared_ptr<MimeIconCache> MimeIconCache::shared() {
    static const auto cache = std::make_shared<MimeIconCache>();
    static const bool hooked = (qAddPostRoutine([] { cache->clear(); }), true);
    (void)hooked;
    return cache;
}

void MimeIconCache::clear() {
    m_icons.clear();
    m_mimeByName.clear();
    m_types.clear();
}

QString MimeIconCache::mimeNameFor(const DirEntry& e) {
    if (e.isDir) return QStringLiteral("inode/directory");
    const QString name = decoded(e.name);
    if (auto it = m_mimeByName.constFind(name); it != m_mimeByName.constEnd()) return *it;
    if (m_mimeByName.size() >= kMaxNames) m_mimeByName.clear();
    const QString mime = m_db.mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
    m_mimeByName.insert(name, mime);
    return mime;
}

QIcon MimeIconCache::iconFor(const DirEntry& e) {
    const QString mime = mimeNameFor(e);
    if (auto it = m_icons.constFind(mime); it != m_icons.constEnd()) return *it;
    QIcon icon;
    if (e.isDir) {
        icon = StandardIcons::themed(QStringLiteral("folder"), QStyle::SP_DirIcon);
    } else {
        const QMimeType t = m_db.mimeTypeForName(mime);
        icon = QIcon::fromTheme(t.iconName());
        if (icon.isNull()) icon = StandardIcons::themed(t.genericIconName(), QStyle::SP_FileIcon);
    }
    m_icons.insert(mime, icon);
    return icon;
}

QString MimeIconCache::typeFor(const DirEntry& e) {
    if (e.isDir) return QCoreApplication::translate("kv::FolderModel", "Folder");
    const QString mime = mimeNameFor(e);
    if (auto it = m_types.constFind(mime); it != m_types.constEnd()) return *it;
    QString comment = m_db.mimeTypeForName(mime).comment();
    if (comment.isEmpty()) comment = mime;
    m_types.insert(mime, comment);
    return comment;
}

}  // namespace kv
