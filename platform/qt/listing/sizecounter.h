#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <atomic>
#include <memory>

namespace kv {

// Adds up the size of files and folders on a thread of its own (a folder can hold a million files),
// reporting a running total a few times a second. Symlinks count as themselves and are not followed;
// a hard-linked file counts once. Stopping never waits for the filesystem: the thread is told to stop
// and ends on its own.
class SizeCounter : public QObject {
    Q_OBJECT
  public:
    struct Totals {
        quint64 bytes = 0;
        quint64 files = 0;
        quint64 folders = 0;
        quint64 unreadable = 0;  // folders that could not be listed
    };

    explicit SizeCounter(QObject* parent = nullptr);
    ~SizeCounter() override;

    void start(const QList<QByteArray>& paths);
    void stop();
    bool isDone() const { return m_done; }
    const Totals& totals() const { return m_totals; }

  signals:
    void progress(const kv::SizeCounter::Totals& totals);
    void done(const kv::SizeCounter::Totals& totals);

  private:
    std::shared_ptr<std::atomic<bool>> m_stop;
    Totals m_totals;
    bool m_done = false;
};

}  // namespace kv
