#include "platform/qt/thumbnails/folderthumbnails.h"

#include <QCoreApplication>
#include <QEvent>
#include <QListView>
#include <QPixmap>
#include <QScrollBar>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/fs/core/background.h"
#include "platform/fs/drives/mounts.h"
#include "platform/fs/drives/volumekind.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/mimeiconcache.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/thumbnails/thumbnailmaker.h"

namespace kv {

namespace {

// Never waited for: a thumbnailer that hangs must not hold up a view's closing or the program's end.
QThreadPool& thumbnailPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        // A decode under way when the program ends would run into Qt's image plugins being unloaded:
        // it gets a moment to finish (a decode takes milliseconds), but a hung program does not.
        qAddPostRoutine([] { thumbnailPool().waitForDone(500); });
        return p;
    }();
    return *pool;
}

// Made on a worker the first time one is needed (it reads the thumbnailer folders), and again when
// the cache's place changes (tests point XDG_CACHE_HOME elsewhere).
std::shared_ptr<const ThumbnailMaker> defaultMaker() {
    static std::mutex mutex;
    static std::shared_ptr<const ThumbnailMaker> maker;
    std::lock_guard lock(mutex);
    if (!maker || maker->store().root() != ThumbnailPaths::defaultRoot())
        maker = std::make_shared<const ThumbnailMaker>();
    return maker;
}

constexpr qsizetype kMaxNone = 50000;

}  // namespace

struct FolderThumbnails::Job {
    QByteArray path;
    QByteArray key;
    QString mime;
    int row = 0;
    int px = 0;  // device pixels
};

// Shared with the workers, which take jobs from the front until none is left.
struct FolderThumbnails::Queue {
    std::mutex mutex;
    std::deque<Job> jobs;
    QSet<QByteArray> running;  // taken by a worker, result not yet delivered
    int workers = 0;
};

FolderThumbnails::FolderThumbnails(QListView* view, FolderModel* model,
                                   std::shared_ptr<const ThumbnailMaker> maker)
    : QObject(view),
      m_view(view),
      m_model(model),
      m_maker(std::move(maker)),
      m_mimes(MimeIconCache::shared()),
      m_queue(std::make_shared<Queue>()) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &FolderThumbnails::schedule);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &FolderThumbnails::scheduleSoon);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &FolderThumbnails::scheduleSoon);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &FolderThumbnails::scheduleSoon);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FolderThumbnails::scheduleSoon);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &FolderThumbnails::scheduleSoon);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &FolderThumbnails::scheduleSoon);
    m_view->viewport()->installEventFilter(this);
}

FolderThumbnails::~FolderThumbnails() {
    clearQueue();
}

bool FolderThumbnails::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
        scheduleSoon();
    } else if (event->type() == QEvent::Paint && visibleRows() != m_scheduledRows) {
        // The view lays its items out after the rows arrive, a few at a time: rows that came into
        // sight that way are painted without any signal of their own.
        scheduleSoon();
    }
    return false;
}

void FolderThumbnails::setEnabled(bool on, bool onSlowVolumes) {
    m_enabled = on;
    m_onSlowVolumes = onSlowVolumes;
    scheduleSoon();
    m_view->viewport()->update();
}

void FolderThumbnails::setActive(bool active) {
    m_active = active;
    scheduleSoon();
}

void FolderThumbnails::setIconSize(int px) {
    if (px == m_px) return;
    m_px = px;
    // Waiting jobs are for the old size; what was made at it stays cached for a zoom back.
    clearQueue();
    scheduleSoon();
}

void FolderThumbnails::folderShown(const QByteArray& path) {
    m_folder = path;
    clearQueue();
    m_volumeKnown = false;
    // The mount table is the kernel's and quick to read, but not on the UI thread.
    runInBackground(
        this,
        [path] {
            // A server is as slow as a network share: its pictures are fetched only when asked for.
            return RemoteLocation::is(path.toStdString()) ||
                   VolumeKind::of(path.toStdString(), Mounts().readMountInfo()).slow();
        },
        [this, path](bool slow) {
            if (path != m_folder) return;
            m_slow = slow;
            m_volumeKnown = true;
            schedule();
            m_view->viewport()->update();
        });
}

QByteArray FolderThumbnails::keyFor(int row, QByteArray* path) const {
    const DirEntry& e = m_model->entryAt(row);
    QByteArray p = m_model->pathAt(row);
    QByteArray key = p;
    key += '\n';
    key += QByteArray::number(static_cast<qlonglong>(e.mtimeNs));
    key += '\n';
    key += QByteArray::number(m_px);
    if (path) *path = std::move(p);
    return key;
}

QIcon FolderThumbnails::iconFor(int row) const {
    if (!shown() || row < 0 || row >= m_model->rowCount()) return {};
    if (m_model->entryAt(row).isDir) return {};
    const QIcon* icon = m_icons.object(keyFor(row, nullptr));
    return icon ? *icon : QIcon();
}

