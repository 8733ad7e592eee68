#pragma once
// The folders of one watched directory, followed with one inotify instance: a watch for every
// folder of the tree, added for folders that appear later (whose content is then listed, so
// that what was created before the watch existed is reported too), moved along with renamed
// folders and dropped with folders that leave the tree. Turns the kernel's events into the
// handler's notifications with full paths:
//   - a rename inside one folder is FileRenamed (old and new path);
//   - a move to another folder of the tree is FileRemoved, then FileAdded;
//   - a move out of the tree is FileRemoved, into it FileAdded (with the moved folder's content);
//   - a rename from a hidden name (leading ".") to a visible one is FileAdded, from a visible
//     one to a hidden one FileRemoved;
//   - lost events (queue overflow) and folders that cannot be watched (watch limit) are
//     reported through ReadError, and the watch goes on.
// A name reported from a folder listing is not reported again when the kernel's event for it
// arrives afterwards.
//
// Threads: Open runs on the thread that calls Watch; after that the I/O thread alone uses the
// tree (the hand-over goes through the watcher's port).

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/DirectoryChangeHandler.h"
#include "platform/DirectoryWatch.h"

class CWatchTree {
  public:
    // handler receives the notifications (on the I/O thread: the delayed handler).
    CWatchTree(const std::wstring& wstrDirectory, plat::DWORD dwNotifyFilter,
               CDirectoryChangeHandler& handler);

    // Watches the directory and every folder below it. 0, or the error for the directory
    // itself (ERROR_PATH_NOT_FOUND, ERROR_DIRECTORY, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_QUOTA,
    // ERROR_TOO_MANY_OPEN_FILES).
    plat::DWORD Open();
    void Close();
    bool IsOpen() const { return m_watch.IsOpen(); }
    const plat::DirectoryWatch& Handle() const { return m_watch; }

    // Reads what the kernel queued and reports it. Returns 0 while the watch goes on, or
    // ERROR_PATH_NOT_FOUND when the watched directory itself was deleted or moved away.
    plat::DWORD ReadChanges();
    // Reports ERROR_NOT_ENOUGH_QUOTA when a folder could not be watched since the last call.
    void ReportUnwatchedFolders();

  private:
    using EventList = std::vector<plat::DirectoryEvent>;

    // Outcome of handling the events read so far.
    enum class Progress { Done, Held, WatchGone };

    Progress HandleEvents(EventList& events);
    Progress HandleEvent(const plat::DirectoryEvent& event);
    void HandleMove(const plat::DirectoryEvent& from, const plat::DirectoryEvent& to);
    void HandleMovedOut(const std::string& strRel, bool bFolder);

    void ReportAdded(const std::string& strRel, bool bFolder);
    void ReportRemoved(const std::string& strRel, bool bFolder);
    // A folder appeared at strRel: watch it and what is below it; with bReport, report its
    // content (parents before children, names in byte order) and remember it for duplicates.
    void WatchFolders(const std::string& strRel, bool bReport);
    void WatchFolder(const std::string& strRel);
    void MoveFolders(const std::string& strFrom, const std::string& strTo);
    void DropFolders(const std::string& strRel);
    void Forget(int iWatch);

    // True (and forgets it) when a listing already reported strRel.
    bool TakeListed(const std::string& strRel);
    void ForgetListed(const std::string& strRel);

    bool Reports(bool bFolder) const;
    bool Known(const plat::DirectoryEvent& event) const;
    std::string RelativeName(const plat::DirectoryEvent& event) const;
    std::string NativePath(const std::string& strRel) const;
    std::wstring FullPath(const std::string& strRel) const;

    const std::wstring m_wstrDirectory;
    const std::string m_strDirectory;  // native (UTF-8) form
    const plat::DWORD m_dwNotifyFilter;
    CDirectoryChangeHandler& m_handler;

    plat::DirectoryWatch m_watch;
    int m_iRootWatch = -1;
    std::unordered_map<int, std::string> m_folderOfWatch;  // watch id -> folder ("" the root)
    std::map<std::string, int> m_watchOfFolder;            // ordered: a subtree is one range
    // Names reported by a listing, with the read round they were listed in; dropped once a
    // complete read after that round has been handled, since any event of theirs was in it.
    std::map<std::string, std::uint64_t> m_listed;
    std::uint64_t m_uRound = 0;
    // Events read but not yet handled: a MovedFrom whose MovedTo may still be on its way, and
    // what followed it.
    EventList m_held;
    bool m_bHeadSettled = false;  // the held MovedFrom's folder has been settled
    bool m_bUnwatchedFolders = false;
};
