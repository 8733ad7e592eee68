#pragma once
// Appends a stream of data to a file and folds it into an MD5 on a thread of its own, so that
// receiving the next piece of an upload overlaps with writing and hashing the last one.
//
// One thread calls Write() and Finish(); the writer's own thread does the file writes and the
// hashing. Holds at most four blocks of 1 MiB.

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "service/ServiceCrypto.h"

class CBlockWriter {
  public:
    // Opens file for appending; md5 is the state of what the file already holds, or nullopt
    // when it is not known (nothing is hashed then).
    CBlockWriter(const std::filesystem::path& file, std::optional<CMd5Stream> md5);
    ~CBlockWriter();
    CBlockWriter(const CBlockWriter&) = delete;
    CBlockWriter& operator=(const CBlockWriter&) = delete;

    // false once a write has failed; what follows is not written.
    bool Write(const char* data, std::size_t size);
    // Writes what is left and closes the file; false when any write failed.
    bool Finish();
    // The MD5 of the whole file after Finish(), when it was known at the start.
    const std::optional<CMd5Stream>& Md5() const { return m_md5; }

  private:
    void HandOver();
    void Run();

    std::FILE* m_pFile;
    std::optional<CMd5Stream> m_md5;  // the worker's until Finish()
    std::vector<char> m_current;      // the block being filled, the caller's

    std::mutex m_mutex;  // guards the five below
    std::condition_variable m_changed;
    std::deque<std::vector<char>> m_full;
    std::vector<std::vector<char>> m_spare;  // written blocks, kept to be filled again
    std::size_t m_iInFlight = 0;             // blocks handed over and not yet written
    bool m_bFailed = false;
    bool m_bClosing = false;

    std::thread m_thread;
    bool m_bFinished = false;
};
