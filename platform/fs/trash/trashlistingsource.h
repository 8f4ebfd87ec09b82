#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/listing/listingsource.h"
#include "platform/fs/listing/namelookups.h"
#include "platform/fs/trash/trashcatalog.h"
#include "platform/fs/trash/trashdirs.h"

namespace kv {

// The trash as one listing ("trash:/"): the items of the home trash and of every mounted volume's
// trash (TrashReader's rows), their records put into a catalog the model reads. Each trash folder is
// read on a thread of its own, so a volume on a hung mount holds back only its own rows: the listing
// ends once every folder is read, or once the home trash is and nothing has come for a while.
class TrashListingSource : public ListingSource {
  public:
    static constexpr std::string_view kLocation = "trash:/";
    static bool isLocation(std::string_view location) { return location == kLocation; }

    TrashListingSource(TrashDirs dirs, std::shared_ptr<TrashCatalog> catalog);
    ~TrashListingSource() override;
    TrashListingSource(const TrashListingSource&) = delete;
    TrashListingSource& operator=(const TrashListingSource&) = delete;

    void start(BatchFn onBatch, DoneFn onDone) override;
    // The names are the items' paths in the trash.
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override;
    void cancel() override;

    // How long the listing waits for a volume's trash that sends nothing (a hung mount).
    static constexpr int kStallMs = 10000;

  private:
    void stopListing();

    TrashDirs m_dirs;
    std::shared_ptr<TrashCatalog> m_catalog;
    std::shared_ptr<ListingSlot> m_listing;
    NameLookups m_names;
};

}  // namespace kv
