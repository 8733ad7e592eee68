#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/RootedPath.h"

namespace plat {

namespace {

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Writes data into a new file beside path (path.XXXXXX); its name is returned in tempName.
int WriteTempBeside(const std::filesystem::path& path, std::string_view data, unsigned mode,
                    bool flush, std::string& tempName) {
    tempName = path.string() + ".XXXXXX";
    int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = WriteAll(fd, data);
    if (error == 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
        error = errno;
    }
    if (error == 0 && flush && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(tempName.c_str());
    }
    return error;
}

int AppendToExisting(const std::filesystem::path& path, std::string_view data) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = WriteAll(fd, data);
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

}  // namespace

FileStatus GetFileStatus(const std::filesystem::path& path) {
    return GetFileStatusAt(AT_FDCWD, path.c_str());
}

FileStatus GetFileStatusAt(int folderFd, const char* name) {
    FileStatus status;
    struct stat st {};
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return status;
    }
    status.bExists = true;
    status.bFolder = S_ISDIR(st.st_mode);
    status.bRegular = S_ISREG(st.st_mode);
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modifyTime = st.st_mtim.tv_sec;
    status.device = static_cast<std::uint64_t>(st.st_dev);
    status.fileId = static_cast<std::uint64_t>(st.st_ino);
    status.changeNanos = std::int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
    return status;
}

int CreateFolders(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (part.empty() || part == "/") {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return errno;
    }
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int ListFolder(const std::filesystem::path& folder, std::vector<std::filesystem::path>& names) {
    names.clear();
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::vector<std::string> found;
    int error = ListOpenFolder(fd, found);
    names.assign(found.begin(), found.end());
    return error;
}

int ListOpenFolder(int folderFd, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::fdopendir(folderFd);
    if (dir == nullptr) {
        int error = errno;
        ::close(folderFd);
        return error;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    int error = errno;
    ::closedir(dir);
    return error;
}

int RenameNoReplace(const std::filesystem::path& oldPath, const std::filesystem::path& newPath) {
    if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // The file system cannot rename without replacing: check first (a narrow race remains).
    struct stat st {};
    if (::lstat(newPath.c_str(), &st) == 0) {
        return EEXIST;
    }
    return ::rename(oldPath.c_str(), newPath.c_str()) == 0 ? 0 : errno;
}

int ReadFile(const std::filesystem::path& path, std::string& data) {
    data.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
    }
    char buffer[16384];
    while (error == 0) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    ::close(fd);
    return error;
}

int RemoveTree(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno;
    }
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return ec.value();
}

int WriteFileAtomic(const std::filesystem::path& path, std::string_view data, unsigned mode) {
    std::string tempName;
    int error = WriteTempBeside(path, data, mode, true, tempName);
    if (error != 0) {
        return error;
    }
    if (::rename(tempName.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(tempName.c_str());
    }
    return error;
}

int AppendToFile(const std::filesystem::path& path, std::string_view data,
                 std::string_view header) {
    int error = AppendToExisting(path, data);
    if (error != ENOENT) {
        return error;
    }
    std::string whole;
    whole.reserve(header.size() + data.size());
    whole.append(header).append(data);
    std::string tempName;
    error = WriteTempBeside(path, whole, 0600, false, tempName);
    if (error != 0) {
        return error;
    }
    error = RenameNoReplace(tempName, path);
    if (error == 0) {
        return 0;
    }
    ::unlink(tempName.c_str());
    // Another writer created the file in the meantime: append behind its header.
    return error == EEXIST ? AppendToExisting(path, data) : error;
}

CReadOnlyFile::~CReadOnlyFile() {
    if (m_iFd >= 0) {
        ::close(m_iFd);
    }
}

int CReadOnlyFile::Open(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EINVAL;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    return Take(fd);
}

int CReadOnlyFile::Open(const CRootedPath& item) {
    const FileStatus status = item.Status();
    if (!status.bExists) {
        return ENOENT;
    }
    if (!status.bRegular) {
        return EINVAL;
    }
    int fd = -1;
    int error = item.OpenFile(O_RDONLY | O_NONBLOCK, 0, fd);
    return error != 0 ? error : Take(fd);
}

int CReadOnlyFile::Take(int fd) {
    struct stat st {};
    // The item may have been swapped for a pipe between the status check and open.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (m_iFd >= 0) {
        ::close(m_iFd);
    }
    m_iFd = fd;
    return 0;
}

long long CReadOnlyFile::Read(void* buffer, std::size_t size) {
    if (m_iFd < 0) {
        errno = EBADF;
        return -1;
    }
    ssize_t n;
    do {
        n = ::read(m_iFd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace plat
