#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/fs/listing/listingsource.h"
#include "platform/fs/listing/namelookups.h"

namespace kv {

// A folder on disk: FolderLister's listing and statNames on threads of their own.
class FolderListingSource : public ListingSource {
  public:
    explicit FolderListingSource(std::string path);
    ~FolderListingSource() override;
    FolderListingSource(const FolderListingSource&) = delete;
    FolderListingSource& operator=(const FolderListingSource&) = delete;

    void start(BatchFn onBatch, DoneFn onDone) override;
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override;
    void cancel() override;

    static ListingSourceFactory factory();

  private:
    void stopListing();

    std::string m_path;
    std::shared_ptr<ListingSlot> m_listing;
    NameLookups m_names;
};

}  // namespace kv
