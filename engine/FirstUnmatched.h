#pragma once
// An index over one list of file records for the comparison's matching walks: for a key, the
// first record in list order that is not matched yet. It gives the pairs that a walk comparing
// every record with every other would give, in the same order, in time linear in the records.
//
// The list must not change while the index is in use. Used by one thread at a time.

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <vector>

template <class Key, class Hash = std::hash<Key>>
class CFirstUnmatched {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // keyOf(i): the key of record i of the count records of the list.
    template <class KeyOf>
    CFirstUnmatched(std::size_t count, KeyOf keyOf) : m_next(count, npos), m_matched(count, false) {
        m_chains.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            auto [it, inserted] = m_chains.try_emplace(keyOf(i), TChain{i, i});
            if (!inserted) {
                m_next[it->second.last] = i;
                it->second.last = i;
            }
        }
    }

    // The first record with the key that is not matched yet, or npos.
    std::size_t Find(const Key& key) {
        auto it = m_chains.find(key);
        if (it == m_chains.end()) {
            return npos;
        }
        std::size_t i = it->second.first;
        while (i != npos && m_matched[i]) {
            i = m_next[i];
        }
        it->second.first = i;
        return i;
    }
    void Match(std::size_t i) { m_matched[i] = true; }
    bool Matched(std::size_t i) const { return m_matched[i]; }

  private:
    // The records of one key: the first not known to be matched, and the last.
    struct TChain {
        std::size_t first;
        std::size_t last;
    };

    std::unordered_map<Key, TChain, Hash> m_chains;
    std::vector<std::size_t> m_next;
    std::vector<bool> m_matched;
};
