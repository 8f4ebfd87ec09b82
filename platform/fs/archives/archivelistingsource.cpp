#include "platform/fs/archives/archivelistingsource.h"

#include <algorithm>
#include <cerrno>

#include "platform/fs/core/background.h"
#include "platform/fs/core/errortext.h"

namespace kv {

ArchiveListingSource::ArchiveListingSource(std::string location, std::shared_ptr<ArchiveIndexCache> cache)
    : m_location(std::move(location)),
      m_cache(cache ? std::move(cache) : std::make_shared<ArchiveIndexCache>()) {}

ArchiveListingSource::~ArchiveListingSource() {
    cancel();
}

void ArchiveListingSource::stopListing() {
    if (m_cancelled) m_cancelled->store(true);
    if (m_listing) m_listing->detach();
    m_listing.reset();
}

void ArchiveListingSource::cancel() {
    stopListing();
    m_names.cancel();
}

std::string ArchiveListingSource::problemText(const ArchiveIndex& index) {
    if (index.error() == EILSEQ) return "It is not an archive, or one of a kind that cannot be read.";
    if (index.error() != 0) return errorText(index.error());
    if (index.damaged() && index.items().empty() && index.damage().find("assphrase") != std::string::npos)
        return "The archive is encrypted, the names of its items too: it cannot be shown without its "
               "password.";
    if (index.damaged())
        return "The archive is damaged; only what could be read before the damage is shown (" +
               index.damage() + ").";
    return {};
}

void ArchiveListingSource::start(BatchFn onBatch, DoneFn onDone) {
    stopListing();
    m_listing = makeListingSlot(std::move(onBatch), std::move(onDone));
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    // The archive may lie on a hung mount: a thread of its own, which nobody waits for.
    background::runDetached(
        [slot = m_listing, cancelled = m_cancelled, cache = m_cache, location = m_location] {
            const std::optional<ArchiveLocation> where = ArchiveLocation::parse(location);
            if (!where) {
                const std::string message = errorText(EINVAL);
                slot->call(nullptr, EINVAL, &message);
                return;
            }
            const std::shared_ptr<const ArchiveIndex> index = cache->get(where->archive, cancelled.get());
            if (!slot->attached()) return;
            bool found = false;
            std::vector<DirEntry> entries = index->list(where->inner, &found);
            if (!entries.empty()) slot->call(&entries, 0, nullptr);
            int error = index->error() ? index->error() : index->damaged() ? EIO : 0;
            std::string message = problemText(*index);
            if (error == 0 && !found) {
                error = ENOENT;
                message = "The archive has no folder “" + where->inner + "”.";
            }
            slot->call(nullptr, error, &message);
        });
}

void ArchiveListingSource::refreshNames(std::vector<std::string> names, NamesFn onNames) {
    m_names.run(std::move(onNames), [cache = m_cache, location = m_location,
                                     names = std::move(names)](const NameLookups::Reply& reply) {
        std::vector<DirEntry> found;
        std::vector<std::string> gone;
        const std::optional<ArchiveLocation> where = ArchiveLocation::parse(location);
        const std::shared_ptr<const ArchiveIndex> index =
            where ? cache->get(where->archive) : std::shared_ptr<const ArchiveIndex>();
        if (!index || index->error() != 0) {
            reply.send(index ? index->error() : EINVAL, found, gone);
            return;
        }
        const std::vector<DirEntry> all = index->list(where->inner);
        for (const std::string& name : names) {
            auto it = std::find_if(all.begin(), all.end(), [&](const DirEntry& e) { return e.name == name; });
            if (it != all.end())
                found.push_back(*it);
            else
                gone.push_back(name);
        }
        reply.send(0, found, gone);
    });
}

}  // namespace kv
