#include "platform/qt/web/webdownloads.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <memory>

#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/downloads/downloadfeed.h"
#include "platform/fs/downloads/downloadjob.h"
#include "platform/fs/downloads/downloadname.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/pane/downloadspane.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/web/downloadrecord.h"
#include "platform/qt/web/referrerinterceptor.h"

namespace kv {

namespace {

constexpr char kAskWhere[] = "kvAskWhere";
// On a page: when the user last clicked or typed in it (ms since the epoch); how many downloads that
// no click started run; whether the user let it download several files at once (unset: not asked).
constexpr char kGestureAt[] = "kvGestureAt";
constexpr char kUnprompted[] = "kvUnprompted";
constexpr qint64 kGestureMs = 2000;   // a download asked for this soon after a click is the click's
constexpr qint64 kPendingMs = 60000;  // a drop's download that has not begun by then never will

bool askSeveralWithDialog(QWidget* view, const QString& site) {
    const auto answer =
        QMessageBox::question(view ? view->window() : nullptr, WebDownloads::tr("Downloads"),
                              WebDownloads::tr("Allow “%1” to download several files?").arg(site),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

QString askWithDialog(QWidget* parent, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, WebDownloads::tr("Save Download As"), suggested);
}

// How an address is recorded on the file: as text, without a password.
std::string recorded(const QUrl& url) {
    return url.adjusted(QUrl::RemoveUserInfo).toString(QUrl::FullyEncoded).toStdString();
}

QString titleFor(const std::string& name, const QByteArray& folder) {
    return WebDownloads::tr("Downloading “%1” to “%2”")
        .arg(NameText::shown(name), NameText::shown(paths::baseName(folder.toStdString())));
}

// The pane a download into folder is shown in: the one it was meant for, else one of the window's
// that shows that folder; null when none does.
FolderPane* paneShowing(const QWidget* window, const QByteArray& folder, FolderPane* meant) {
    if (meant && meant->folder() == folder) return meant;
    for (FolderPane* p : WindowPanes::panes(window))
        if (p->folder() == folder) return p;
    return nullptr;
}

DownloadFeed::State stateOf(const QWebEngineDownloadRequest* r) {
    switch (r->state()) {
        case QWebEngineDownloadRequest::DownloadCompleted:
            return DownloadFeed::State::Completed;
        case QWebEngineDownloadRequest::DownloadCancelled:
            return DownloadFeed::State::Cancelled;
        case QWebEngineDownloadRequest::DownloadInterrupted:
            return DownloadFeed::State::Failed;
        case QWebEngineDownloadRequest::DownloadRequested:
        case QWebEngineDownloadRequest::DownloadInProgress:
            break;
    }
    return DownloadFeed::State::Running;
}

}  // namespace

WebDownloads& WebDownloads::of(QWebEngineProfile* profile) {
    if (auto* d = profile->findChild<WebDownloads*>(QString(), Qt::FindDirectChildrenOnly)) return *d;
    return *new WebDownloads(profile);
}

WebDownloads::WebDownloads(QWebEngineProfile* profile)
    : QObject(profile), m_askWhere(askWithDialog), m_askSeveral(askSeveralWithDialog) {
    connect(profile, &QWebEngineProfile::downloadRequested, this, &WebDownloads::requested);
    // Clicks and keys in pages tell the downloads a user asked for from those a page started alone.
    if (qApp) qApp->installEventFilter(this);
}

void WebDownloads::setAskWhere(AskWhere ask) {
    m_askWhere = ask ? std::move(ask) : askWithDialog;
}

void WebDownloads::setAskSeveral(AskSeveral ask) {
    m_askSeveral = ask ? std::move(ask) : askSeveralWithDialog;
}

void WebDownloads::saveInto(QWebEnginePage* page, const QUrl& url, const QByteArray& folder,
                            QWidget* origin) {
    Pending p{page, url, folder, ReferrerInterceptor::referrerFor(page->url(), url), origin, {}};
    p.since.start();
    auto* interceptor = page->findChild<ReferrerInterceptor*>(QString(), Qt::FindDirectChildrenOnly);
    if (!interceptor) {
        interceptor = new ReferrerInterceptor(page);
        page->setUrlRequestInterceptor(interceptor);
    }
    interceptor->expect(url, p.referrer);
    m_pending.push_back(std::move(p));
    page->download(url);
}

bool WebDownloads::takePending(QWebEnginePage* page, const QUrl& url, Pending& out) {
    std::erase_if(m_pending, [](const Pending& p) {
        if (p.page && p.since.hasExpired(kPendingMs))
            if (auto* i = p.page->findChild<ReferrerInterceptor*>(QString(), Qt::FindDirectChildrenOnly))
                i->forget(p.url);
        return !p.page || p.since.hasExpired(kPendingMs);
    });
    auto it = std::find_if(m_pending.begin(), m_pending.end(),
                           [&](const Pending& p) { return p.page == page && p.url == url; });
    // Redirected, the download names where it ended: it is the page's oldest that waits.
    if (it == m_pending.end())
        it = std::find_if(m_pending.begin(), m_pending.end(),
                          [&](const Pending& p) { return p.page == page; });
    if (it == m_pending.end()) return false;
    out = std::move(*it);
    m_pending.erase(it);
    if (auto* interceptor = page->findChild<ReferrerInterceptor*>(QString(), Qt::FindDirectChildrenOnly))
        interceptor->forget(out.url);
    return true;
}

void WebDownloads::requested(QWebEngineDownloadRequest* request) {
    // The engine asks again for a download it has begun when it resumes one cut off by the server, by
    // itself and again and again, while the first stays "in progress" for ever. A cut-off download
    // fails once, with its reason, and leaves no file; trying again is the user's.
    if (const auto running = m_running.find(request->id()); running != m_running.end()) {
        const Running first = running->second;
        m_running.erase(running);
        request->cancel();
        if (first.feed)
            first.feed->ended(DownloadFeed::State::Failed,
                              tr("The server ended the connection before the whole file came").toStdString());
        if (first.request) first.request->cancel();
        return;
    }
    QWebEnginePage* page = request->page();
    QWebEngineView* view = page ? QWebEngineView::forPage(page) : nullptr;
    BrowserPane* browser = WindowPanes::browserAround(view);
    const QString offered =
        request->suggestedFileName().isEmpty() ? request->downloadFileName() : request->suggestedFileName();
    // A drop's download starts from a page of the profile, maybe one no view shows (ForeignDrop):
    // it goes where it was dropped.
    Pending dropped;
    if (page && takePending(page, request->url(), dropped)) {
        FolderPane* pane = WindowPanes::paneOf(dropped.origin.data());
        if (!pane && browser) pane = &browser->folderPane();
        if (!pane) return request->cancel();  // the pane went meanwhile
        QWidget* origin = dropped.origin ? dropped.origin.data() : view;
        return start(request, pane->fileOperations(), dropped.folder, offered, false, dropped.referrer,
                     origin, pane);
    }
    if (!browser) {
        // Not one of the program's views (nothing here makes such a page): the engine saves it itself.
        const QString target = m_askWhere(
            nullptr, QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + '/' + offered);
        if (target.isEmpty()) return request->cancel();
        request->setDownloadDirectory(QFileInfo(target).absolutePath());
        request->setDownloadFileName(QFileInfo(target).fileName());
        return request->accept();
    }
    FileOperations& ops = browser->folderPane().fileOperations();
    const QByteArray referrer = ReferrerInterceptor::referrerFor(page->url(), request->url());
    const bool ask = page->property(kAskWhere).toBool();
    if (!ask && !allowedUnprompted(page, view, request)) return request->cancel();
    if (ask) page->setProperty(kAskWhere, QVariant());
    FolderPane* beside = DownloadsPane::of(view->window());
    if (beside && !ask) return start(request, ops, beside->folder(), offered, false, referrer, view, beside);

    const QString suggestedFolder = beside
                                        ? QFile::decodeName(beside->folder())
                                        : QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    const QString target =
        m_askWhere(view, suggestedFolder + '/' + DownloadName::safe(offered.toStdString()).c_str());
    if (target.isEmpty()) return request->cancel();
    // The dialog has asked about a file of that name already.
    const QFileInfo chosen(target);
    const QByteArray folder = QFile::encodeName(chosen.absolutePath());
    start(request, ops, folder, chosen.fileName(), true, referrer, view,
          paneShowing(view->window(), folder, beside));
}

bool WebDownloads::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if ((t == QEvent::MouseButtonPress || t == QEvent::KeyPress) && watched->isWidgetType()) {
        for (QObject* o = watched; o; o = o->parent())
            if (auto* view = qobject_cast<QWebEngineView*>(o)) {
                if (view->page()) view->page()->setProperty(kGestureAt, QDateTime::currentMSecsSinceEpoch());
                break;
            }
    }
    return false;
}

bool WebDownloads::allowedUnprompted(QWebEnginePage* page, QWidget* view, QWebEngineDownloadRequest*) {
    const qint64 gesture = page->property(kGestureAt).toLongLong();
    if (gesture > 0 && QDateTime::currentMSecsSinceEpoch() - gesture <= kGestureMs) return true;
    // Counted whether or not the earlier ones have ended: a page that starts its downloads one after
    // another must not get them all without a question.
    const int started = page->property(kUnprompted).toInt();
    page->setProperty(kUnprompted, started + 1);
    if (started == 0) return true;
    const QString site = page->url().host().isEmpty() ? page->url().toString() : page->url().host();
    auto it = m_severalAllowed.find(site);
    if (it == m_severalAllowed.end()) it = m_severalAllowed.emplace(site, m_askSeveral(view, site)).first;
    return it->second;
}

void WebDownloads::start(QWebEngineDownloadRequest* request, FileOperations& ops, const QByteArray& folder,
                         const QString& name, bool replace, const QByteArray& referrer, QWidget* origin,
                         FolderPane* target) {
    DownloadTarget t;
    t.folder = folder.toStdString();
    t.name = DownloadName::safe(name.toStdString());
    t.partial = DownloadJob::partialIn(t.folder);
    t.engineFile = t.partial + ".download";  // the engine's name for it until complete
    t.originUrl = recorded(request->url());
    t.referrerUrl = referrer.toStdString();
    t.size = request->totalBytes();
    t.replace = replace;
    t.replacedTrash = ops.homeTrash();
    const std::string partialName = paths::baseName(t.partial);
    request->setDownloadDirectory(QFile::decodeName(folder));
    request->setDownloadFileName(QFile::decodeName(QByteArray::fromStdString(partialName)));

    // The job asks from its thread; the request is reached on this one, while it exists.
    auto feed =
        std::make_shared<DownloadFeed>([receiver = Receiver(request), request](DownloadFeed::Command c) {
            receiver.post([request, c] {
                switch (c) {
                    case DownloadFeed::Command::Pause:
                        request->pause();
                        break;
                    case DownloadFeed::Command::Resume:
                        request->resume();
                        break;
                    case DownloadFeed::Command::Cancel:
                        request->cancel();
                        break;
                }
            });
        });
    DownloadList::Entry entry;
    entry.name = QString::fromStdString(t.name);
    entry.folder = folder;
    entry.url = request->url();
    entry.total = request->totalBytes();
    entry.ops = &ops;
    // Started again from its page into the same folder, as a drop there would; the pane it went into
    // selects it.
    if (QWebEnginePage* page = request->page())
        entry.retry = [page = QPointer<QWebEnginePage>(page), url = request->url(), folder,
                       into = QPointer<QWidget>(target ? target->paneWidget() : nullptr)] {
            if (page) WebDownloads::of(page->profile()).saveInto(page, url, folder, into);
        };
    const auto record = DownloadRecord::begin(std::move(entry), target);
    const auto progressed = [feed, request, record] {
        feed->progressed(static_cast<std::uint64_t>(request->receivedBytes()), request->totalBytes());
        record->progressed(request->receivedBytes(), request->totalBytes());
    };
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, this, progressed);
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this, progressed);
    m_running[request->id()] = {QPointer<QWebEngineDownloadRequest>(request), feed};
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, feed, request, progressed] {
        if (!request->isFinished()) return;
        if (const auto it = m_running.find(request->id());
            it != m_running.end() && it->second.request == request)
            m_running.erase(it);
        progressed();
        feed->ended(stateOf(request), request->interruptReasonString().toStdString());
    });
    request->accept();
    const std::string shownName = t.name;
    record->jobStarted(ops.run(std::make_unique<DownloadJob>(std::move(t), feed), titleFor(shownName, folder),
                               origin, true, record->whenDone()));
}

void WebDownloads::saveData(FileOperations& ops, const QByteArray& folder, const QString& name,
                            QByteArray bytes, const QUrl& origin, const QUrl& referrer, QWidget* from) {
    DownloadTarget t;
    t.folder = folder.toStdString();
    t.name = DownloadName::safe(name.toStdString());
    // A data: address is its own content: nothing to record about where it came from.
    if (origin.scheme() != QLatin1String("data")) t.originUrl = recorded(origin);
    t.referrerUrl = recorded(referrer);
    t.replacedTrash = ops.homeTrash();
    DownloadList::Entry entry;
    entry.name = QString::fromStdString(t.name);
    entry.folder = folder;
    entry.received = entry.total = bytes.size();
    entry.ops = &ops;
    const auto record = DownloadRecord::begin(
        std::move(entry), paneShowing(from ? from->window() : nullptr, folder, WindowPanes::paneOf(from)));
    const std::string shownName = t.name;
    record->jobStarted(ops.run(std::make_unique<DownloadJob>(std::move(t), bytes.toStdString()),
                               titleFor(shownName, folder), from, true, record->whenDone()));
}

}  // namespace kv
