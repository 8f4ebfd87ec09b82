#include "platform/qt/drivelist.h"

#include <QWheelEvent>

#include "platform/fs/background.h"
#include "platform/fs/mounts.h"

namespace kv {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setFocusPolicy(Qt::StrongFocus);  // not by the wheel
    // The home folder's entry is there at once (a new list selects it); the volumes follow from a
    // worker, as every later reading of them does.
    MountEntry home;
    home.root = Mounts().homeDir();
    home.label = "Home";
    home.isHome = true;
    addItem(QString::fromStdString(home.text()));
    m_last = currentText();
    refill();
    connect(this, &QComboBox::activated, this, [this](int) {
        if (currentText() == m_last) return;
        m_last = currentText();
        emit driveChanged();
    });
    m_watcher = std::make_unique<MountWatcher>();
    if (m_watcher->fd() >= 0) {
        m_notifier = new QSocketNotifier(m_watcher->fd(), QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            if (m_watcher->changed()) refill();
        });
    }
}

void DriveList::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void DriveList::refill() {
    // Reading the mount table and the labels touches the filesystem (the kernel's tables, the device
    // links): never on the UI thread. A reading that comes back after a newer one was asked for is old.
    const int generation = ++m_generation;
    runInBackground(
        this,
        [] {
            QStringList texts;
            for (const auto& e : Mounts().entries()) texts << QString::fromStdString(e.text());
            return texts;
        },
        [this, generation](const QStringList& texts) {
            if (generation == m_generation) showDrives(texts);
        });
}

void DriveList::showDrives(const QStringList& texts) {
    const QString keep = currentText();
    QStringList now;
    for (int i = 0; i < count(); ++i) now << itemText(i);
    if (texts == now) return;
    const QSignalBlocker block(this);
    clear();
    addItems(texts);
    // The selection stays on its drive while that is mounted; otherwise the list falls back to home.
    const int kept = keep.isEmpty() ? -1 : findText(keep);
    setCurrentIndex(kept >= 0 ? kept : 0);
    m_last = currentText();
}

}  // namespace kv
