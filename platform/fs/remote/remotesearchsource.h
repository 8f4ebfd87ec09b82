#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/fs/listing/listingsource.h"
#include "platform/fs/search/searchquery.h"
#include "platform/fs/search/searchstats.h"

namespace kv {

// A search below a folder on a server, by name, kind, size and time, as SearchListingSource does on
// disk: one thread walks the server's folders through GIO (one listing at a time, as a server likes),
// its rows named by their paths relative to the start. Searching the files' content would mean reading
// every file over the network: check() refuses it.
class RemoteSearchSource : public ListingSource {
  public:
    RemoteSearchSource(std::string root, SearchQuery query, std::shared_ptr<SearchStats> stats = {});
    ~RemoteSearchSource() override;
    RemoteSearchSource(const RemoteSearchSource&) = delete;
    RemoteSearchSource& operator=(const RemoteSearchSource&) = delete;

    // Empty when the query can run on a server, else why not.
    static std::string check(const SearchQuery& query);

    void start(BatchFn onBatch, DoneFn onDone) override;
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override;
    void cancel() override;

    struct Walk;

  private:
    std::string m_root;
    SearchQuery m_query;
    std::shared_ptr<SearchStats> m_stats;
    std::shared_ptr<Walk> m_walk;
    using NamesSlot = CallbackSlot<std::vector<DirEntry>*, std::vector<std::string>*>;
    std::vector<std::shared_ptr<NamesSlot>> m_lookups;
};

}  // namespace kv
