#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/core/callbackslot.h"
#include "platform/fs/listing/direntry.h"

namespace kv {

// Where the rows of a folder view come from: a folder on disk today; an archive's folder, a search's
// results or the trash are further kinds. The model only ever sees this interface.
//
// Callbacks run on the source's own threads and should only hand the data over (post it to the UI
// thread). Once cancel() or the destructor returns, no callback runs or starts any more; neither waits
// for the filesystem (a source stuck on a hung mount is abandoned, its thread ends on its own later).
class ListingSource {
  public:
    using BatchFn = std::function<void(std::vector<DirEntry>&& batch)>;
    // error is 0 on success, else the errno of the failure; message is its text ("Permission denied").
    using DoneFn = std::function<void(int error, const std::string& message)>;
    // The named entries looked at again: those that exist (found) and those that do not (gone). error
    // is nonzero when nothing could be looked at (the folder itself is gone): found and gone are empty.
    using NamesFn =
        std::function<void(int error, std::vector<DirEntry>&& found, std::vector<std::string>&& gone)>;

    virtual ~ListingSource() = default;

    // Lists everything, in batches in no particular order, then reports the end once. A listing still
    // running is abandoned first (its callbacks stop).
    virtual void start(BatchFn onBatch, DoneFn onDone) = 0;

    // One slot carries both of start's callbacks to a listing thread: a batch (non-null entries) or
    // the end (non-null message). Detached on cancel, it calls nothing more.
    using ListingSlot = CallbackSlot<std::vector<DirEntry>*, int, const std::string*>;
    static std::shared_ptr<ListingSlot> makeListingSlot(BatchFn onBatch, DoneFn onDone) {
        return ListingSlot::make([onBatch = std::move(onBatch), onDone = std::move(onDone)](
                                     std::vector<DirEntry>* batch, int error, const std::string* message) {
            if (batch) {
                onBatch(std::move(*batch));
            } else {
                onDone(error, *message);
            }
        });
    }
    // Looks at the given names only. Independent of a running listing; several may run at once.
    virtual void refreshNames(std::vector<std::string> names, NamesFn onNames) = 0;
    // Stops every callback of this source at once.
    virtual void cancel() = 0;
};

// Makes the source for a location (raw bytes: a folder's path).
using ListingSourceFactory = std::function<std::unique_ptr<ListingSource>(const std::string& location)>;

}  // namespace kv
