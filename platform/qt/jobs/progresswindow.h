#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <deque>
#include <utility>

#include "platform/fs/jobs/jobprogress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kv {

// Shows one running job: the item being worked on, items and bytes done, speed and time left, with
// Pause and Cancel. Closing the window cancels the job (what is done stays done, nothing is lost).
class ProgressWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ProgressWindow(const QString& title, QWidget* parent = nullptr);

    void update(const JobProgress& progress);
    // While a question of the job waits for the user's answer, the window says so.
    void setWaiting(bool waiting);

    // "3 min left", "about 10 s left"; empty while it cannot be estimated.
    static QString timeLeftText(double seconds);

  signals:
    void pauseRequested(bool paused);
    void cancelRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    double bytesPerSecond() const;

    QLabel* m_current;
    QLabel* m_items;
    QLabel* m_bytes;
    QLabel* m_speed;
    QLabel* m_waiting;
    QProgressBar* m_bar;
    QPushButton* m_pause;
    QPushButton* m_cancel;
    QElapsedTimer m_clock;
    // (ms since start, bytes done): the speed is taken over the last few seconds, so a stall shows.
    std::deque<std::pair<qint64, std::uint64_t>> m_samples;
    bool m_paused = false;
};

}  // namespace kv
