#include "platform/qt/common/icontheme.h"

#include <QDir>
#include <QIcon>
#include <QStandardPaths>
#include <QStringList>

namespace kv {

void IconTheme::setUp() {
    QStringList paths = QIcon::themeSearchPaths();
    QStringList found = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons",
                                                  QStandardPaths::LocateDirectory);
    // The folders of the freedesktop default data path: there when XDG_DATA_DIRS names others only.
    found << QStringLiteral("/usr/local/share/icons") << QStringLiteral("/usr/share/icons");
    for (const QString& dir : std::as_const(found))
        if (!paths.contains(dir) && QDir(dir).exists()) paths << dir;
    QIcon::setThemeSearchPaths(paths);

    const QString fallback = QIcon::fallbackThemeName();
    if (fallback.isEmpty() || fallback == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QString::fromLatin1(kFallback));
    // No theme at all (a platform without a theme of its own, such as offscreen): the base theme, which
    // every theme inherits and which leads to the fallback.
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("hicolor"));
}

}  // namespace kv
