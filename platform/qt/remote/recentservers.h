#pragma once

#include <QString>
#include <QStringList>

namespace kv {

// The servers opened last in any pane, most recent first, each once: their roots' addresses
// ("sftp://kim@host:2222/"). Kept in servers.json beside the preferences, written whole and atomically
// when the list changes; a file that cannot be read as such a list is ignored (and replaced at the next
// change).
class RecentServers {
  public:
    static constexpr int kMax = 10;

    // The program's list, read the first time it is asked for.
    static RecentServers& shared();
    // Reads the file at path (for tests, and shared()'s first use).
    explicit RecentServers(QString path);

    const QStringList& servers() const { return m_servers; }
    // A folder on a server was opened: its server goes first. Any other location is no server.
    void visited(const QString& location);

  private:
    void save() const;

    QString m_path;
    QStringList m_servers;
};

}  // namespace kv
