#pragma once
// Uploads: the check that registers a file under a storage name, the query of how much of it
// is held, the data that continues it, and the commit that checks it and creates the entry.
//
// The data of a storage name only ever grows at its end: data that does not start exactly
// where the held part ends is refused, never written elsewhere. One request at a time may
// transfer to a storage name (the others get SVC_BUSY). The MD5 reached by a transfer is kept
// in memory, so a commit after uninterrupted data need not read the file again; after a
// restart or an interruption the commit reads it.
//
// Thread-safe. Registrations survive restarts; so does a commit's result, so that a commit
// repeated by a client that missed the answer gets the same entry.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "service/AccountBook.h"
#include "service/BlockWriter.h"
#include "service/ContentStore.h"
#include "service/FileTree.h"
#include "service/MetaStore.h"
#include "service/ServiceCrypto.h"

class CUploadBook {
  public:
    struct TVerify {
        int iCode = 0;
        std::string strStorageName;
        std::int64_t iFileId = 0;  // SVC_CONTENT_HELD: the entry that holds the content
    };
    struct TState {
        int iCode = 0;
        std::int64_t iHeld = 0;
    };

    // One data request appending to a storage name. Finish() or the destructor ends it.
    class CPut {
      public:
        CPut(CUploadBook& book, std::string storageName, std::int64_t offset,
             std::int64_t remaining, std::optional<CMd5Stream> md5);
        ~CPut();
        CPut(const CPut&) = delete;
        CPut& operator=(const CPut&) = delete;

        // false when the data goes beyond the announced size or cannot be written.
        bool Append(const char* data, std::size_t size);
        // complete: the request's body arrived whole. Keeps what was written (so the next
        // attempt continues after it) and answers the code for the request.
        int Finish(bool complete);

      private:
        CUploadBook& m_book;
        std::string m_strStorageName;
        CBlockWriter m_writer;
        std::int64_t m_iOffset;
        std::int64_t m_iRemaining;
        std::int64_t m_iWritten = 0;
        bool m_bFailed = false;   // the file could not be written
        bool m_bTooLong = false;  // the body went past the announced size
        bool m_bFinished = false;
    };

    CUploadBook(CMetaStore& store, CContentStore& content, CFileTree& tree)
        : m_store(store), m_content(content), m_tree(tree) {}

    TVerify Verify(const TAccount& account, std::int64_t pid, std::int64_t size,
                   const std::string& md5, const std::string& name);
    TState State(const TAccount& account, const std::string& storageName);
    // Starts a data request at offset; end is the last byte position the request names (the
    // size, or the size minus one), nullopt when it names none; length is the body's length
    // when known. On a code other than SVC_OK the pointer is empty.
    std::pair<int, std::unique_ptr<CPut>> BeginPut(const std::string& storageName,
                                                   std::int64_t offset,
                                                   std::optional<std::int64_t> end,
                                                   std::optional<std::int64_t> length);
    TOutcome Commit(const TAccount& account, const std::string& storageName, std::int64_t pid,
                    const std::string& md5, const std::string& name);

  private:
    bool Claim(const std::string& storageName);
    void Release(const std::string& storageName);
    std::optional<std::string> ReceivedMd5(const std::string& storageName, std::int64_t size);
    TOutcome CreateEntry(const TAccount& account, const TUpload& upload, std::int64_t pid,
                         const std::string& md5, const std::string& name);

    CMetaStore& m_store;
    CContentStore& m_content;
    CFileTree& m_tree;

    std::mutex m_mutex;            // guards the two below
    std::set<std::string> m_busy;  // storage names being transferred
    std::map<std::string, std::pair<std::int64_t, CMd5Stream>> m_md5;  // MD5 at an offset
};
