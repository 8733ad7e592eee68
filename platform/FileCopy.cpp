#include "platform/FileCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/FileSystem.h"

namespace plat {

namespace {

// Closes the descriptor when it goes.
class CFd {
  public:
    explicit CFd(int fd) : m_iFd(fd) {}
    ~CFd() {
        if (m_iFd >= 0) {
            ::close(m_iFd);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_iFd; }
    // Closes now and returns the error of the close, which for a written file may be the
    // first word of a failed write-back.
    int Close() {
        const int result = ::close(m_iFd);
        m_iFd = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int m_iFd;
};

int CopyContent(int from, int to) {
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        for (ssize_t done = 0; done < got;) {
            ssize_t written = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            done += written;
        }
    }
}

// Mode bits and modification time of the source; the access time is the copy's own.
int CopyAttributes(int fd, const struct stat& source) {
    if (::fchmod(fd, source.st_mode & 07777) != 0) {
        return errno;
    }
    const struct timespec times[2] = {{0, UTIME_NOW}, source.st_mtim};
    return ::futimens(fd, times) == 0 ? 0 : errno;
}

// Copies the open plain file `from` into a new file name in the folder toDir.
// created tells whether the new file was made, so that a failure can tell its own partial copy
// from an item that was there before.
int CopyFile(int from, const struct stat& source, int toDir, const char* name, bool& created) {
    CFd to(::openat(toDir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (to.Get() < 0) {
        return errno;
    }
    created = true;
    int error = CopyContent(from, to.Get());
    if (error == 0) {
        error = CopyAttributes(to.Get(), source);
    }
    const int closeError = to.Close();
    return error != 0 ? error : closeError;
}

int CopyFolder(int from, const struct stat& source, int toDir, const char* name, unsigned& skipped,
               bool& created);

// Copies the entry name of the open folder fromDir, if it is a plain file or a folder.
int CopyEntry(int fromDir, int toDir, const char* name, unsigned& skipped) {
    struct stat st {};
    if (::fstatat(fromDir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        ++skipped;
        return 0;
    }
    const int flags = S_ISDIR(st.st_mode) ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NONBLOCK;
    CFd from(::openat(fromDir, name, flags | O_NOFOLLOW | O_CLOEXEC));
    // The entry was swapped for a link or something else since fstatat: left out as well.
    if (from.Get() < 0 && (errno == ELOOP || errno == ENOTDIR)) {
        ++skipped;
        return 0;
    }
    if (from.Get() < 0 || ::fstat(from.Get(), &st) != 0) {
        return errno;
    }
    bool created = false;
    if (S_ISDIR(st.st_mode)) {
        return CopyFolder(from.Get(), st, toDir, name, skipped, created);
    }
    if (!S_ISREG(st.st_mode)) {
        ++skipped;
        return 0;
    }
    return CopyFile(from.Get(), st, toDir, name, created);
}

int CopyFolderContent(int from, int to, unsigned& skipped) {
    // fdopendir takes over the descriptor it is given, so it gets a copy.
    int listFd = ::fcntl(from, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) {
        return errno;
    }
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(listFd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        error = CopyEntry(from, to, name.c_str(), skipped);
        if (error != 0) {
            break;
        }
    }
    ::closedir(dir);
    return error;
}

int CopyFolder(int from, const struct stat& source, int toDir, const char* name, unsigned& skipped,
               bool& created) {
    if (::mkdirat(toDir, name, 0700) != 0) {
        return errno;
    }
    created = true;
    CFd to(::openat(toDir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (to.Get() < 0) {
        return errno;
    }
    const int error = CopyFolderContent(from, to.Get(), skipped);
    // The attributes come last: a read-only source folder must not stop its own filling, and
    // the entries written would change the time again.
    return error != 0 ? error : CopyAttributes(to.Get(), source);
}

// Opens the source: a folder without following a link, a plain file through at most the one
// link named. EINVAL for anything else.
int OpenSource(const std::filesystem::path& source, int& fd, struct stat& st) {
    if (::lstat(source.c_str(), &st) != 0) {
        return errno;
    }
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        return EINVAL;
    }
    const int flags = folder ? O_RDONLY | O_DIRECTORY | O_NOFOLLOW : O_RDONLY | O_NONBLOCK;
    fd = ::open(source.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOTDIR || errno == ELOOP ? EINVAL : errno;
    }
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode) != folder || (!folder && !S_ISREG(st.st_mode))) {
        error = EINVAL;
    }
    if (error != 0) {
        ::close(fd);
        fd = -1;
    }
    return error;
}

}  // namespace

int CopyItem(const std::filesystem::path& source, const std::filesystem::path& target,
             unsigned& skipped) {
    skipped = 0;
    int sourceFd = -1;
    struct stat st {};
    int error = OpenSource(source, sourceFd, st);
    if (error != 0) {
        return error;
    }
    CFd from(sourceFd);
    CFd toDir(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (toDir.Get() < 0) {
        return errno;
    }
    const std::string name = target.filename().string();
    bool created = false;
    error = S_ISDIR(st.st_mode)
                ? CopyFolder(from.Get(), st, toDir.Get(), name.c_str(), skipped, created)
                : CopyFile(from.Get(), st, toDir.Get(), name.c_str(), created);
    if (error != 0 && created) {
        RemoveTree(target);
    }
    return error;
}

}  // namespace plat
