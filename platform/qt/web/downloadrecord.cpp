#include "platform/qt/web/downloadrecord.h"

#include <QCoreApplication>
#include <QFile>

#include "platform/fs/core/paths.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/jobs/jobtexts.h"
#include "platform/qt/pane/downloadnotice.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/windowpanes.h"

namespace kv {

namespace {

QString noticeText(const char* text) {
    return QCoreApplication::translate("kv::WebDownloads", text);
}

}  // namespace

std::shared_ptr<DownloadRecord> DownloadRecord::begin(DownloadList::Entry entry, FolderPane* target) {
    std::shared_ptr<DownloadRecord> r(new DownloadRecord);
    r->m_folder = entry.folder;
    r->m_name = entry.name;
    r->m_pane = target ? target->paneWidget() : nullptr;
    r->m_entry = DownloadList::instance().add(std::move(entry));
    r->announce(noticeText("Downloading %1…").arg(r->m_name), QByteArray());
    return r;
}

FolderPane* DownloadRecord::pane() const {
    return m_pane ? WindowPanes::paneOf(m_pane) : nullptr;
}

void DownloadRecord::announce(const QString& text, const QByteArray& path) const {
    if (FolderPane* p = pane())
        DownloadNotice::show(*p, text, m_name, path.isEmpty() ? expectedPath() : path);
}

void DownloadRecord::jobStarted(quint64 job) {
    DownloadList::instance().change(m_entry, [job](DownloadList::Entry& e) { e.job = job; });
}

void DownloadRecord::progressed(qint64 received, qint64 total) {
    DownloadList::instance().change(m_entry, [&](DownloadList::Entry& e) {
        e.received = received;
        e.total = total;
    });
    if (total <= 0) return;
    const int percent = static_cast<int>(received * 100 / total);
    if (percent == m_percent) return;
    m_percent = percent;
    // Said only while the notice still speaks of this download.
    FolderPane* p = pane();
    DownloadNotice* notice = p ? DownloadNotice::of(*p) : nullptr;
    if (notice && notice->path() == expectedPath())
        announce(noticeText("Downloading %1… %2%").arg(m_name).arg(percent), QByteArray());
}

QByteArray DownloadRecord::expectedPath() const {
    return m_folder + '/' + QFile::encodeName(m_name);
}

FileOperations::Done DownloadRecord::whenDone() {
    FileOperations::Done listAgain;
    if (FolderPane* p = pane()) listAgain = p->whenDone();  // while the pane exists
    return [self = shared_from_this(), listAgain](const JobResult& r) {
        self->ended(r);
        if (listAgain) listAgain(r);  // after the selection is asked for: the new listing applies it
    };
}

void DownloadRecord::ended(const JobResult& r) {
    DownloadList::State state = DownloadList::State::Saved;
    QString error;
    QByteArray path;
    if (!r.reports.empty()) {
        state = DownloadList::State::Failed;
        error = JobTexts::sentence(r.reports.front());
    } else if (r.cancelled || r.undo.created.empty()) {
        state = DownloadList::State::Cancelled;
    } else {
        path = QByteArray::fromStdString(r.undo.created.front());
    }
    qint64 size = 0;
    DownloadList::instance().change(m_entry, [&](DownloadList::Entry& e) {
        e.state = state;
        e.error = error;
        e.path = path;
        size = e.received;
    });
    FolderPane* p = pane();
    if (!p) return;
    switch (state) {
        case DownloadList::State::Saved: {
            const QString name =
                QFile::decodeName(QByteArray::fromStdString(paths::baseName(path.toStdString())));
            m_name = name;
            DownloadNotice::show(
                *p, noticeText("Saved %1 — %2").arg(name, sizeText(static_cast<quint64>(size))), name, path);
            if (p->folder() == m_folder) p->selectWhenListed(QFile::encodeName(name), false);
            break;
        }
        case DownloadList::State::Failed:
            announce(noticeText("Download of %1 failed").arg(m_name), QByteArray());
            break;
        case DownloadList::State::Cancelled:
        case DownloadList::State::Running:
            announce(noticeText("Download of %1 cancelled").arg(m_name), QByteArray());
            break;
    }
}

}  // namespace kv
