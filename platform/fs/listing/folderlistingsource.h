#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/fs/core/callbackslot.h"
#include "platform/fs/listing/listingsource.h"

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
    using NamesSlot = CallbackSlot<int, std::vector<DirEntry>*, std::vector<std::string>*>;

    void stopListing();

    std::string m_path;
    std::shared_ptr<ListingSlot> m_listing;
    std::vector<std::shared_ptr<NamesSlot>> m_names;
};

}  // namespace kv
