#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

namespace kv {

class FileOperations;

// The downloads of this run, oldest first, as the Downloads window lists them: what each is called,
// where it goes, how far it got and how it ended, and how to cancel it (its job) or start it again.
// One for the application; UI thread only.
class DownloadList : public QObject {
    Q_OBJECT
  public:
    enum class State { Running, Saved, Failed, Cancelled };
    struct Entry {
        quint64 id = 0;  // the list's own number
        QString name;    // the name it was offered under, made safe
        QByteArray folder;
        QByteArray path;  // the file, once saved (its name may differ: Keep Both)
        QUrl url;         // empty for what a page handed over itself (a dropped text)
        State state = State::Running;
        qint64 received = 0;
        qint64 total = -1;  // unknown: -1
        QString error;      // why it failed
        QPointer<FileOperations> ops;
        quint64 job = 0;
        std::function<void()> retry;  // null where it cannot be started again (its page is gone)
    };

    static DownloadList& instance();

    quint64 add(Entry entry);
    // Changes an entry and tells the list's watchers; nothing when it is gone.
    void change(quint64 id, const std::function<void(Entry&)>& how);
    const Entry* find(quint64 id) const;
    const std::vector<Entry>& entries() const { return m_entries; }
    // Forgets the downloads that have ended.
    void clearEnded();

    // "Saved — 2.3 MiB", "45% of 8.0 MiB", "Failed: …", "Cancelled".
    static QString stateText(const Entry& entry);

  signals:
    void added(quint64 id);
    void changed(quint64 id);
    void cleared();

  private:
    using QObject::QObject;
    std::vector<Entry> m_entries;
    quint64 m_next = 1;
};

}  // namespace kv
