#include "platform/fs/listing/folderlistingsource.h"

#include <cerrno>
#include <utility>

#include "platform/fs/core/background.h"
#include "platform/fs/core/errortext.h"
#include "platform/fs/listing/folderlister.h"

namespace kv {

FolderListingSource::FolderListingSource(std::string path) : m_path(std::move(path)) {}

FolderListingSource::~FolderListingSource() {
    cancel();
}

ListingSourceFactory FolderListingSource::factory() {
    return [](const std::string& path) { return std::make_unique<FolderListingSource>(path); };
}

void FolderListingSource::stopListing() {
    if (m_listing) m_listing->detach();
    m_listing.reset();
}

void FolderListingSource::cancel() {
    stopListing();
    m_names.cancel();
}

void FolderListingSource::start(BatchFn onBatch, DoneFn onDone) {
    stopListing();
    m_listing = makeListingSlot(std::move(onBatch), std::move(onDone));
    // A folder on a hung mount blocks its listing: a detached thread that nobody waits for.
    // An entry that blocks is given up on and the listing goes on on another thread (see stream).
    background::runDetached([slot = m_listing, path = m_path] {
        FolderLister::stream(
            path, [slot](std::vector<DirEntry>&& batch) { return slot->call(&batch, 0, nullptr); },
            [slot](int error) {
                if (error == ECANCELED && !slot->attached()) return;
                const std::string message = error ? errorText(error) : std::string();
                slot->call(nullptr, error, &message);
            });
    });
}

void FolderListingSource::refreshNames(std::vector<std::string> names, NamesFn onNames) {
    m_names.run(std::move(onNames),
                [path = m_path, names = std::move(names)](const NameLookups::Reply& reply) {
                    std::vector<DirEntry> found;
                    std::vector<std::string> gone;
                    const int error = FolderLister::statNames(path, names, found, gone);
                    if (error) {
                        found.clear();
                        gone.clear();
                    }
                    reply.send(error, found, gone);
                });
}

}  // namespace kv
