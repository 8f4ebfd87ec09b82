#include "platform/fs/search/searchlistingsource.h"

#include <utility>

#include "platform/fs/search/searchwalk.h"

namespace kv {

SearchListingSource::SearchListingSource(std::string root, SearchQuery query,
                                         std::shared_ptr<SearchStats> stats, int threads)
    : m_root(std::move(root)),
      m_query(std::move(query)),
      m_stats(stats ? std::move(stats) : std::make_shared<SearchStats>()),
      m_threads(threads) {}

SearchListingSource::~SearchListingSource() {
    cancel();
}

void SearchListingSource::stopWalk() {
    // Detached first: once it returns no callback runs; the walkers notice the cancel on their own.
    if (m_listing) m_listing->detach();
    m_listing.reset();
    if (m_walk) m_walk->cancel();
    m_walk.reset();
}

void SearchListingSource::cancel() {
    stopWalk();
    m_names.cancel();
}

void SearchListingSource::start(BatchFn onBatch, DoneFn onDone) {
    stopWalk();
    // A new run counts afresh (a refresh of the results lists them all again).
    m_stats->folders = 0;
    m_stats->found = 0;
    m_stats->finished = false;
    m_listing = makeListingSlot(std::move(onBatch), std::move(onDone));
    m_walk = SearchWalk::start(
        m_root, m_query, m_stats,
        [slot = m_listing](std::vector<DirEntry>&& batch) { return slot->call(&batch, 0, nullptr); },
        [slot = m_listing](int error, const std::string& message) { slot->call(nullptr, error, &message); },
        m_threads);
}

void SearchListingSource::refreshNames(std::vector<std::string> names, NamesFn onNames) {
    m_names.run(std::move(onNames),
                [root = m_root, query = m_query, names = std::move(names)](const NameLookups::Reply& reply) {
                    std::vector<DirEntry> found;
                    std::vector<std::string> gone;
                    for (const std::string& name : names) {
                        if (!reply.wanted()) return;
                        DirEntry e;
                        if (SearchWalk::test(root, query, name, e))
                            found.push_back(std::move(e));
                        else
                            gone.push_back(name);
                    }
                    reply.send(0, found, gone);
                });
}

}  // namespace kv
