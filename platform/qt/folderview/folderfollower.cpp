#include "platform/qt/folderview/folderfollower.h"

#include <QDir>
#include <QFile>

#include "platform/fs/core/background.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/archives/archiveplace.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/listing/folderwatch.h"
#include "platform/qt/trash/trashplace.h"

namespace kv {

FolderFollower::FolderFollower(FolderWatch& watch, QObject* parent) : QObject(parent), m_watch(watch) {
    connect(&m_watch, &FolderWatch::folderChanged, this, &FolderFollower::folderChanged);
}

FolderFollower::~FolderFollower() {
    if (!m_shown.isEmpty() && watched(m_shown)) m_watch.unwatch(m_shown);
}

bool FolderFollower::watched(const QByteArray& location) {
    return !TrashPlace::isTrash(location) && !ArchivePlace::isArchive(location) &&
           !RemoteLocation::is(location.toStdString());
}

void FolderFollower::follow(const QByteArray& location) {
    if (location == m_shown) return;
    // The trash is no folder: TrashPlace watches the folders it is made of.
    if (!m_shown.isEmpty() && watched(m_shown)) m_watch.unwatch(m_shown);
    m_shown = location;
    if (watched(location)) m_watch.watch(location);
}

void FolderFollower::folderChanged(const DirChange& change) {
    if (m_shown.isEmpty() || QByteArray::fromStdString(change.path) != m_shown) return;
    if (change.vanished) {
        // A watch that could not start is a folder that cannot be listed either: the listing's
        // message says why, and the view stays on it rather than leaving for the parent.
        if (change.unmounted)
            volumeRemoved();
        else if (change.error == 0)
            folderVanished();
        return;
    }
    if (change.reloadAll)
        emit refreshWanted();
    else
        emit namesChanged(change.names);
}

void FolderFollower::folderVanished() {
    // Looking for the nearest folder that still exists touches the disk; a stalled mount must not
    // stall the window.
    const QByteArray gone = m_shown;
    runInBackground(
        this, [gone] { return pathtext::nearestFolder(gone); },
        [this, gone](const QByteArray& p) {
            if (m_shown != gone) return;
            if (p == gone) {
                // Still (or again) a folder, as a mount point is once its volume is gone.
                emit refreshWanted();
                return;
            }
            emit this->gone(p, tr("“%1” no longer exists; showing the folder that held it.")
                                   .arg(NameText::shown(gone.toStdString())));
        });
}

void FolderFollower::volumeRemoved() {
    // The drive list falls back to the home folder when its drive goes; the view goes there too, rather
    // than showing an empty mount point with a dead watch.
    emit gone(QFile::encodeName(QDir::homePath()),
              tr("The volume holding “%1” was removed; showing the home folder.")
                  .arg(NameText::shown(m_shown.toStdString())));
}

}  // namespace kv
