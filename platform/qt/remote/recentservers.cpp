#include "platform/qt/remote/recentservers.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>

#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/jsonfile.h"

namespace kv {

namespace {

// More than any list of ten addresses takes: a bigger file is not ours.
constexpr qint64 kMaxFile = 64 * 1024;

// The server's root, in its one spelling; empty for a location on no server.
QString rootOf(const QString& location) {
    const std::optional<RemoteLocation> where = RemoteLocation::parse(location.toStdString(), true);
    return where ? QString::fromStdString(where->root()) : QString();
}

}  // namespace

RecentServers& RecentServers::shared() {
    // Beside the preferences (KV_PREFERENCES names the tests' own).
    const QString folder =
        qEnvironmentVariableIsSet("KV_PREFERENCES")
            ? QFileInfo(qEnvironmentVariable("KV_PREFERENCES")).path()
            : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kestrovan";
    static RecentServers* servers = new RecentServers(folder + "/servers.json");
    return *servers;
}

RecentServers::RecentServers(QString path) : m_path(std::move(path)) {
    // A damaged file offers nothing, and is replaced at the next change.
    const std::optional<QJsonObject> doc = jsonfile::read(m_path, kMaxFile);
    if (!doc) return;
    for (const QJsonValue& v : doc->value("servers").toArray()) {
        const QString root = rootOf(v.toString());
        if (!root.isEmpty() && !m_servers.contains(root) && m_servers.size() < kMax) m_servers.append(root);
    }
}

void RecentServers::visited(const QString& location) {
    const QString root = rootOf(location);
    if (root.isEmpty() || (!m_servers.isEmpty() && m_servers.first() == root)) return;
    m_servers.removeAll(root);
    m_servers.prepend(root);
    while (m_servers.size() > kMax) m_servers.removeLast();
    save();
}

void RecentServers::save() const {
    QJsonObject o;
    o["servers"] = QJsonArray::fromStringList(m_servers);
    jsonfile::write(m_path, o);
}

}  // namespace kv
