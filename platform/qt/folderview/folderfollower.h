#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "platform/fs/listing/dirchange.h"

namespace kv {

class FolderWatch;

// A folder view's following of the folder it shows on disk: the folder is watched while it is shown
// (the trash and archives are not: they are no folder), its changes are passed on, and when it goes
// (deleted, renamed away, its volume removed) the view is sent to the nearest folder that is left.
class FolderFollower : public QObject {
    Q_OBJECT
  public:
    FolderFollower(FolderWatch& watch, QObject* parent);
    ~FolderFollower() override;

    // The view shows location now (a folder, the trash, a location inside an archive).
    void follow(const QByteArray& location);

  signals:
    // Entries of the folder changed: these names, or too many to say (refreshWanted).
    void namesChanged(const std::vector<std::string>& names);
    void refreshWanted();
    // The folder is gone: the view goes to instead, and says why in a banner.
    void gone(const QByteArray& instead, const QString& why);

  private:
    // Whether the location is followed with the folder watch (the trash and archives: not).
    static bool watched(const QByteArray& location);
    void folderChanged(const DirChange& change);
    void folderVanished();
    void volumeRemoved();

    FolderWatch& m_watch;
    QByteArray m_shown;
};

}  // namespace kv
