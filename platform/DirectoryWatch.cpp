#include "platform/DirectoryWatch.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace plat {

namespace {

// Events every watch asks for: the tree's shape must be followed whatever the filter says.
constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

std::uint32_t MaskFor(DWORD notifyFilter) {
    std::uint32_t mask = kNameEvents;
    if (notifyFilter & (FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE)) {
        mask |= IN_MODIFY;
    }
    if (notifyFilter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_CREATION |
                        FILE_NOTIFY_CHANGE_SECURITY)) {
        mask |= IN_ATTRIB;
    }
    if (notifyFilter & FILE_NOTIFY_CHANGE_LAST_ACCESS) {
        mask |= IN_ACCESS;
    }
    return mask;
}

DWORD AddWatchError(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_PATH_NOT_FOUND;
        case ENOTDIR:
        case ELOOP:
            return ERROR_DIRECTORY;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
            return ERROR_NOT_ENOUGH_QUOTA;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool ToAction(std::uint32_t mask, DirectoryAction& action) {
    if (mask & IN_Q_OVERFLOW) {
        action = DirectoryAction::Overflow;
    } else if (mask & IN_IGNORED) {
        action = DirectoryAction::WatchRemoved;
    } else if (mask & IN_CREATE) {
        action = DirectoryAction::Added;
    } else if (mask & IN_DELETE) {
        action = DirectoryAction::Removed;
    } else if (mask & IN_MOVED_FROM) {
        action = DirectoryAction::MovedFrom;
    } else if (mask & IN_MOVED_TO) {
        action = DirectoryAction::MovedTo;
    } else if (mask & IN_MOVE_SELF) {
        action = DirectoryAction::FolderMoved;
    } else if (mask & (IN_MODIFY | IN_ATTRIB | IN_ACCESS)) {
        action = DirectoryAction::Modified;
    } else {
        return false;  // IN_UNMOUNT: its IN_IGNORED follows
    }
    return true;
}

// Appends the events of one read; returns how many were appended.
std::size_t Decode(const char* buffer, std::size_t length, std::vector<DirectoryEvent>& events) {
    std::size_t count = 0;
    std::size_t offset = 0;
    while (offset + sizeof(inotify_event) <= length) {
        inotify_event header;
        std::memcpy(&header, buffer + offset, sizeof header);
        const char* name = buffer + offset + sizeof header;
        offset += sizeof header + header.len;
        DirectoryEvent event;
        if (!ToAction(header.mask, event.action)) {
            continue;
        }
        event.iWatch = header.wd;
        event.bFolder = (header.mask & IN_ISDIR) != 0;
        event.uCookie = header.cookie;
        // The kernel pads the name with NULs up to len.
        event.strName.assign(name, strnlen(name, header.len));
        events.push_back(std::move(event));
        ++count;
    }
    return count;
}

}  // namespace

DirectoryWatch::~DirectoryWatch() {
    Close();
}

DWORD DirectoryWatch::Open() {
    Close();
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        return 0;
    }
    return errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_TOO_MANY_OPEN_FILES;
}

void DirectoryWatch::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

DWORD DirectoryWatch::AddWatch(const std::string& folder, DWORD notifyFilter, int& iWatch) {
    int wd = inotify_add_watch(m_fd, folder.c_str(), MaskFor(notifyFilter));
    if (wd < 0) {
        return AddWatchError(errno);
    }
    iWatch = wd;
    return 0;
}

void DirectoryWatch::RemoveWatch(int iWatch) {
    inotify_rm_watch(m_fd, iWatch);
}

bool DirectoryWatch::Read(std::vector<DirectoryEvent>& events, std::size_t maxEvents) {
    // Room for many events per call; one event needs at most this much.
    alignas(inotify_event) char buffer[64 * 1024];
    static_assert(sizeof buffer >= sizeof(inotify_event) + NAME_MAX + 1);
    std::size_t appended = 0;
    while (appended < maxEvents) {
        ssize_t length = read(m_fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            return true;  // EAGAIN: the queue is empty
        }
        appended += Decode(buffer, static_cast<std::size_t>(length), events);
    }
    return false;
}

void WaitForRenamesIn(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;  // gone: nothing can be renamed in it any more
    }
    // One getdents call takes the folder's lock; a small buffer keeps it cheap.
    alignas(8) char buffer[512];
    syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    close(fd);
}

}  // namespace plat
