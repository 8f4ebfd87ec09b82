#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/core/callbackslot.h"
#include "platform/fs/listing/direntry.h"
#include "platform/fs/listing/listingsource.h"

namespace kv {

// A listing source's refreshNames() calls that have not answered yet. Each looks on a thread of its own
// that nobody waits for (the names may lie on a hung mount) and answers once; cancel() stops every
// answer at once: once it returns, no onNames runs or starts any more.
class NameLookups {
    using Slot = CallbackSlot<int, std::vector<DirEntry>*, std::vector<std::string>*>;

  public:
    // A lookup's way back, handed to its thread.
    class Reply {
      public:
        // False once the lookups are cancelled: a long lookup may stop early (its answer would be dropped).
        bool wanted() const { return m_slot->attached(); }
        // Hands the answer to onNames (unless cancelled). Once: the lookup is then over and forgotten.
        void send(int error, std::vector<DirEntry>& found, std::vector<std::string>& gone) const;

      private:
        friend class NameLookups;
        explicit Reply(std::shared_ptr<Slot> slot) : m_slot(std::move(slot)) {}
        std::shared_ptr<Slot> m_slot;
    };
    using LookFn = std::function<void(const Reply& reply)>;

    // Runs look on a detached thread; what it sends goes to onNames.
    void run(ListingSource::NamesFn onNames, LookFn look);
    void cancel();

  private:
    std::vector<std::shared_ptr<Slot>> m_slots;
};

}  // namespace kv
