#pragma once
// File status, reading, atomic replacement, appending, renaming and removal on the native file
// system. Symbolic links are not followed (ReadFile excepted): a link is reported, read, renamed
// and removed as itself.
//
// Results are 0 or the errno value of the failing call. Every function is thread-safe.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

class CRootedPath;

struct FileStatus {
    bool bExists = false;
    bool bFolder = false;
    bool bRegular = false;  // a plain file: not a folder, link, pipe, socket or device
    std::uint64_t size = 0;
    std::time_t modifyTime = 0;
    // The file's identity and last change (content, name or mode) in nanoseconds: a reader that
    // keeps what it parsed knows from these whether the file is still the one it read.
    std::uint64_t device = 0;
    std::uint64_t fileId = 0;
    std::int64_t changeNanos = 0;
};

// Status of the item itself (lstat). bExists is false when it cannot be examined.
FileStatus GetFileStatus(const std::filesystem::path& path);
// The same for the item name in the open folder folderFd.
FileStatus GetFileStatusAt(int folderFd, const char* name);

// Creates the folder and every missing parent (0700).
int CreateFolders(const std::filesystem::path& folder);

// Names of the items in a folder (without "." and ".."), in directory order.
int ListFolder(const std::filesystem::path& folder, std::vector<std::filesystem::path>& names);
// The same for an open folder; the descriptor is taken over and closed.
int ListOpenFolder(int folderFd, std::vector<std::string>& names);

// Renames oldPath to newPath without replacing: EEXIST when newPath is already taken, so that
// a rename never destroys another item.
int RenameNoReplace(const std::filesystem::path& oldPath, const std::filesystem::path& newPath);

// Reads the whole file; a link is followed here, so that a settings file may live elsewhere.
// ENOENT when it does not exist, EINVAL when it is not a plain file.
int ReadFile(const std::filesystem::path& path, std::string& data);

// Removes a file, a link or a folder with everything below it, permanently.
int RemoveTree(const std::filesystem::path& path);

// Replaces the file's content in one step: the data goes to a temporary file beside it, which
// is flushed to disk and renamed over the file, so a reader sees the old or the new content and
// never a part. The file gets the given mode.
int WriteFileAtomic(const std::filesystem::path& path, std::string_view data, unsigned mode);

// Appends data to the file. A file that does not exist yet is created (0600) holding header
// and data; it appears under its name complete, so another writer never appends to it before
// the header is there.
int AppendToFile(const std::filesystem::path& path, std::string_view data, std::string_view header);

// A plain file opened for reading. Open refuses folders, links, pipes and devices (EINVAL for
// those), so reading never blocks on a pipe or follows a link out of the folder.
class CReadOnlyFile {
  public:
    CReadOnlyFile() = default;
    ~CReadOnlyFile();
    CReadOnlyFile(const CReadOnlyFile&) = delete;
    CReadOnlyFile& operator=(const CReadOnlyFile&) = delete;

    int Open(const std::filesystem::path& path);
    // The same for an item reached below the sync directory without following links.
    int Open(const CRootedPath& item);
    // Bytes read (0 at the end of the file), or -1 with errno set.
    long long Read(void* buffer, std::size_t size);

  private:
    // Keeps fd when it is a plain file, else closes it (EINVAL).
    int Take(int fd);

    int m_iFd = -1;
};

}  // namespace plat
