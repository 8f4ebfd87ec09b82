#pragma once

#include <QByteArray>
#include <QList>
#include <QMimeData>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kv {

class ArchiveIndexCache;
class FileJob;
class TempCopies;

// Items of archives copied or dragged: our own panes read the items from our own format and extract
// them with a job of theirs. Other programs cannot read inside an archive, so the formats they read
// (text/uri-list, the GNOME copied-files list) name copies taken out into a temporary
// folder (plain text reads as the items' places, with nothing to wait for). The copies are begun at once, off
// the UI thread, with no window of their own; only when another program asks for them (Qt calls retrieveData
// as its request arrives) does the answer wait for them, a few seconds at most, with the event loop running,
// and then names what is ready. A selection larger than sizeLimit, or of an encrypted archive whose password
// this view was not given, gets no copies: other programs see no files. Copies never asked for go with this
// object; those given out stay (TempCopies).
class ArchiveMimeData : public QMimeData {
    Q_OBJECT
  public:
    using Passwords = std::map<std::string, std::string>;  // archive -> the password given
    struct Options {
        std::uint64_t sizeLimit = std::uint64_t(1) << 30;  // uncompressed bytes, by the archive's index
        int waitMs = 4000;
    };

    ArchiveMimeData(const QList<QByteArray>& items, std::shared_ptr<ArchiveIndexCache> indexes,
                    Passwords passwords, std::shared_ptr<TempCopies> copies, Options options);
    ~ArchiveMimeData() override;

    const QList<QByteArray>& items() const { return m_items; }
    // The copies are made, or will not be.
    bool settled() const { return m_settled; }
    // Whether the selection was too large (or unreadable) for copies; known once settled.
    bool withoutCopies() const { return m_settled && m_groups.empty(); }

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

  signals:
    void copiesSettled();

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    struct Group {
        std::string archive;
        std::string folder;  // inside the archive
        std::vector<std::string> names;
        std::string passphrase;
        std::string dir;  // the copies' folder
        std::unique_ptr<FileJob> job;
        QList<QByteArray> copies;  // what the job made, once done
        bool done = false;
        bool givenOut = false;
    };

    void start(std::shared_ptr<ArchiveIndexCache> indexes, Passwords passwords);
    void planned(std::vector<Group> groups);
    void groupDone(std::size_t group, QList<QByteArray> copies);
    // False when this object went while waiting.
    bool waitForCopies() const;
    // The copies ready now; from here on they are another program's.
    QList<QByteArray> giveOut() const;

    QList<QByteArray> m_items;
    std::shared_ptr<TempCopies> m_copies;
    Options m_options;
    mutable std::vector<Group> m_groups;
    bool m_settled = false;
};

}  // namespace kv
