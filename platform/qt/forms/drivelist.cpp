#include "platform/qt/forms/drivelist.h"

#include <QStylePainter>
#include <QWheelEvent>

#include "platform/fs/core/background.h"
#include "platform/fs/drives/mounts.h"
#include "platform/qt/common/shownpart.h"

namespace kv {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setFocusPolicy(Qt::StrongFocus);  // not by the wheel
    // A new list offers every drive at once, as its window expects when it navigates the pane to the
    // list's drive. Only the kernel's mount table and the device links under /dev are read (a volume's
    // source elsewhere is never followed), which no dead volume can hold up; later readings, on each
    // mount change, still go to a worker.
    showDrives(drives());
    connect(new ShownPart(this), &ShownPart::changed, this, [this] { update(); });
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

void DriveList::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.rect = ShownPart::shownRect(this);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

QStringList DriveList::drives() {
    QStringList texts;
    for (const auto& e : Mounts().entries()) texts << QString::fromStdString(e.text());
    return texts;
}

void DriveList::refill() {
    // A reading that comes back after a newer one was asked for is old.
    const int generation = ++m_generation;
    runInBackground(
        this, [] { return drives(); },
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
