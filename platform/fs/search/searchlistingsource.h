#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/fs/listing/listingsource.h"
#include "platform/fs/listing/namelookups.h"
#include "platform/fs/search/searchquery.h"
#include "platform/fs/search/searchstats.h"

namespace kv {

class SearchWalk;

// A search's results as a listing: SearchWalk below a start folder, its rows named by their paths
// relative to the start. Refreshing names looks at those results again and keeps only the ones that
// still exist and match. The stats (folders searched, found, unreadable) can be read while it runs.
class SearchListingSource : public ListingSource {
  public:
    SearchListingSource(std::string root, SearchQuery query, std::shared_ptr<SearchStats> stats = {},
                        int threads = 3);
    ~SearchListingSource() override;
    SearchListingSource(const SearchListingSource&) = delete;
    SearchListingSource& operator=(const SearchListingSource&) = delete;

    void start(BatchFn onBatch, DoneFn onDone) override;
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override;
    void cancel() override;

    const std::shared_ptr<SearchStats>& stats() const { return m_stats; }

  private:
    void stopWalk();

    std::string m_root;
    SearchQuery m_query;
    std::shared_ptr<SearchStats> m_stats;
    int m_threads;
    std::shared_ptr<ListingSlot> m_listing;
    std::shared_ptr<SearchWalk> m_walk;
    NameLookups m_names;
};

}  // namespace kv
