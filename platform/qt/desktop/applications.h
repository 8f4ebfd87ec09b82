#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QString>
#include <optional>

namespace kv {

// The desktop's own records of which applications open which types (the .desktop entries under
// $XDG_DATA_DIRS and the choices in mimeapps.list), read and written through GIO, in Qt's types. Reading
// may touch the disk the first time: call from a background thread, as launching does.
class Applications {
  public:
    struct App {
        QString id;        // "org.example.Viewer.desktop"
        QString name;      // as the menu shows it
        QString iconName;  // a theme icon name or an absolute path; may be empty
        bool isDefault = false;

        QIcon icon() const;
    };

    // What opens mimeType when nothing else is asked for; none when no application takes it.
    static std::optional<App> defaultFor(const QString& mimeType);
    // Every application that can open mimeType, the default first, then the recommended ones, then the
    // rest, each once.
    static QList<App> allFor(const QString& mimeType);
    // The applications that can open every one of the types, in allFor's order of the first.
    static QList<App> allForEach(const QStringList& mimeTypes);
    // Every application shown in menus, by name.
    static QList<App> all();
    // Starts the application on the files (raw paths, passed as file URIs). Empty when it started,
    // else why not.
    static QString launch(const QString& appId, const QList<QByteArray>& paths);
    // Writes the choice into the user's mimeapps.list. Empty on success, else why not.
    static QString setDefault(const QString& appId, const QString& mimeType);
    // The type of a file as the desktop sees it (by name, and by content when the name says nothing).
    static QString mimeTypeOf(const QByteArray& path);
};

}  // namespace kv
