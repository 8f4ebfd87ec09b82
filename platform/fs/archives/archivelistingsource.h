#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/archives/archiveindexcache.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/listing/listingsource.h"
#include "platform/fs/listing/namelookups.h"

namespace kv {

// One folder inside an archive as a listing (see ArchiveLocation for the location's text): the
// archive's index is read off the calling thread (or taken from the cache), then the folder's entries
// come as one batch. Read-only. A damaged archive lists what could be read, then ends with EIO and
// says that it is damaged; an archive that cannot be read at all ends with the reason.
class ArchiveListingSource : public ListingSource {
  public:
    ArchiveListingSource(std::string location, std::shared_ptr<ArchiveIndexCache> cache);
    ~ArchiveListingSource() override;
    ArchiveListingSource(const ArchiveListingSource&) = delete;
    ArchiveListingSource& operator=(const ArchiveListingSource&) = delete;

    void start(BatchFn onBatch, DoneFn onDone) override;
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override;
    void cancel() override;

    // The end's message for an index that could not be read whole, empty when it was.
    static std::string problemText(const ArchiveIndex& index);

  private:
    void stopListing();

    std::string m_location;
    std::shared_ptr<ArchiveIndexCache> m_cache;
    std::shared_ptr<ListingSlot> m_listing;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    NameLookups m_names;
};

}  // namespace kv
