#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <memory>

#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/web/downloadlist.h"

class QWidget;

namespace kv {

class FolderPane;

// One download as the user follows it, from its start to its end: its entry in the run's DownloadList,
// and the notice in the status line of the pane whose folder it goes into (DownloadNotice), which at
// the end selects the saved file there.
class DownloadRecord : public std::enable_shared_from_this<DownloadRecord> {
  public:
    // target: a pane showing the folder it goes into, if any.
    static std::shared_ptr<DownloadRecord> begin(DownloadList::Entry entry, FolderPane* target);

    void jobStarted(quint64 job);
    void progressed(qint64 received, qint64 total);
    // What its job does when it ends: the entry says how, the pane's notice says it too, and a saved
    // file is selected in the pane (which lists its folder again).
    FileOperations::Done whenDone();

    quint64 entry() const { return m_entry; }

  private:
    DownloadRecord() = default;
    FolderPane* pane() const;
    QByteArray expectedPath() const;
    void announce(const QString& text, const QByteArray& path) const;
    void ended(const JobResult& result);

    quint64 m_entry = 0;
    QPointer<QWidget> m_pane;
    QByteArray m_folder;
    QString m_name;
    int m_percent = -1;  // what the notice said last
};

}  // namespace kv
