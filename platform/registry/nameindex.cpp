#include "platform/registry/nameindex.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <random>

namespace kv {

namespace {

char lowerAsciiByte(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::uint64_t rotl(std::uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

struct SipKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

const SipKey& sipKey() {
    static const SipKey key = [] {
        try {
            std::random_device device;
            const auto draw = [&] { return (std::uint64_t{device()} << 32) | device(); };
            return SipKey{draw(), draw()};
        } catch (const std::exception&) {
            // Without a source of randomness, the clock still keeps the key from being known in advance.
            const auto now =
                static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            return SipKey{now, now * 0x9E3779B97F4A7C15ULL};
        }
    }();
    return key;
}

std::uint64_t foldedWord(std::string_view s, std::size_t at, std::size_t count) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < count; ++b) {
        word |= std::uint64_t{static_cast<unsigned char>(lowerAsciiByte(s[at + b]))} << (8 * b);
    }
    return word;
}

}  // namespace

// SipHash-1-3 of the folded bytes.
std::uint32_t NameIndex::hashFolded(std::string_view s) {
    const SipKey& k = sipKey();
    std::uint64_t v0 = 0x736f6d6570736575ULL ^ k.k0;
    std::uint64_t v1 = 0x646f72616e646f6dULL ^ k.k1;
    std::uint64_t v2 = 0x6c7967656e657261ULL ^ k.k0;
    std::uint64_t v3 = 0x7465646279746573ULL ^ k.k1;
    const auto round = [&] {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    };
    std::size_t at = 0;
    for (; at + 8 <= s.size(); at += 8) {
        const std::uint64_t m = foldedWord(s, at, 8);
        v3 ^= m;
        round();
        v0 ^= m;
    }
    const std::uint64_t last = (std::uint64_t{s.size() & 0xFF} << 56) | foldedWord(s, at, s.size() - at);
    v3 ^= last;
    round();
    v0 ^= last;
    v2 ^= 0xFF;
    round();
    round();
    round();
    const std::uint64_t h = v0 ^ v1 ^ v2 ^ v3;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool NameIndex::sameFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAsciiByte(x) == lowerAsciiByte(y);
           });
}

void NameIndex::add(std::uint32_t hash, std::size_t position) {
    if ((m_used + 1) * 2 > m_slots.size()) {
        std::vector<Slot> old(std::max<std::size_t>(8, m_slots.size() * 2));
        old.swap(m_slots);
        for (const Slot& slot : old) {
            if (slot.position != 0) {
                place(slot);
            }
        }
    }
    place(Slot{static_cast<std::uint32_t>(position + 1), hash});
    ++m_used;
}

void NameIndex::place(Slot slot) {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = slot.hash & mask;
    while (m_slots[i].position != 0) {
        i = (i + 1) & mask;
    }
    m_slots[i] = slot;
}

}  // namespace kv
