#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace kv {

// The desktop's thumbnailer programs: the ".thumbnailer" files in each data folder's thumbnailers/
// folder, each naming the MIME types it handles and the command line that makes a PNG of a file
// (Exec, with %u the file's URI, %i its path, %o the PNG to write, %s the edge in pixels). The first
// folder that names a type wins, as the user's own folder comes first. An entry whose TryExec or
// program cannot be found is left out.
class Thumbnailers {
  public:
    // The folders to read: default $XDG_DATA_HOME/thumbnailers, then each of $XDG_DATA_DIRS.
    explicit Thumbnailers(QStringList folders = defaultFolders());

    static QStringList defaultFolders();

    bool handles(const QString& mime) const { return m_execByMime.contains(mime); }
    // The command line for a file of this type as raw bytes per argument; empty when none handles it.
    std::vector<std::string> command(const QString& mime, const std::string& path, const std::string& uri,
                                     const std::string& output, int size) const;

    // One entry's text: its Exec line and types, or an empty Exec when it is not a usable entry.
    struct Entry {
        QString exec;
        QString tryExec;
        QStringList mimeTypes;
    };
    static Entry parse(const QByteArray& text);
    // Splits an Exec line into arguments (double quotes group, backslash escapes within them) and
    // replaces the field codes.
    static std::vector<std::string> expand(const QString& exec, const std::string& path,
                                           const std::string& uri, const std::string& output, int size);

  private:
    QHash<QString, QString> m_execByMime;
};

}  // namespace kv
