#pragma once

#include <QByteArray>
#include <QCache>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <memory>
#include <utility>

class QListView;

namespace kv {

class FolderModel;
class MimeIconCache;
class ThumbnailMaker;

// The previews of an icon view: which rows are on screen, their thumbnails fetched or made on a pool
// of worker threads of their own (sized to the processors, apart from the pool that listing uses),
// the rows in sight first, then the next screen. Scrolling replaces what is waiting with what is now
// in sight; leaving the folder drops it. What comes back is kept as pixmaps of the icon size in a
// bounded cache, so painting only looks one up. On a network share or a removable drive there are
// none unless the user asks for them.
class FolderThumbnails : public QObject {
    Q_OBJECT
  public:
    // maker: how thumbnails are found and made (default: the user's cache and the system's thumbnailers,
    // looked up on a worker when first needed).
    FolderThumbnails(QListView* view, FolderModel* model, std::shared_ptr<const ThumbnailMaker> maker = {});
    ~FolderThumbnails() override;

    // The view's "Show Previews", and whether they are wanted on a slow volume too.
    void setEnabled(bool on, bool onSlowVolumes);
    // Only while the view shows icons: the list mode's small icons stay the type's.
    void setActive(bool active);
    void setIconSize(int px);
    void folderShown(const QByteArray& path);
    // Whether the folder shown is on a network share or a removable drive (known shortly after it is
    // shown; false until then).
    bool onSlowVolume() const { return m_slow; }
    bool shown() const { return m_enabled && m_active && m_volumeKnown && (!m_slow || m_onSlowVolumes); }

    // The row's preview at the icon size, if it is ready; a null icon otherwise.
    QIcon iconFor(int row) const;
    // The first and last rows in sight (first > last when none).
    std::pair<int, int> visibleRows() const;
    // Nothing waiting and nothing being made.
    bool idle() const;

    // A process-wide limit would be the memory's business; this is per view.
    static constexpr int kCacheKiB = 96 * 1024;

  signals:
    // A batch of requests has all come back (what benchmarks and tests wait for).
    void settled();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Queue;
    struct Job;
    void schedule();
    void scheduleSoon() { m_timer.start(); }
    void clearQueue();
    void startWorkers();
    void delivered(const Job& job, const QImage& image);
    QByteArray keyFor(int row, QByteArray* path) const;

    QListView* m_view;
    FolderModel* m_model;
    std::shared_ptr<const ThumbnailMaker> m_maker;
    std::shared_ptr<MimeIconCache> m_mimes;
    std::shared_ptr<Queue> m_queue;
    QCache<QByteArray, QIcon> m_icons{kCacheKiB};
    QSet<QByteArray> m_none;  // rows known to have no preview (key as in m_icons)
    QTimer m_timer;
    QByteArray m_folder;
    std::pair<int, int> m_scheduledRows{-1, -1};  // the rows in sight when work was last chosen
    int m_px = 64;
    bool m_enabled = true;
    bool m_onSlowVolumes = false;
    bool m_active = false;
    bool m_slow = false;
    bool m_volumeKnown = false;
};

}  // namespace kv
