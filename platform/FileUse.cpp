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

}  // namespace

int CheckFileClosed(const std::filesystem::path& path) {
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0) {
        return errno;
    }
    if (!S_ISREG(before.st_mode)) {
        return S_ISLNK(before.st_mode) ? ELOOP : EINVAL;
    }
    // Not blocking: a pipe put in the file's place since the look above must not hold the
    // comparison.
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
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

}  // namespace plat
