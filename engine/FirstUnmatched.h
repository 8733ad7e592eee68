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

#include "common/SyncRecords.h"

template <class Key, class Hash = std::hash<Key>>
class CFirstUnmatched {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    template <class KeyOf>
    CFirstUnmatched(const std::vector<TSyncFile>& list, KeyOf keyOf)
        : m_next(list.size(), npos), m_matched(list.size(), false) {
        m_first.reserve(list.size());
        std::unordered_map<Key, std::size_t, Hash> last;
        last.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            Key key = keyOf(list[i]);
            auto [it, inserted] = last.try_emplace(key, i);
            if (inserted) {
                m_first.emplace(key, i);
            } else {
                m_next[it->second] = i;
                it->second = i;
            }
        }
    }

    // The first record with the key that is not matched yet, or npos.
    std::size_t Find(const Key& key) {
        auto it = m_first.find(key);
        if (it == m_first.end()) {
            return npos;
        }
        std::size_t i = it->second;
        while (i != npos && m_matched[i]) {
            i = m_next[i];
        }
        it->second = i;
        return i;
    }
    void Match(std::size_t i) { m_matched[i] = true; }
    bool Matched(std::size_t i) const { return m_matched[i]; }

  private:
    std::unordered_map<Key, std::size_t, Hash> m_first;
    std::vector<std::size_t> m_next;
    std::vector<bool> m_matched;
};
