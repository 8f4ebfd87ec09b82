#include "platform/fs/trash/trashlistingsource.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

#include "platform/fs/core/background.h"
#include "platform/fs/core/errortext.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/trash/trashreader.h"

namespace kv {

namespace {

using ListingSlot = ListingSource::ListingSlot;

// One listing shared by its threads: the coordinator and one reader per place (home, each volume).
struct Run {
    std::shared_ptr<ListingSlot> slot;
    std::shared_ptr<TrashCatalog> catalog;
    std::mutex mutex;
    std::condition_variable changed;
    int pending = 0;  // readers still reading
    bool homePending = true;
    std::uint64_t events = 0;  // rows delivered or readers done: a reader that adds none stalls
    bool closed = false;       // the end was reported: late readers' rows are dropped
    int homeError = 0;
    std::set<std::pair<dev_t, ino_t>> seen;  // a folder reached twice (bind mounts) is read once

    // Hands one folder's rows over. Batches go one at a time and never after the end, as a
    // listing's callbacks promise.
    void deliver(const TrashDirs::Dir& dir, bool isHome) {
        struct stat st {};
        if (::stat(dir.path.c_str(), &st) != 0) return;
        {
            std::lock_guard lock(mutex);
            if (closed || !seen.insert({st.st_dev, st.st_ino}).second) return;
        }
        std::vector<DirEntry> entries;
        std::vector<TrashRecord> records;
        const int error = TrashReader::list(dir, entries, records);
        std::lock_guard lock(mutex);
        if (isHome && error != 0 && error != ENOENT) homeError = error;
        if (closed) return;
        catalog->addFolder(paths::join(dir.path, "files"));
        catalog->add(std::move(records));
        if (!entries.empty()) slot->call(&entries, 0, nullptr);
        ++events;
        changed.notify_all();
    }
    void readerDone(bool isHome) {
        std::lock_guard lock(mutex);
        --pending;
        ++events;
        if (isHome) homePending = false;
        changed.notify_all();
    }
};

}  // namespace

TrashListingSource::TrashListingSource(TrashDirs dirs, std::shared_ptr<TrashCatalog> catalog)
    : m_dirs(std::move(dirs)), m_catalog(std::move(catalog)) {}

TrashListingSource::~TrashListingSource() {
    cancel();
}

void TrashListingSource::stopListing() {
    if (m_listing) m_listing->detach();
    m_listing.reset();
}

void TrashListingSource::cancel() {
    stopListing();
    m_names.cancel();
}

void TrashListingSource::start(BatchFn onBatch, DoneFn onDone) {
    stopListing();
    m_listing = makeListingSlot(std::move(onBatch), std::move(onDone));
    auto run = std::make_shared<Run>();
    run->slot = m_listing;
    run->catalog = m_catalog;
    background::runDetached([run, dirs = m_dirs] {
        FsOps ops;
        // The mount table is a file in /proc: reading it touches no volume.
        const std::vector<std::string> tops = dirs.topDirs();
        run->pending = static_cast<int>(tops.size()) + 1;
        background::runDetached([run, dirs] {
            FsOps ops;
            for (const TrashDirs::Dir& d : dirs.home(ops)) run->deliver(d, true);
            run->readerDone(true);
        });
        for (const std::string& top : tops) {
            background::runDetached([run, top] {
                FsOps ops;
                for (const TrashDirs::Dir& d : TrashDirs::ofVolume(ops, top)) run->deliver(d, false);
                run->readerDone(false);
            });
        }
        std::unique_lock lock(run->mutex);
        // The home trash is waited for as a folder's listing is; a volume that sends nothing for a
        // while is left behind, so one hung mount does not keep the trash from ever being listed.
        while (run->pending > 0 && run->slot->attached()) {
            const std::uint64_t before = run->events;
            const bool woken = run->changed.wait_for(lock, std::chrono::milliseconds(kStallMs),
                                                     [&] { return run->events != before; });
            if (!woken && !run->homePending) break;
        }
        run->closed = true;
        const int error = run->homeError;
        const std::string message = error ? errorText(error) : std::string();
        run->slot->call(nullptr, error, &message);
    });
}

void TrashListingSource::refreshNames(std::vector<std::string> names, NamesFn onNames) {
    m_names.run(std::move(onNames), [dirs = m_dirs, catalog = m_catalog,
                                     names = std::move(names)](const NameLookups::Reply& reply) {
        std::vector<DirEntry> found;
        std::vector<std::string> gone;
        std::vector<TrashRecord> records;
        for (const std::string& name : names) {
            // .../TRASH/files/NAME: the trash folder is two levels up.
            const TrashDirs::Dir dir = dirs.dirOf(paths::parentOf(paths::parentOf(name)));
            DirEntry e;
            TrashRecord r;
            if (TrashReader::look(dir, name, e, r)) {
                found.push_back(std::move(e));
                records.push_back(std::move(r));
            } else {
                gone.push_back(name);
            }
        }
        catalog->add(std::move(records));
        reply.send(0, found, gone);
    });
}

}  // namespace kv
