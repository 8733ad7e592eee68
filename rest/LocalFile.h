#pragma once
// The local file of an upload or a download, with the result codes of the web API for the ways
// opening it can fail: 1002 when it does not exist, 1032 when another process holds it busy,
// 1001 for anything else (a folder or a link in its place, a link on the way, no permission,
// ...). The file is reached below the sync directory without following links
// (platform/RootedPath.h). Closed on destruction.
//
// Used by the one thread that runs the transfer.

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/RootedPath.h"

class CLocalFile {
  public:
    CLocalFile() = default;
    ~CLocalFile();
    CLocalFile(const CLocalFile&) = delete;
    CLocalFile& operator=(const CLocalFile&) = delete;

    // Opens an existing regular file for binary reading and learns its size.
    int OpenForReading(const plat::CRootedPath& item);
    // Opens the file for binary appending, creating it (0666 less the umask) if missing; the
    // size is what it already held.
    int OpenForAppending(const plat::CRootedPath& item);

    std::int64_t Size() const { return m_iSize; }
    bool Seek(std::int64_t offset);
    // Bytes read; 0 at the end. Sets Failed() on a read error.
    std::size_t Read(char* buffer, std::size_t size);
    // True when all bytes were written.
    bool Write(const char* data, std::size_t size);
    bool Failed() const { return m_bFailed; }
    // Flushes and closes; false when buffered data could not be written.
    bool Close();

  private:
    int Open(const plat::CRootedPath& item, const char* mode);

    std::FILE* m_pFile = nullptr;
    std::int64_t m_iSize = 0;
    bool m_bFailed = false;
};
