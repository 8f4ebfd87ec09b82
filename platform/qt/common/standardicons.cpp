#include "platform/qt/common/standardicons.h"

#include <QApplication>
#include <QHash>

namespace kv {

namespace {

// Kept for the process's life: a QIcon must not be destroyed after the application object.
QHash<QString, QIcon>& cache() {
    static auto* icons = new QHash<QString, QIcon>;
    return *icons;
}

}  // namespace

QIcon StandardIcons::standard(QStyle::StandardPixmap which) {
    const QString key = QString::number(static_cast<int>(which));
    auto it = cache().constFind(key);
    if (it != cache().constEnd()) return *it;
    return cache().insert(key, QApplication::style()->standardIcon(which)).value();
}

QIcon StandardIcons::themed(const QString& name, QStyle::StandardPixmap fallback) {
    const QString key = QLatin1Char('~') + name;
    auto it = cache().constFind(key);
    if (it != cache().constEnd()) return *it;
    const QIcon theirs = QIcon::fromTheme(name);
    return cache().insert(key, theirs.isNull() ? standard(fallback) : theirs).value();
}

}  // namespace kv
