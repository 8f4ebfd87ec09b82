#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

// Finds an entry of a list by its name, compared without regard to ASCII case, in constant time on
// average. The list keeps the names and only ever grows; the index keeps positions. Its hash is keyed
// afresh in every process, so that no file can choose names that collide and make reading it slow.
class NameIndex {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // `nameAt(i)` gives the name at position i of the list.
    template <typename NameAt>
    std::size_t find(std::string_view name, const NameAt& nameAt) const {
        return m_slots.empty() ? npos : lookUp(name, hashFolded(name), nameAt);
    }

    // The position of the entry named `name`, and false; or, when there is none, `next` (where the
    // caller now adds it) and true.
    template <typename NameAt>
    std::pair<std::size_t, bool> findOrAdd(std::string_view name, std::size_t next, const NameAt& nameAt) {
        const std::uint32_t hash = hashFolded(name);
        if (const std::size_t found = m_slots.empty() ? npos : lookUp(name, hash, nameAt); found != npos) {
            return {found, false};
        }
        add(hash, next);
        return {next, true};
    }

  private:
    struct Slot {
        std::uint32_t position = 0;  // the entry's position + 1; 0 marks a free slot
        std::uint32_t hash = 0;
    };

    static std::uint32_t hashFolded(std::string_view s);
    static bool sameFolded(std::string_view a, std::string_view b);

    template <typename NameAt>
    std::size_t lookUp(std::string_view name, std::uint32_t hash, const NameAt& nameAt) const {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.position == 0) {
                return npos;
            }
            if (slot.hash == hash && sameFolded(nameAt(slot.position - 1), name)) {
                return slot.position - 1;
            }
        }
    }
    void add(std::uint32_t hash, std::size_t position);
    void place(Slot slot);

    std::vector<Slot> m_slots;  // a power of two in size, at most half used
    std::size_t m_used = 0;
};

}  // namespace kv
