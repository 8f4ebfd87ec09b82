#pragma once

#include <QComboBox>
#include <QSocketNotifier>
#include <memory>

#include "platform/fs/drives/mountwatcher.h"

namespace kv {

// The machine's drives: the home folder and every mounted, user-visible volume, as "ROOT [LABEL]". The
// list follows mounts and unmounts; a new list selects the home folder. Only the user picks an entry.
class DriveList : public QComboBox {
    Q_OBJECT
  public:
    explicit DriveList(QWidget* parent = nullptr);

    // The current entry's text, as the list shows it.
    QString drive() const { return currentText(); }

  signals:
    // The user picked another drive.
    void driveChanged();

  protected:
    // The wheel picks a drive only in a list that has the keyboard focus: one passing over a closed
    // list must not take its pane somewhere else.
    void wheelEvent(QWheelEvent* event) override;
    // Drawn in the part of the list its window shows: a window may place it partly outside itself,
    // and the arrow and the text belong where the user sees them.
    void paintEvent(QPaintEvent* event) override;

  private:
    static QStringList drives();
    void refill();
    void showDrives(const QStringList& texts);

    std::unique_ptr<MountWatcher> m_watcher;
    QSocketNotifier* m_notifier = nullptr;
    QString m_last;
    int m_generation = 0;
};

}  // namespace kv
