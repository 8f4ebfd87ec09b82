#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/fs/listing/listingsource.h"
#include "platform/fs/remote/mountquestion.h"

namespace kv {

// A folder on a server (RemoteLocation) listed through GIO: the children are enumerated asynchronously
// on GIO's thread, a small first batch so that rows show at once, then larger ones. A location whose
// server is not mounted yet is mounted first, its questions (password, host key) asked through the
// asker, and listed once mounted. A listing cancelled while a question is open withdraws it. A server
// that stops answering ends the listing within kAnswerLimitMs.
class RemoteListingSource : public ListingSource {
  public:
    RemoteListingSource(std::string location, MountAsker asker);
    ~RemoteListingSource() override;
    RemoteListingSource(const RemoteListingSource&) = delete;
    RemoteListingSource& operator=(const RemoteListingSource&) = delete;

    void start(BatchFn onBatch, DoneFn onDone) override;
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override;
    void cancel() override;

    // The first batch, and each one after it.
    static constexpr int kFirstBatch = 64;
    static constexpr int kBatch = 512;
    // A server that has not answered a call for this long (a question to the person aside) is given up
    // on: the listing ends with ETIMEDOUT and says so.
    static constexpr int kAnswerLimitMs = 10000;

    struct Run;
    struct Names;

  private:
    void stopListing();

    std::string m_location;
    MountAsker m_asker;
    std::shared_ptr<Run> m_run;
    std::vector<std::shared_ptr<Names>> m_names;
};

}  // namespace kv
