#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>

class QWidget;

namespace kv {

class FileOperations;

// The free space of the volumes the panes show, one answer for every pane of a volume. It is asked
// off the UI thread (a dead mount must not stall a window) when a pane shows a folder, after each
// file job ends, and every pollInterval() while a pane of the volume is on screen, so space taken
// by other programs shows too. A volume whose question is still out is not asked again meanwhile.
class VolumeSpace : public QObject {
    Q_OBJECT
  public:
    struct Answer {
        quint64 volume = 0;  // the file system's id: the panes it is told to
        qint64 bytes = -1;   // free for the user; -1 when the folder could not be asked
    };
    // What asks a folder's volume (statvfs by default); it runs off the UI thread.
    using Asker = std::function<Answer(const QByteArray& folder)>;

    explicit VolumeSpace(FileOperations& ops, QObject* parent = nullptr);
    ~VolumeSpace() override;

    // pane shows folder (empty: nothing on a volume) and wants its volume's free space, told to
    // it until it is forgotten or follows another folder.
    void follow(QWidget* pane, const QByteArray& folder, std::function<void(qint64 bytes)> told);
    void forget(QWidget* pane);
    // Asks the volume of the pane's folder again (a refresh).
    void askFor(QWidget* pane);

    void setAsker(Asker asker) { m_asker = std::move(asker); }
    int pollInterval() const { return m_poll.interval(); }
    void setPollInterval(int ms) { m_poll.setInterval(ms); }
    // Whether a question is out (tests wait for the answers).
    bool asking() const { return !m_asking.isEmpty(); }

  private:
    struct Follower {
        QByteArray folder;
        std::function<void(qint64)> told;
        quint64 volume = 0;  // known once its folder was answered
        bool volumeKnown = false;
    };
    void ask(const QByteArray& folder);
    void answered(const QByteArray& folder, const Answer& answer);
    // Every volume a pane on screen shows is asked once.
    void askShown(bool onScreenOnly);

    QHash<QWidget*, Follower> m_followers;
    QSet<QByteArray> m_asking;    // folders whose question is out
    QSet<QByteArray> m_askAgain;  // ... and that are to be asked again when it comes back
    Asker m_asker;
    QTimer m_poll;
};

}  // namespace kv