std::pair<int, int> FolderThumbnails::visibleRows() const {
    const int n = m_model->rowCount();
    if (n == 0) return {0, -1};
    const QRect area = m_view->viewport()->rect();
    auto rect = [&](int row) { return m_view->visualRect(m_model->index(row, 0)); };
    // Rows are laid out in order, left to right and down: two binary searches find the screen's.
    int lo = 0, hi = n;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (rect(mid).bottom() < area.top())
            lo = mid + 1;
        else
            hi = mid;
    }
    const int first = lo;
    hi = n;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (rect(mid).top() <= area.bottom())
            lo = mid + 1;
        else
            hi = mid;
    }
    return {first, lo - 1};
}

bool FolderThumbnails::idle() const {
    if (m_timer.isActive()) return false;  // work is about to be chosen
    std::lock_guard lock(m_queue->mutex);
    return m_queue->jobs.empty() && m_queue->running.isEmpty();
}

void FolderThumbnails::clearQueue() {
    std::lock_guard lock(m_queue->mutex);
    m_queue->jobs.clear();
}

void FolderThumbnails::schedule() {
    const auto [first, last] = visibleRows();
    m_scheduledRows = {first, last};
    if (!shown() || !m_view->isVisible()) {
        clearQueue();
        return;
    }
    const int n = m_model->rowCount();
    const qreal dpr = m_view->devicePixelRatioF();
    std::deque<Job> jobs;
    {
        std::lock_guard lock(m_queue->mutex);
        auto add = [&](int row) {
            if (m_model->entryAt(row).isDir) return;
            Job job;
            job.key = keyFor(row, &job.path);
            if (m_icons.contains(job.key) || m_none.contains(job.key) || m_queue->running.contains(job.key))
                return;
            job.mime = m_mimes->mimeNameFor(m_model->entryAt(row));
            job.row = row;
            job.px = qRound(m_px * dpr);
            jobs.push_back(std::move(job));
        };
        // What is in sight, then the next screen, then half of the one before.
        const int page = std::max(1, last - first + 1);
        for (int r = first; r <= last; ++r) add(r);
        for (int r = last + 1; r < std::min(n, last + 1 + page); ++r) add(r);
        for (int r = std::max(0, first - page / 2); r < first; ++r) add(r);
        m_queue->jobs = std::move(jobs);
    }
    startWorkers();
}

void FolderThumbnails::startWorkers() {
    int start = 0;
    {
        std::lock_guard lock(m_queue->mutex);
        const int room = thumbnailPool().maxThreadCount() - m_queue->workers;
        start = std::clamp(static_cast<int>(m_queue->jobs.size()), 0, std::max(0, room));
        m_queue->workers += start;
    }
    for (int i = 0; i < start; ++i) {
        background::runOnPool(
            thumbnailPool(), [queue = m_queue, maker = m_maker, receiver = Receiver(this), self = this] {
                for (;;) {
                    Job job;
                    {
                        std::lock_guard lock(queue->mutex);
                        if (queue->jobs.empty()) {
                            --queue->workers;
                            return;
                        }
                        job = std::move(queue->jobs.front());
                        queue->jobs.pop_front();
                        queue->running.insert(job.key);
                    }
                    const auto m = maker ? maker : defaultMaker();
                    std::function<void()> writeBack;
                    QImage image = m->canMake(job.mime) ? m->thumbnail(job.path, job.mime, job.px, &writeBack)
                                                        : QImage();
                    // self is only touched on the UI thread, and only while it exists.
                    receiver.post([self, job = std::move(job), image = std::move(image)] {
                        self->delivered(job, image);
                    });
                    // Shown first, then shared with the desktop.
                    if (writeBack) writeBack();
                }
            });
    }
}

void FolderThumbnails::delivered(const Job& job, const QImage& image) {
    bool settledNow = false;
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->running.remove(job.key);
        settledNow = m_queue->jobs.empty() && m_queue->running.isEmpty();
    }
    if (image.isNull()) {
        if (m_none.size() >= kMaxNone) m_none.clear();
        m_none.insert(job.key);
    } else {
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(m_view->devicePixelRatioF());
        const int cost = std::max(1, static_cast<int>(image.sizeInBytes() / 1024));
        auto* icon = new QIcon(pixmap);
        // A photo keeps its colours when selected; the item's background shows the selection.
        icon->addPixmap(pixmap, QIcon::Selected);
        m_icons.insert(job.key, icon, cost);
        // The row it was asked for, unless the rows moved meanwhile.
        if (job.row < m_model->rowCount() && m_model->pathAt(job.row) == job.path)
            m_view->viewport()->update(m_view->visualRect(m_model->index(job.row, 0)));
        else
            m_view->viewport()->update();
    }
    if (settledNow) emit settled();
}

}  // namespace kv
