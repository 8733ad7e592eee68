#include "store/RowIndex.h"

#include <utility>

namespace {
constexpr std::size_t kMinimumSlots = 64;
}

void CRowIndex::Clear() {
    m_slots.clear();
    m_uUsed = 0;
    m_uLive = 0;
}

std::size_t CRowIndex::Home(std::uint32_t key) const {
    // Fibonacci hashing spreads sequential ids and weak hashes over the whole table.
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & Mask();
}

void CRowIndex::Reserve(std::size_t entries) {
    // At most half the slots in use keeps the probe sequences short.
    if (entries * 2 > m_slots.size()) {
        Grow(entries * 2);
    }
}

void CRowIndex::Grow(std::size_t minimumSlots) {
    std::size_t size = kMinimumSlots;
    while (size < minimumSlots) {
        size *= 2;
    }
    std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(size));
    m_uUsed = 0;
    m_uLive = 0;
    for (const Slot& slot : old) {
        if (slot.row != kEmpty && slot.row != kErased) {
            Insert(slot.key, slot.row);
        }
    }
}

void CRowIndex::Insert(std::uint32_t key, std::uint32_t row) {
    if ((m_uUsed + 1) * 2 > m_slots.size()) {
        // Erased slots are dropped on the way: the table only grows for live entries.
        Grow((m_uLive + 1) * 4);
    }
    std::size_t i = Home(key);
    while (m_slots[i].row != kEmpty) {
        i = (i + 1) & Mask();
    }
    m_slots[i] = {key, row};
    ++m_uUsed;
    ++m_uLive;
}

void CRowIndex::Erase(std::uint32_t key, std::uint32_t row) {
    if (m_slots.empty()) {
        return;
    }
    for (std::size_t i = Home(key); m_slots[i].row != kEmpty; i = (i + 1) & Mask()) {
        if (m_slots[i].row == row && m_slots[i].key == key) {
            // The slot stays occupied for the probes that pass it; Grow drops it.
            m_slots[i].row = kErased;
            --m_uLive;
            return;
        }
    }
}
