#include "platform/qt/listing/volumespace.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <QWidget>

#include "platform/fs/core/background.h"
#include "platform/qt/jobs/fileoperations.h"

namespace kv {

namespace {

VolumeSpace::Answer statVolume(const QByteArray& folder) {
    struct stat st {};
    struct statvfs vfs {};
    if (::stat(folder.constData(), &st) != 0 || ::statvfs(folder.constData(), &vfs) != 0) return {};
    return {static_cast<quint64>(st.st_dev), static_cast<qint64>(vfs.f_bavail * vfs.f_frsize)};
}

}  // namespace

VolumeSpace::VolumeSpace(FileOperations& ops, QObject* parent) : QObject(parent), m_asker(statVolume) {
    // Often enough that space taken by another program shows while the user looks; a question costs
    // a thread and two system calls per volume shown.
    m_poll.setInterval(5000);
    connect(&m_poll, &QTimer::timeout, this, [this] { askShown(true); });
    connect(&ops, &FileOperations::jobFinished, this, [this] { askShown(false); });
}

VolumeSpace::~VolumeSpace() = default;

void VolumeSpace::follow(QWidget* pane, const QByteArray& folder, std::function<void(qint64)> told) {
    Follower& f = m_followers[pane];
    f.folder = folder.startsWith('/') ? folder : QByteArray();  // only folders on disk have a volume
    f.told = std::move(told);
    f.volumeKnown = false;
    if (!m_poll.isActive()) m_poll.start();
    if (!f.folder.isEmpty()) ask(f.folder);
}

void VolumeSpace::forget(QWidget* pane) {
    m_followers.remove(pane);
    if (m_followers.isEmpty()) m_poll.stop();
}

void VolumeSpace::askFor(QWidget* pane) {
    if (const auto it = m_followers.constFind(pane); it != m_followers.cend() && !it->folder.isEmpty())
        ask(it->folder);
}

void VolumeSpace::ask(const QByteArray& folder) {
    if (m_asking.contains(folder)) {
        // The answer on its way may be from before the change that made this question.
        m_askAgain.insert(folder);
        return;
    }
    m_asking.insert(folder);
    runInBackground(
        this, [asker = m_asker, folder] { return asker(folder); },
        [this, folder](const Answer& answer) { answered(folder, answer); });
}

void VolumeSpace::answered(const QByteArray& folder, const Answer& answer) {
    m_asking.remove(folder);
    std::vector<std::function<void(qint64)>> tell;
    for (Follower& f : m_followers) {
        if (f.folder == folder) {
            f.volume = answer.volume;
            f.volumeKnown = answer.bytes >= 0;
            tell.push_back(f.told);
        } else if (answer.bytes >= 0 && f.volumeKnown && f.volume == answer.volume) {
            tell.push_back(f.told);
        }
    }
    for (const auto& told : tell) told(answer.bytes);
    if (m_askAgain.remove(folder)) ask(folder);
}

void VolumeSpace::askShown(bool onScreenOnly) {
    QHash<quint64, QByteArray> byVolume;
    QSet<QByteArray> folders;
    for (auto it = m_followers.cbegin(); it != m_followers.cend(); ++it) {
        const Follower& f = *it;
        if (f.folder.isEmpty()) continue;
        if (onScreenOnly && (!it.key()->isVisible() || it.key()->window()->isMinimized())) continue;
        if (!f.volumeKnown)
            folders.insert(f.folder);
        else if (!byVolume.contains(f.volume))
            byVolume.insert(f.volume, f.folder);
    }
    for (const QByteArray& folder : std::as_const(byVolume)) folders.insert(folder);
    for (const QByteArray& folder : std::as_const(folders)) ask(folder);
}

}  // namespace kv
