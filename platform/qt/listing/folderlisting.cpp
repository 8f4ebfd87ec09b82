#include "platform/qt/listing/folderlisting.h"

#include <algorithm>

namespace kv {

namespace {

// Batches are merged into the rows at most this often: a relayout of a big folder is O(rows) for the
// model and the views, so one per frame or two keeps the UI thread free while rows keep streaming in.
constexpr int kApplyIntervalMs = 16;
// ... plus a millisecond for every this many rows already shown.
constexpr std::size_t kRowsPerExtraMs = 1000;
// At most this many listed entries are merged into the rows at once: placing them costs a few
// milliseconds, and the views' relayout of a big folder as much again.
constexpr std::size_t kMaxMergeEntries = 4096;
// Below this many entries a re-sort takes a few milliseconds and runs at once; above it, on a worker.
constexpr std::size_t kSyncSortLimit = 20000;

}  // namespace

FolderListing::FolderListing(RowStore& store, PlayFn play, ListingSourceFactory sources, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_play(std::move(play)),
      m_sources(std::move(sources)),
      m_receiver(this),
      m_batchesSorting(std::make_shared<std::atomic<int>>(0)) {
    m_applyTimer.setSingleShot(true);
    connect(&m_applyTimer, &QTimer::timeout, this, &FolderListing::applyPending);
}

// The source goes first: once it is gone no callback of it runs.
FolderListing::~FolderListing() {
    m_source.reset();
}

void FolderListing::setFolder(const std::string& location) {
    setSource(m_sources(location));
}

void FolderListing::restart(std::unique_ptr<ListingSource> source) {
    ++m_generation;
    m_source = std::move(source);
    m_pending.clear();
    m_applyTimer.stop();
    m_refreshQueued = false;
    m_namesQueued.clear();
    m_namesRunning = false;
    m_namesInFlight.clear();
    ++m_namesTicket;
    m_sortRunning = false;  // a running worker's order is for the old entries: refused when it comes
    m_play(m_store.clear());
    m_play(m_store.setSorter(m_sorter));
    m_state = State::Listing;
    m_batchesSorting = std::make_shared<std::atomic<int>>(0);
    m_endError = 0;
    m_endMessage.clear();
    m_whole = false;
    m_stopped = false;
}

void FolderListing::shareFrom(const std::string& location, FolderListing& from) {
    restart(m_sources(location));
    // Told to the giver before this listing was told of its folder's changes, and not in its rows
    // yet: looked at again here once the rows are in (the giver's own lookup may come back later).
    m_namesQueued = from.m_namesQueued;
    m_namesQueued.insert(m_namesQueued.end(), from.m_namesInFlight.begin(), from.m_namesInFlight.end());
    adopt(from.m_store.share());
}

void FolderListing::adopt(RowStore::Shared&& shared) {
    if (!(shared.sorter == m_sorter)) {
        // Ordered anew on a worker, as a big re-sort is; the rows show once they are in this order.
        runInBackground(
            this,
            [shared = std::move(shared), sorter = m_sorter]() mutable {
                shared.sorted = sorter.order(*shared.entries);
                shared.sorter = sorter;
                return std::move(shared);
            },
            [this, generation = m_generation](RowStore::Shared&& sorted) {
                // Let go here whatever happens: see FolderModel::prepareNameFilter.
                RowStore::Shared held = std::move(sorted);
                if (generation == m_generation) adopt(std::move(held));
            },
            false);
        return;
    }
    m_play(m_store.adopt(std::move(shared)));
    ownCopy();
    // The end is reported from the event loop, as a listing's is: whoever set the folder hears of it
    // after setting it.
    m_state = State::Draining;
    m_receiver.post([this, generation = m_generation] {
        if (generation == m_generation) listingDone(0, {});
    });
}

void FolderListing::ownCopy() {
    // Until then the first change to the rows, here or in the listing they came from, would copy
    // every entry on the UI thread.
    using Snapshot = std::shared_ptr<const std::vector<DirEntry>>;
    using Copy = std::shared_ptr<std::vector<DirEntry>>;
    runInBackground(
        this,
        [entries = m_store.snapshot()]() mutable {
            auto copy = std::make_shared<std::vector<DirEntry>>(*entries);
            return std::make_pair(std::move(copy), std::move(entries));
        },
        [this](std::pair<Copy, Snapshot>&& done) {
            // The snapshot is let go here, after the store let go of the entries it shares.
            const Snapshot of = std::move(done.second);
            m_store.takeCopy(std::move(done.first), of);
        },
        false);
}

void FolderListing::setSource(std::unique_ptr<ListingSource> source) {
    restart(std::move(source));
    const quint64 generation = m_generation;
    Receiver receiver = m_receiver;
    m_source->start(
        // Each batch is sorted on a pool thread, off the source's thread (the listing's critical
        // path) and off the UI thread, which then only merges it with the rows.
        [this, receiver, generation, sorting = m_batchesSorting,
         sorter = m_sorter](std::vector<DirEntry>&& batch) {
            auto owned = std::make_shared<std::vector<DirEntry>>(std::move(batch));
            ++*sorting;
            background::runOnPool([this, receiver, owned, generation, sorter] {
                std::sort(owned->begin(), owned->end(),
                          [&](const DirEntry& a, const DirEntry& b) { return sorter.less(a, b); });
                receiver.post([this, owned, generation, sorter] {
                    if (generation == m_generation) addBatch(std::move(*owned), sorter);
                });
            });
        },
        [this, receiver, generation](int error, const std::string& message) {
            receiver.post([this, generation, error, text = QString::fromStdString(message)] {
                if (generation == m_generation) listingDone(error, text);
            });
        });
}

void FolderListing::stop() {
    if (m_state != State::Listing || !m_source) return;
    m_source->cancel();
    m_stopped = true;
    listingDone(0, {});
}

void FolderListing::addBatch(std::vector<DirEntry>&& batch, const EntrySorter& sortedBy) {
    --*m_batchesSorting;
    if (!batch.empty()) m_pending.push_back({std::move(batch), sortedBy});
    if (m_state == State::Draining && *m_batchesSorting == 0) {
        maybeFinish();
        return;
    }
    if (m_pending.empty() || sortWaiting()) return;  // applied once the new order is
    // The first rows show at once; later ones wait for the next slot. Each merge costs the views a
    // pass over every row, so the slots spread out as the folder grows: a big folder is merged a
    // few times a second rather than every frame, and the UI thread stays free in between.
    const qint64 interval =
        kApplyIntervalMs +
        static_cast<qint64>(static_cast<std::size_t>(m_store.rowCount()) / kRowsPerExtraMs);
    const qint64 since = m_sinceApply.isValid() ? m_sinceApply.elapsed() : interval;
    if (m_store.rowCount() == 0 || since >= interval) {
        applyPending();
    } else if (!m_applyTimer.isActive()) {
        m_applyTimer.start(static_cast<int>(interval - since));
    }
}

void FolderListing::applyPending() {
    m_applyTimer.stop();
    if (m_pending.empty() || sortWaiting()) return;
    m_sinceApply.start();
    // A merge costs the UI thread in proportion to the entries it places: a folder streaming tens of
    // thousands of entries between two merges is merged a chunk at a time, the next chunk a frame
    // later, so input and painting get their turn in between.
    bool presorted = true;
    std::vector<std::vector<DirEntry>> runs;
    std::size_t taken = 0, count = 0;
    for (; taken < m_pending.size() && count < kMaxMergeEntries; ++taken) {
        Batch& b = m_pending[taken];
        presorted = presorted && b.sortedBy == m_store.sorter();
        const std::size_t room = kMaxMergeEntries - count;
        if (b.entries.size() > room) {
            // The front of a sorted batch is sorted too: it goes now, the rest with the next chunk.
            const auto split = b.entries.begin() + static_cast<std::ptrdiff_t>(room);
            runs.emplace_back(std::make_move_iterator(b.entries.begin()), std::make_move_iterator(split));
            b.entries.erase(b.entries.begin(), split);
            count += room;
            break;
        }
        count += b.entries.size();
        runs.push_back(std::move(b.entries));
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(taken));
    m_play(m_store.merge(std::move(runs), presorted));
    // The next chunk follows as soon as the events queued meanwhile (input, the views' layout and
    // painting) have had their turn: waiting a whole interval between chunks held a big folder's
    // last rows back for a fraction of a second after the disk had given them all.
    if (!m_pending.empty())
        m_applyTimer.start(0);
    else
        maybeFinish();
}

void FolderListing::listingDone(int error, const QString& message) {
    m_state = State::Draining;
    m_endError = error;
    m_endMessage = message;
    maybeFinish();
}

void FolderListing::maybeFinish() {
    if (m_state != State::Draining || *m_batchesSorting > 0 || sortWaiting()) return;
    // What is left is merged chunk by chunk, starting now: the pacing that spreads merges out while
    // the disk is still read would only hold the last rows back. The last chunk finishes the listing.
    if (!m_pending.empty()) {
        applyPending();
        return;
    }
    m_state = State::Idle;
    m_whole = m_endError == 0 && !m_stopped;
    m_store.shrinkToFit();
    emit listed(m_endError, m_endMessage);
    if (m_endError != 0) m_refreshQueued = false;
    resume();
}

void FolderListing::resume() {
    applyPending();
    maybeFinish();
    if (m_state != State::Idle || sortWaiting()) return;
    if (m_refreshQueued) {
        refresh();
    } else if (!m_namesQueued.empty() && !m_namesRunning) {
        startNames();
    }
}

void FolderListing::refresh() {
    if (!m_source) return;
    if (m_state != State::Idle || sortWaiting()) {
        m_refreshQueued = true;
        return;
    }
    m_refreshQueued = false;
    // Every change named so far happened before this listing reads the folder: it sees them all,
    // and what a names refresh still running brings back may be older than what it reads.
    m_namesQueued.clear();
    m_namesRunning = false;
    m_namesInFlight.clear();
    ++m_namesTicket;
    m_state = State::Refreshing;
    const quint64 generation = m_generation;
    Receiver receiver = m_receiver;
    // The batches arrive one after another on the source's thread and the end is reported after the
    // last of them, so the list is complete, and no longer touched, when the UI thread reads it.
    auto fresh = std::make_shared<std::vector<DirEntry>>();
    m_source->start(
        [fresh](std::vector<DirEntry>&& batch) {
            fresh->insert(fresh->end(), std::make_move_iterator(batch.begin()),
                          std::make_move_iterator(batch.end()));
        },
        [this, receiver, fresh, generation](int error, const std::string& message) {
            receiver.post([this, fresh, generation, error, text = QString::fromStdString(message)] {
                if (generation == m_generation) compareRefresh(std::move(*fresh), error, text);
            });
        });
}

void FolderListing::compareRefresh(std::vector<DirEntry>&& fresh, int error, const QString& message) {
    if (error != 0) {
        m_state = State::Idle;
        m_whole = false;
        m_refreshQueued = false;
        emit listed(error, message);
        return;
    }
    // Comparing every entry of a big folder with the new listing takes a tenth of a second at
    // 200,000 entries: a worker does it, and the UI thread applies only what changed.
    using Snapshot = std::shared_ptr<const std::vector<DirEntry>>;
    const quint64 generation = m_generation;
    const std::uint64_t version = m_store.version();
    runInBackground(
        this,
        [held = m_store.snapshot(), fresh = std::move(fresh)]() mutable {
            RowStore::ListingDiff diff = RowStore::diffListing(*held, std::move(fresh));
            // The snapshot goes back to be let go on the UI thread (see FolderModel::prepareNameFilter).
            return std::make_pair(std::move(diff), std::move(held));
        },
        [this, generation, version](std::pair<RowStore::ListingDiff, Snapshot>&& done) {
            // Let go before the rows change: while it is held, the row store copies every entry
            // before writing one.
            done.second.reset();
            if (generation == m_generation) applyRefresh(std::move(done.first), version);
        },
        false);
}

void FolderListing::applyRefresh(RowStore::ListingDiff&& diff, std::uint64_t version) {
    m_state = State::Idle;
    // Nothing but this class changes the entries, and nothing does while a refresh runs; should that
    // ever change, the folder is read again rather than a stale difference applied.
    if (version != m_store.version()) {
        m_refreshQueued = true;
        resume();
        return;
    }
    m_play(m_store.remove(diff.gone));
    m_play(m_store.update(diff.changed));
    m_play(m_store.insert(std::move(diff.added)));
    m_whole = true;
    emit refreshed();
    resume();
}

void FolderListing::refreshNames(const std::vector<std::string>& names) {
    if (!m_source || names.empty()) return;
    m_namesQueued.insert(m_namesQueued.end(), names.begin(), names.end());
    // While a listing runs the names wait for its end: it may or may not have read them yet.
    if (m_state == State::Idle && !m_namesRunning && !sortWaiting()) startNames();
}

void FolderListing::startNames() {
    std::vector<std::string> names = std::move(m_namesQueued);
    m_namesQueued.clear();
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    m_namesRunning = true;
    m_namesInFlight = names;
    const quint64 ticket = ++m_namesTicket;
    Receiver receiver = m_receiver;
    m_source->refreshNames(
        std::move(names),
        [this, receiver, ticket](int error, std::vector<DirEntry>&& found, std::vector<std::string>&& gone) {
            auto f = std::make_shared<std::vector<DirEntry>>(std::move(found));
            auto g = std::make_shared<std::vector<std::string>>(std::move(gone));
            receiver.post([this, ticket, error, f, g] {
                if (ticket == m_namesTicket) applyNames(error, std::move(*f), std::move(*g));
            });
        });
}

void FolderListing::applyNames(int error, std::vector<DirEntry>&& found, std::vector<std::string>&& gone) {
    m_namesRunning = false;
    m_namesInFlight.clear();
    // An error means the folder itself is gone or unreadable: its watch reports that on its own.
    if (error == 0) {
        m_play(m_store.remove(gone));
        m_play(m_store.update(found));
        m_play(m_store.insert(std::move(found)));
        emit refreshed();
    }
    resume();
}

void FolderListing::sortBy(const EntrySorter& next) {
    if (next == m_sorter) return;  // the rows are in that order, or are getting it
    m_sorter = next;
    if (!sortWaiting()) {
        resume();  // back to the order the rows have: what waited for the other one goes on
    } else if (m_store.sorted().size() > kSyncSortLimit || m_sortRunning) {
        startSort();
    } else {
        m_play(m_store.setSorter(next));
        resume();
    }
}

void FolderListing::startSort() {
    // One worker at a time: one still running comes back with an order that is no longer wanted,
    // and the wanted one is started then.
    if (m_sortRunning) return;
    m_sortRunning = true;
    const quint64 generation = m_generation;
    std::shared_ptr<const std::vector<DirEntry>> entries = m_store.snapshot();
    const std::uint64_t version = m_store.version();  // after the snapshot, which may renumber
    Receiver receiver = m_receiver;
    background::runOnPool(
        [this, receiver, entries = std::move(entries), sorter = m_sorter, version, generation] {
            auto order = std::make_shared<std::vector<std::uint32_t>>(sorter.order(*entries));
            receiver.post([this, order, sorter, version, generation] {
                if (generation == m_generation) sortDone(std::move(*order), sorter, version);
            });
        });
}

void FolderListing::sortDone(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy,
                             std::uint64_t version) {
    m_sortRunning = false;
    if (!sortWaiting()) return;
    RowChanges changes;
    // Another order is wanted now, or the entries changed while they were sorted: sort again.
    if (!(sortedBy == m_sorter) || !m_store.applyOrder(std::move(order), sortedBy, version, changes)) {
        startSort();
        return;
    }
    m_play(changes);
    resume();
}

}  // namespace kv
