#pragma once
// An index over one list of file records for the comparison's matching walks: for a key, the
// first record in list order that is not matched yet. It gives the pairs that a walk comparing
// every record with every other would give, in the same order, in time linear in the records.
//
// The index holds record numbers, not keys: an open-addressing table of 12-byte slots (a part of
// the key's hash and the first and last record of the key, two to four slots a record) and one
// link per record: 30 to 50 bytes a record, where a node-based map holding copies of the keys
// costs 60 to 80. Keys are read back from the list through keyOf whenever the hashes agree, so
// records whose hashes collide are never taken for one another.
//
// The list must not change while the index is in use, and it holds fewer than 2^32 - 1 records.
// Used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

template <class KeyOf, class Hash = std::hash<std::invoke_result_t<const KeyOf&, std::size_t>>>
class CFirstUnmatched {
  public:
    using Key = std::invoke_result_t<const KeyOf&, std::size_t>;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // keyOf(i): the key of record i of the count records of the list.
    CFirstUnmatched(std::size_t count, KeyOf keyOf, Hash hash = Hash())
        : m_next(count, kNone),
          m_matched(count, false),
          m_keyOf(std::move(keyOf)),
          m_hash(std::move(hash)) {
        std::size_t slots = 8;
        while (slots < 2 * count) {
            slots *= 2;
        }
        m_slots.resize(slots);
        for (std::size_t i = 0; i < count; ++i) {
            Insert(static_cast<std::uint32_t>(i));
        }
    }

    // The first record with the key that is not matched yet, or npos.
    std::size_t Find(const Key& key) {
        TSlot* slot = SlotOf(key, Mixed(key));
        if (slot == nullptr) {
            return npos;
        }
        std::uint32_t i = slot->first;
        while (i != kNone && m_matched[i]) {
            i = m_next[i];
        }
        slot->first = i;
        return i == kNone ? npos : i;
    }
    void Match(std::size_t i) { m_matched[i] = true; }
    bool Matched(std::size_t i) const { return m_matched[i]; }

  private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // The records of one key: the first not known to be matched, and the last (which stays, so
    // the slot's key can always be read back).
    struct TSlot {
        std::uint32_t hash = 0;
        std::uint32_t first = kNone;
        std::uint32_t last = kNone;
    };

    // The hash with its bits spread: hashes of numbers are often the numbers themselves, and
    // the table's position is taken from the high bits.
    std::uint64_t Mixed(const Key& key) const {
        std::uint64_t h = static_cast<std::uint64_t>(m_hash(key));
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        return h;
    }
    std::size_t Home(std::uint64_t mixed) const {
        return static_cast<std::size_t>((mixed * 0x9E3779B97F4A7C15ull) >> 32) &
               (m_slots.size() - 1);
    }

    // The slot of the key, or the empty slot where it belongs when empty is true.
    TSlot* Probe(const Key& key, std::uint64_t mixed, bool& bEmpty) {
        const std::uint32_t tag = static_cast<std::uint32_t>(mixed);
        for (std::size_t s = Home(mixed);; s = (s + 1) & (m_slots.size() - 1)) {
            TSlot& slot = m_slots[s];
            bEmpty = slot.last == kNone;
            if (bEmpty || (slot.hash == tag && m_keyOf(slot.last) == key)) {
                return &slot;
            }
        }
    }
    TSlot* SlotOf(const Key& key, std::uint64_t mixed) {
        bool bEmpty = false;
        TSlot* slot = Probe(key, mixed, bEmpty);
        return bEmpty ? nullptr : slot;
    }

    void Insert(std::uint32_t i) {
        const Key key = m_keyOf(i);
        const std::uint64_t mixed = Mixed(key);
        bool bEmpty = false;
        TSlot& slot = *Probe(key, mixed, bEmpty);
        if (bEmpty) {
            slot = TSlot{static_cast<std::uint32_t>(mixed), i, i};
            return;
        }
        m_next[slot.last] = i;
        slot.last = i;
    }

    std::vector<TSlot> m_slots;
    std::vector<std::uint32_t> m_next;
    std::vector<bool> m_matched;
    KeyOf m_keyOf;
    Hash m_hash;
};
