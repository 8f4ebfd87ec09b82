#include "platform/qt/listing/folderwatch.h"

#include "platform/fs/core/background.h"
#include "platform/fs/listing/dirwatcher.h"

namespace kv {

FolderWatch::FolderWatch(QObject* parent) : QObject(parent) {}

FolderWatch::~FolderWatch() = default;

void FolderWatch::watch(const QByteArray& dir) {
    if (!m_watcher) {
        m_watcher = std::make_unique<DirWatcher>([this, receiver = Receiver(this)](const DirChange& change) {
            receiver.post([this, change] { emit folderChanged(change); });
        });
    }
    m_watcher->watch(dir.toStdString());
}

void FolderWatch::unwatch(const QByteArray& dir) {
    if (m_watcher) m_watcher->unwatch(dir.toStdString());
}

bool FolderWatch::isWatching(const QByteArray& dir) const {
    return m_watcher && m_watcher->isWatching(dir.toStdString());
}

}  // namespace kv
