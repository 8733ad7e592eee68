#pragma once
// An index from a 32-bit key (an id, or a hash of a path or a name) to row numbers, several
// rows per key allowed: an open-addressing table with linear probing in one flat array of
// 8-byte slots, so that a look-up or an insert in a table of the whole sync directory touches
// one or two cache lines instead of a chain of separately allocated nodes. Not thread-safe.

#include <cstdint>
#include <vector>

class CRowIndex {
  public:
    void Clear();
    // Room for that many entries without growing.
    void Reserve(std::size_t entries);
    void Insert(std::uint32_t key, std::uint32_t row);
    void Erase(std::uint32_t key, std::uint32_t row);

    // Calls visit(row) for every row stored under the key, in no particular order.
    template <class Visit>
    void ForEach(std::uint32_t key, Visit visit) const {
        if (m_slots.empty()) {
            return;
        }
        for (std::size_t i = Home(key);; i = (i + 1) & Mask()) {
            const Slot& slot = m_slots[i];
            if (slot.row == kEmpty) {
                return;
            }
            if (slot.row != kErased && slot.key == key) {
                visit(slot.row);
            }
        }
    }

  private:
    struct Slot {
        std::uint32_t key = 0;
        std::uint32_t row = kEmpty;
    };
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    static constexpr std::uint32_t kErased = 0xFFFFFFFE;

    std::size_t Mask() const { return m_slots.size() - 1; }
    std::size_t Home(std::uint32_t key) const;
    // Doubles (or first sizes) the table and puts every entry back, dropping erased slots.
    void Grow(std::size_t minimumSlots);

    std::vector<Slot> m_slots;
    std::size_t m_uUsed = 0;  // live and erased slots: what probing has to step over
    std::size_t m_uLive = 0;
};
