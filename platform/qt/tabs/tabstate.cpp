#include "platform/qt/tabs/tabstate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "platform/qt/common/nametext.h"

namespace kv {

QString TabState::locationText() const {
    const BrowseHistory::Step* here = history.here();
    if (!here) return {};
    return here->where.folder ? QString::fromUtf8(here->where.path) : here->where.address;
}

QString TabState::title() const {
    const BrowseHistory::Step* here = history.here();
    if (!here) return {};
    if (!here->where.folder) return here->where.address;
    QByteArray p = here->where.path;
    while (p.size() > 1 && p.endsWith('/')) p.chop(1);
    if (p == "trash:/" || p == "trash:") return QCoreApplication::translate("kv::BrowserView", "Trash");
    if (p == "/") return QStringLiteral("/");
    if (p == QFile::encodeName(QDir::homePath()))
        return QCoreApplication::translate("kv::LocationBar", "Home");
    return NameText::shown(p.mid(p.lastIndexOf('/') + 1).toStdString());
}

}  // namespace kv
