#include "platform/fs/listing/namelookups.h"

#include <utility>

#include "platform/fs/core/background.h"

namespace kv {

void NameLookups::Reply::send(int error, std::vector<DirEntry>& found, std::vector<std::string>& gone) const {
    m_slot->call(error, &found, &gone);
    // Detached once answered, so the list of lookups can forget it.
    m_slot->detach();
}

void NameLookups::run(ListingSource::NamesFn onNames, LookFn look) {
    std::erase_if(m_slots, [](const std::shared_ptr<Slot>& s) { return !s->attached(); });
    auto slot = Slot::make([onNames = std::move(onNames)](int error, std::vector<DirEntry>* found,
                                                          std::vector<std::string>* gone) {
        onNames(error, std::move(*found), std::move(*gone));
    });
    m_slots.push_back(slot);
    background::runDetached([slot, look = std::move(look)] { look(Reply(slot)); });
}

void NameLookups::cancel() {
    for (auto& slot : m_slots) slot->detach();
    m_slots.clear();
}

}  // namespace kv
