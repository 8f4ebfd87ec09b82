#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>
#include <map>
#include <string>

#include "platform/qt/jobs/fileoperations.h"

class QMimeData;

namespace kv {

class FolderPane;

// What a folder view does with archives: an archive file opens like a folder ("archive:..."
// locations, listed by ArchiveListingSource); items taken out of one (copied, dragged, opened, sent to
// another pane) are extracted by a job; "Extract Here", "Extract to Pane…" and "Compress…" on the items
// of a folder. An encrypted archive asks for its password first. Archives are read-only: nothing is
// pasted or dropped into one.
class ArchivePlace : public QObject {
    Q_OBJECT
  public:
    explicit ArchivePlace(FolderPane& view);

    static bool isArchive(const QByteArray& location);
    // A file whose name says it is an archive this program opens.
    static bool opensAsFolder(const QByteArray& path, bool isDir);
    static QByteArray locationOf(const QByteArray& archivePath);

    // Items of an archive (their locations) extracted into a folder, as a paste or a drop of them.
    void extract(const QList<QByteArray>& items, const QByteArray& targetDir, FileOperations::Done done);
    // The selected archive files, each into the folder shown (several items at an archive's top get a
    // folder of their own).
    void extractHere();
    // The selected archive files into another pane's folder (chosen from a menu when there are several).
    void extractToPane();
    // Asks for a name and format, then makes an archive of the selection in the folder shown.
    void compress();
    // A file inside an archive: extracted into a temporary folder and opened with its application.
    void openItem(const QByteArray& location);
    // A copy of an item of an archive in a temporary folder of its own (TempCopies), made off the UI
    // thread: a file extracted, a folder made empty. done gets the copy's path (empty when the
    // extraction failed, which the job reports), unless context is gone by then. givenAway: another
    // program gets it, and may use it after this one ends.
    void copyOut(const QByteArray& location, bool isDir, QObject* context,
                 std::function<void(const QByteArray&)> done, bool givenAway = false);
    // A copy copyOut made is not needed any more.
    void dropCopy(const QByteArray& copy);
    // What copying or dragging items of an archive puts on the clipboard or in the drag: the items
    // for our panes, copies of them for other programs (ArchiveMimeData).
    QMimeData* mimeData(const QList<QByteArray>& items);

    // The selection is made of archive files only.
    bool selectionIsArchives() const;

  private:
    using Go = std::function<void(const std::string& passphrase)>;
    // Reads the archive's index off the UI thread; when it is encrypted asks for the password (unless
    // it was given in this run), then go.
    void withPassword(const QByteArray& archive, Go go);
    void extractArchives(const QList<QByteArray>& archives, const QByteArray& targetDir, bool ownFolder,
                         FileOperations::Done done);
    void runExtract(const std::string& archive, const std::string& folder, std::vector<std::string> names,
                    const QByteArray& targetDir, bool ownFolder, bool undoable, FileOperations::Done done);

    std::map<std::string, std::string>& passwords();

    FolderPane& m_view;
};

}  // namespace kv
