#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/core/background.h"
#include "platform/fs/listing/direntry.h"
#include "platform/fs/listing/entrysorter.h"
#include "platform/fs/listing/listingsource.h"
#include "platform/fs/listing/rowstore.h"

namespace kv {

// Runs a listing source into a row store at a pace the views can follow, and hands each operation's
// row steps to `play` (the model, which turns them into its signals). Batches are sorted on pool
// threads and merged at most once per interval; a big re-sort runs on a worker; a refresh either
// lists everything again and applies the difference, or looks at the named entries only.
class FolderListing : public QObject {
    Q_OBJECT
  public:
    enum class State {
        Idle,
        Listing,     // the source streams batches, merged into the rows as they come
        Draining,    // the source is done; batches still being sorted, or the rows wait for a new order
        Refreshing,  // listing again to compare: the rows stay until the whole new listing is in
    };
    using PlayFn = std::function<void(const RowChanges&)>;

    FolderListing(RowStore& store, PlayFn play, ListingSourceFactory sources, QObject* parent = nullptr);
    ~FolderListing() override;

    void setFolder(const std::string& location);
    // Shows the folder from what another listing of it holds instead of reading the disk: its rows
    // (shared until either changes them), sorted by this listing's order on a worker when that differs,
    // and the changes it was told of and has not applied yet, looked at again here. Only for a listing
    // that is whole() and whose changes this one is told of from now on, as it is.
    void shareFrom(const std::string& location, FolderListing& from);
    // Lists what the given source streams (a search's results) as if it were a folder's listing.
    void setSource(std::unique_ptr<ListingSource> source);
    // Ends a listing still running where it is: the rows so far stay, and it counts as done.
    void stop();
    void refresh();
    void refreshNames(const std::vector<std::string>& names);
    // Orders the rows; a big folder keeps its old order until a worker's new one is applied.
    void sortBy(const EntrySorter& sorter);
    // The order asked for (the store's is the one the rows are in).
    const EntrySorter& sorter() const { return m_sorter; }
    State state() const { return m_state; }
    // Idle with the whole folder listed (not stopped part way) and no error since, nothing asked of
    // it waiting: what another listing of the folder may take instead of reading it again.
    bool whole() const { return m_state == State::Idle && m_whole && !m_refreshQueued && m_source; }

  signals:
    // The listing finished (or a refresh failed): error 0, or errno with its text.
    void listed(int error, const QString& message);
    // A refresh (whole or of some names) was applied.
    void refreshed();

  private:
    // A batch of the listing, received and not yet shown, sorted by sortedBy on a pool thread.
    struct Batch {
        std::vector<DirEntry> entries;
        EntrySorter sortedBy;
    };

    // Forgets the folder shown and whatever was under way for it; the source is the new folder's.
    void restart(std::unique_ptr<ListingSource> source);
    void adopt(RowStore::Shared&& shared);
    // Rows taken from another listing get entries of their own, copied on a worker.
    void ownCopy();
    void addBatch(std::vector<DirEntry>&& batch, const EntrySorter& sortedBy);
    void applyPending();
    void listingDone(int error, const QString& message);
    // Ends the listing once every batch is in and the rows are in the wanted order.
    void maybeFinish();
    // Goes on with what waited for the listing or the re-sort: batches, the end, queued refreshes.
    void resume();
    void compareRefresh(std::vector<DirEntry>&& fresh, int error, const QString& message);
    void applyRefresh(RowStore::ListingDiff&& diff, std::uint64_t version);
    void startNames();
    void applyNames(int error, std::vector<DirEntry>&& found, std::vector<std::string>&& gone);
    void startSort();
    void sortDone(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy, std::uint64_t version);
    bool sortWaiting() const { return !(m_sorter == m_store.sorter()); }

    RowStore& m_store;
    PlayFn m_play;
    ListingSourceFactory m_sources;
    Receiver m_receiver;
    std::unique_ptr<ListingSource> m_source;
    EntrySorter m_sorter;
    State m_state = State::Idle;
    // Bumped by setFolder: whatever a worker brings back for an older folder is dropped.
    quint64 m_generation = 0;
    std::vector<Batch> m_pending;
    // Batches of this listing that the pool is still sorting; the listing's end waits for them.
    std::shared_ptr<std::atomic<int>> m_batchesSorting;
    int m_endError = 0;
    QString m_endMessage;
    QTimer m_applyTimer;
    QElapsedTimer m_sinceApply;
    // Asked for while a listing ran: done once it ends, rather than restarting it, so a folder that
    // keeps changing is still shown as it was a moment ago instead of never.
    bool m_refreshQueued = false;
    std::vector<std::string> m_namesQueued;
    bool m_namesRunning = false;
    // The names being looked at again, until their entries are in the rows.
    std::vector<std::string> m_namesInFlight;
    // Identifies the names refresh whose result is still wanted; a new folder or a whole refresh
    // makes the one in flight stale.
    quint64 m_namesTicket = 0;
    bool m_sortRunning = false;
    // The rows are the folder's whole listing (see whole()); stop() cuts one short.
    bool m_whole = false;
    bool m_stopped = false;
};

}  // namespace kv
