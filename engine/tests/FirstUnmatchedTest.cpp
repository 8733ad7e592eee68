// The comparison's matching index against a plain scan for the first unmatched record with the
// key: keys that repeat, keys whose hashes collide (all of them, or in part), and lists with
// no record at all.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/FirstUnmatched.h"

namespace {

// A hash that puts every key in one chain of slots and gives them one tag: only the key
// comparison tells the records apart.
struct TOneHash {
    std::size_t operator()(const std::string&) const { return 7; }
};
// Two hashes for ten keys.
struct TTwoHashes {
    std::size_t operator()(const std::string& key) const { return key.size() % 2; }
};

std::size_t FirstUnmatchedByScan(const std::vector<std::string>& keys,
                                 const std::vector<bool>& matched, const std::string& key) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!matched[i] && keys[i] == key) {
            return i;
        }
    }
    return static_cast<std::size_t>(-1);
}

// Random finds and matches over a list of repeating keys, checked step by step against the scan.
template <class Hash>
void CheckAgainstScan(unsigned seed, std::size_t count) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(count) + " records");
    std::mt19937 random(seed);
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < count; ++i) {
        keys.push_back(std::string(1 + pick(10), 'k'));
    }
    CFirstUnmatched index(
        keys.size(), [&keys](std::size_t i) { return keys[i]; }, Hash());
    std::vector<bool> matched(keys.size(), false);
    for (int step = 0; step < 400; ++step) {
        // Key lengths 1 to 12: 11 and 12 are never in the list.
        const std::string key(1 + pick(12), 'k');
        const std::size_t found = index.Find(key);
        ASSERT_EQ(found, FirstUnmatchedByScan(keys, matched, key)) << "step " << step;
        if (found != index.npos && pick(3) != 0) {
            index.Match(found);
            matched[found] = true;
        }
        for (std::size_t i = 0; i < keys.size(); ++i) {
            ASSERT_EQ(index.Matched(i), matched[i]);
        }
    }
}

TEST(FirstUnmatchedTest, GivesTheFirstUnmatchedRecordOfTheKeyAsAScanWould) {
    const unsigned seed = std::random_device{}();
    for (std::size_t count : {0, 1, 5, 300}) {
        CheckAgainstScan<std::hash<std::string>>(seed, count);
        CheckAgainstScan<TOneHash>(seed, count);
        CheckAgainstScan<TTwoHashes>(seed, count);
    }
}

TEST(FirstUnmatchedTest, DistinctNumbersThatShareTheirLowBitsEachFindTheirOwnRecord) {
    // Ids beside parent ids in one 64-bit key: many keys share their low 32 bits.
    std::vector<std::uint64_t> keys;
    for (std::uint64_t id = 1; id <= 2000; ++id) {
        keys.push_back(id << 32 | (id % 3));
    }
    CFirstUnmatched index(keys.size(), [&keys](std::size_t i) { return keys[i]; });
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(index.Find(keys[i]), i);
    }
    EXPECT_EQ(index.Find(std::uint64_t{2001} << 32 | 0), index.npos);
}

}  // namespace
