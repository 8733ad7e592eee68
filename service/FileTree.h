#pragma once
// The files and folders of every account's space: listing, creation, rename, move, deletion
// and replacement of content. Parent 0 is the root of a space; names are unique within a
// folder; ids are never reused.
//
// Thread-safe: every public operation takes the metadata store's lock and changes the store
// in one transaction. The *Locked operations are for callers that already hold it.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "service/ContentStore.h"
#include "service/MetaStore.h"
#include "service/ServiceRecords.h"

class CFileTree {
  public:
    struct TListing {
        int iCode = 0;
        std::vector<TEntry> entries;
    };
    struct TLookup {
        int iCode = 0;
        TEntry entry;
    };

    CFileTree(CMetaStore& store, CContentStore& content) : m_store(store), m_content(content) {}

    std::vector<TEntry> All(std::int64_t account);
    std::int64_t FileCount(std::int64_t account);
    // The items of one folder (0 for the root), by id.
    TListing Children(std::int64_t account, std::int64_t pid);
    TLookup Find(std::int64_t account, std::int64_t id);
    // Follows names from the root ("a/b/c.txt").
    TLookup Resolve(std::int64_t account, const std::string& path);

    // An existing folder of that name answers its own id, so a repeated request is harmless.
    TOutcome MakeFolder(std::int64_t account, std::int64_t pid, const std::string& name);
    // Deletes the items with everything below them; nothing when one id is unknown. removed,
    // when given, receives the entries deleted, as they were the moment they went.
    int Remove(std::int64_t account, const std::vector<std::int64_t>& ids,
               std::vector<TEntry>* removed = nullptr);
    int Rename(std::int64_t account, std::int64_t id, const std::string& name);
    // Moves into another folder, under a new name when one is given.
    int Move(std::int64_t account, std::int64_t id, std::int64_t pid, const std::string& name);
    // Gives an existing file new content (same id) or creates it; file is moved into the
    // content store.
    TOutcome Write(std::int64_t account, std::int64_t pid, const std::string& name,
                   const std::filesystem::path& file, std::int64_t size, const std::string& md5);

    // SVC_OK when pid is 0 or a folder of the account.
    int CheckParentLocked(const CMetaStore::CLock& lock, std::int64_t account, std::int64_t pid);
    // Creates a file entry for content the account already holds.
    std::int64_t AddFileLocked(const CMetaStore::CLock& lock, std::int64_t account,
                               std::int64_t pid, const std::string& name, std::int64_t size,
                               const std::string& md5);
    // Drops content no file of the account refers to any more.
    void ReleaseContentLocked(const CMetaStore::CLock& lock, std::int64_t account,
                              const std::string& md5, std::int64_t size);

  private:
    // Gives the entry its new parent (already checked) and name, with a new stamp.
    int MoveLocked(const CMetaStore::CLock& lock, TEntry entry, std::int64_t pid,
                   const std::string& name);

    CMetaStore& m_store;
    CContentStore& m_content;
};

// The path of every entry from the root of its space, names joined with "/"; an entry whose
// parent is missing from the list gets no path.
std::unordered_map<std::int64_t, std::string> EntryPaths(const std::vector<TEntry>& entries);
