#include "platform/FileUse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace plat {

namespace {

// True when another open file description holds a write lock on some byte of the file.
bool WriteLocked(int fd) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// True when some process has the file open for writing. A lease that the file system or the
// caller's rights do not allow says nothing, and counts as not open.
bool OpenForWriting(int fd) {
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN || errno == EBUSY;
}

// Decides for the descriptor, which is closed here.
int CheckOpenFile(int fd) {
    struct stat st {};
    int result = 0;
    if (::fstat(fd, &st) != 0) {
        result = errno;
    } else if (!S_ISREG(st.st_mode)) {
        result = EINVAL;
    } else if (WriteLocked(fd) || OpenForWriting(fd)) {
        result = EAGAIN;
    }
    ::close(fd);
    return result;
}

// Not blocking: a pipe put in the file's place since its status was read must not hold the
// comparison.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;

int CheckStatus(bool bExists, bool bRegular, bool bLink) {
    if (!bExists) {
        return ENOENT;
    }
    if (!bRegular) {
        return bLink ? ELOOP : EINVAL;
    }
    return 0;
}

}  // namespace

int CheckFileClosed(const std::filesystem::path& path) {
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0) {
        return errno;
    }
    int error = CheckStatus(true, S_ISREG(before.st_mode), S_ISLNK(before.st_mode));
    if (error != 0) {
        return error;
    }
    int fd = ::open(path.c_str(), kOpenFlags | O_NOFOLLOW | O_CLOEXEC);
    return fd < 0 ? errno : CheckOpenFile(fd);
}

int CheckFileClosed(const CRootedPath& item) {
    const FileStatus status = item.Status();
    int error = CheckStatus(status.bExists, status.bRegular, false);
    if (error != 0) {
        return error;
    }
    int fd = -1;
    error = item.OpenFile(kOpenFlags, 0, fd);
    return error != 0 ? error : CheckOpenFile(fd);
}

}  // namespace plat
