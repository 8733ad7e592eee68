#pragma once
// Change notification for folders, in place of a directory handle read with
// ReadDirectoryChangesW. A DirectoryWatch is one inotify instance. inotify watches single
// folders, so the caller adds a watch for each folder of the tree it follows and gets the
// kernel's events back in the order they were queued, each naming its folder by watch id.
//
// A DirectoryWatch is used by one thread at a time (the watcher's I/O thread after set-up);
// WatchPort tells that thread when one of its watches has events to read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ThreadMessage.h"

namespace plat {

// Bits of the notify filter, as ReadDirectoryChangesW takes them.
constexpr DWORD FILE_NOTIFY_CHANGE_FILE_NAME = 0x1;
constexpr DWORD FILE_NOTIFY_CHANGE_DIR_NAME = 0x2;
constexpr DWORD FILE_NOTIFY_CHANGE_ATTRIBUTES = 0x4;
constexpr DWORD FILE_NOTIFY_CHANGE_SIZE = 0x8;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_WRITE = 0x10;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_ACCESS = 0x20;
constexpr DWORD FILE_NOTIFY_CHANGE_CREATION = 0x40;
constexpr DWORD FILE_NOTIFY_CHANGE_SECURITY = 0x100;

// The Win32 error codes this layer answers with.
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_DIRECTORY = 267;
// Changes were lost (the kernel's event queue overflowed): the folder must be enumerated to
// find them.
constexpr DWORD ERROR_NOTIFY_ENUM_DIR = 1022;
// The per-user limit of inotify watches is reached: a folder could not be watched.
constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;

enum class DirectoryAction {
    Added,         // a name was created in the folder
    Removed,       // a name was deleted from the folder
    Modified,      // content or attributes covered by the filter changed
    MovedFrom,     // a name left the folder by a rename; uCookie pairs it with its MovedTo
    MovedTo,       // a name arrived in the folder by a rename
    FolderMoved,   // the watched folder itself was renamed or moved
    WatchRemoved,  // the watch ended: its folder was deleted, unmounted or the watch removed
    Overflow,      // the kernel's queue overflowed; events were lost (iWatch is -1)
};

struct DirectoryEvent {
    int iWatch = -1;
    DirectoryAction action = DirectoryAction::Added;
    bool bFolder = false;
    std::uint32_t uCookie = 0;
    // The name inside the watched folder, as the file system holds it (bytes, not necessarily
    // UTF-8); empty for events on the folder itself.
    std::string strName;
};

class DirectoryWatch {
  public:
    DirectoryWatch() = default;
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // Creates the inotify instance: 0, ERROR_TOO_MANY_OPEN_FILES when the per-user instance
    // limit or the descriptor limit is reached, ERROR_NOT_ENOUGH_MEMORY.
    DWORD Open();
    bool IsOpen() const { return m_fd >= 0; }
    // Ends every watch and closes the instance.
    void Close();

    // Watches one folder (not its subfolders) for the changes notifyFilter asks for; renames,
    // creations and deletions of names are always reported. Watching a folder that is already
    // watched returns its watch id again. A symbolic link is not followed.
    // Returns 0 and sets iWatch, or ERROR_PATH_NOT_FOUND (gone), ERROR_DIRECTORY (not a folder,
    // or a link), ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_QUOTA (watch limit reached),
    // ERROR_GEN_FAILURE.
    DWORD AddWatch(const std::string& folder, DWORD notifyFilter, int& iWatch);
    // Ends one watch; its WatchRemoved event follows.
    void RemoveWatch(int iWatch);

    // Appends the queued events without blocking; stops once the queue is empty or maxEvents
    // have been appended. Returns true when the queue was found empty, that is when every event
    // queued before the call has been read.
    bool Read(std::vector<DirectoryEvent>& events, std::size_t maxEvents);

    // The descriptor WatchPort waits on.
    int Descriptor() const { return m_fd; }

  private:
    int m_fd = -1;
};

// Returns once any rename that is under way in folder has been queued whole. The kernel queues
// both halves of a rename (MovedFrom, then MovedTo) while it holds the folders' locks, and
// listing the folder waits for those locks; so after this call a MovedFrom whose MovedTo is
// still missing from the queue was a move out of the watched tree.
void WaitForRenamesIn(const std::string& folder);

}  // namespace plat
