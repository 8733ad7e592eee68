#include "engine/WatchTree.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "platform/FileSystem.h"

namespace {

using plat::DirectoryAction;
using plat::DirectoryEvent;

// Events taken per read before other watched directories get their turn.
constexpr std::size_t kMaxEventsPerRead = 4096;

std::string Join(const std::string& strFolder, const std::string& strName) {
    if (strFolder.empty()) {
        return strName;
    }
    return strFolder.back() == '/' ? strFolder + strName : strFolder + "/" + strName;
}

bool IsHidden(const std::string& strName) {
    return !strName.empty() && strName[0] == '.';
}

// Calls fn(key) for strRel and every key below it: "a" covers "a" and "a/...", not "a-b".
template <typename Map, typename Fn>
void ForSubtree(Map& map, const std::string& strRel, Fn fn) {
    std::vector<std::string> keys;
    if (map.count(strRel) != 0) {
        keys.push_back(strRel);
    }
    // Every key that starts with "strRel/" sorts between "strRel/" and "strRel0" ('0' follows '/').
    auto first = map.lower_bound(strRel + "/");
    auto last = map.lower_bound(strRel + "0");
    for (auto it = first; it != last; ++it) {
        keys.push_back(it->first);
    }
    for (const std::string& key : keys) {
        fn(key);
    }
}

struct Entry {
    std::string strName;
    bool bFolder;
};

// The folder's entries in byte order of their names; links are not followed. Empty when the
// folder cannot be read (gone, replaced, unreadable).
std::vector<Entry> ListFolder(const std::string& strPath) {
    std::vector<std::filesystem::path> names;
    plat::ListFolder(strPath, names);
    std::vector<Entry> entries;
    for (const std::filesystem::path& name : names) {
        std::string strName = name.string();
        bool bFolder = plat::GetFileStatus(Join(strPath, strName)).bFolder;
        entries.push_back({std::move(strName), bFolder});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.strName < b.strName; });
    return entries;
}

}  // namespace

CWatchTree::CWatchTree(const std::wstring& wstrDirectory, plat::DWORD dwNotifyFilter,
                       CDirectoryChangeHandler& handler)
    : m_wstrDirectory(wstrDirectory),
      m_strDirectory(WstringToString(wstrDirectory)),
      m_dwNotifyFilter(dwNotifyFilter),
      m_handler(handler) {}

plat::DWORD CWatchTree::Open() {
    plat::DWORD dwError = m_watch.Open();
    if (dwError != 0) {
        return dwError;
    }
    dwError = m_watch.AddWatch(m_strDirectory, m_dwNotifyFilter, m_iRootWatch);
    if (dwError != 0) {
        m_watch.Close();
        return dwError;
    }
    WatchFolders("", false);
    return 0;
}

void CWatchTree::Close() {
    m_watch.Close();
    m_folderOfWatch.clear();
    m_watchOfFolder.clear();
    m_listed.clear();
    m_held.clear();
}

plat::DWORD CWatchTree::ReadChanges() {
    for (;;) {
        EventList events = std::exchange(m_held, {});
        bool bDrained = m_watch.Read(events, kMaxEventsPerRead);
        ++m_uRound;
        Progress progress = HandleEvents(events);
        if (progress == Progress::WatchGone) {
            return plat::ERROR_PATH_NOT_FOUND;
        }
        ReportUnwatchedFolders();
        if (progress == Progress::Done) {
            if (bDrained) {
                std::erase_if(m_listed,
                              [this](const auto& item) { return item.second < m_uRound; });
            }
            return 0;
        }
        // A MovedFrom is held and its folder settled: read again to pair it or to know that
        // it left the tree.
    }
}

void CWatchTree::ReportUnwatchedFolders() {
    if (std::exchange(m_bUnwatchedFolders, false)) {
        m_handler.ReadError(plat::ERROR_NOT_ENOUGH_QUOTA, m_wstrDirectory);
    }
}

CWatchTree::Progress CWatchTree::HandleEvents(EventList& events) {
    // The first event is a MovedFrom held over from the last round, its folder since settled.
    bool bHeadSettled = !events.empty() && m_bHeadSettled;
    m_bHeadSettled = false;
    std::unordered_map<std::uint32_t, std::size_t> movedTo;  // cookie -> index of its MovedTo
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].action == DirectoryAction::MovedTo) {
            movedTo.emplace(events[i].uCookie, i);
        }
    }
    std::vector<bool> consumed(events.size(), false);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const DirectoryEvent& event = events[i];
        if (consumed[i]) {
            continue;
        }
        if (event.action != DirectoryAction::MovedFrom || !Known(event)) {
            if (HandleEvent(event) == Progress::WatchGone) {
                return Progress::WatchGone;
            }
            continue;
        }
        auto partner = movedTo.find(event.uCookie);
        if (partner != movedTo.end() && partner->second > i) {
            consumed[partner->second] = true;
            HandleMove(event, events[partner->second]);
        } else if (i == 0 && bHeadSettled) {
            HandleMovedOut(RelativeName(event), event.bFolder);
        } else {
            for (std::size_t k = i; k < events.size(); ++k) {
                if (!consumed[k]) {
                    m_held.push_back(std::move(events[k]));
                }
            }
            m_bHeadSettled = true;
            plat::WaitForRenamesIn(NativePath(m_folderOfWatch.at(m_held.front().iWatch)));
            return Progress::Held;
        }
    }
    return Progress::Done;
}

CWatchTree::Progress CWatchTree::HandleEvent(const DirectoryEvent& event) {
    bool bRoot = event.iWatch == m_iRootWatch;
    switch (event.action) {
        case DirectoryAction::Overflow:
            // Folders created while events were lost have no watch yet.
            WatchFolders("", false);
            m_handler.ReadError(plat::ERROR_NOTIFY_ENUM_DIR, m_wstrDirectory);
            return Progress::Done;
        case DirectoryAction::WatchRemoved:
            if (bRoot) {
                return Progress::WatchGone;
            }
            Forget(event.iWatch);
            return Progress::Done;
        case DirectoryAction::FolderMoved:
            // Subfolders move with their parent's events; only the directory itself matters.
            return bRoot ? Progress::WatchGone : Progress::Done;
        default:
            break;
    }
    // Events about a watched folder itself (its own attributes) are reported by its parent.
    if (!Known(event) || event.strName.empty()) {
        return Progress::Done;
    }
    std::string strRel = RelativeName(event);
    switch (event.action) {
        case DirectoryAction::Added:
        case DirectoryAction::MovedTo:  // from outside the tree
            if (!TakeListed(strRel)) {
                ReportAdded(strRel, event.bFolder);
            }
            break;
        case DirectoryAction::Removed:
            ForgetListed(strRel);
            ReportRemoved(strRel, event.bFolder);
            break;
        case DirectoryAction::Modified:
            m_handler.FileModified(FullPath(strRel));
            break;
        default:
            break;
    }
    return Progress::Done;
}

void CWatchTree::HandleMove(const DirectoryEvent& from, const DirectoryEvent& to) {
    std::string strFrom = RelativeName(from);
    std::string strTo = RelativeName(to);
    bool bFolder = from.bFolder;
    ForgetListed(strFrom);
    if (bFolder) {
        MoveFolders(strFrom, strTo);
    }
    // A listing that already reported the new name leaves only the old one to take back.
    bool bToListed = TakeListed(strTo);
    if (from.iWatch != to.iWatch || bToListed) {
        ReportRemoved(strFrom, bFolder);
        if (!bToListed) {
            ReportAdded(strTo, bFolder);
        }
    } else if (IsHidden(from.strName) && !IsHidden(to.strName)) {
        ReportAdded(strTo, bFolder);
    } else if (!IsHidden(from.strName) && IsHidden(to.strName)) {
        ReportRemoved(strFrom, bFolder);
    } else if (Reports(bFolder)) {
        m_handler.FileRenamed(FullPath(strFrom), FullPath(strTo));
    }
}

void CWatchTree::HandleMovedOut(const std::string& strRel, bool bFolder) {
    ForgetListed(strRel);
    ReportRemoved(strRel, bFolder);
    if (bFolder) {
        // Its watches would go on reporting from outside the tree.
        DropFolders(strRel);
    }
}

void CWatchTree::ReportAdded(const std::string& strRel, bool bFolder) {
    if (Reports(bFolder)) {
        m_handler.FileAdded(FullPath(strRel));
    }
    if (bFolder) {
        WatchFolders(strRel, true);
    }
}

void CWatchTree::ReportRemoved(const std::string& strRel, bool bFolder) {
    if (Reports(bFolder)) {
        m_handler.FileRemoved(FullPath(strRel));
    }
}

void CWatchTree::WatchFolders(const std::string& strRel, bool bReport) {
    std::vector<std::string> pending{strRel};
    while (!pending.empty()) {
        std::string strFolder = std::move(pending.back());
        pending.pop_back();
        WatchFolder(strFolder);
        std::vector<Entry> entries = ListFolder(NativePath(strFolder));
        for (const Entry& entry : entries) {
            std::string strChild = Join(strFolder, entry.strName);
            if (bReport) {
                m_listed[strChild] = m_uRound;
                if (Reports(entry.bFolder)) {
                    m_handler.FileAdded(FullPath(strChild));
                }
            }
        }
        // Reversed, so that subfolders are taken in name order.
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (it->bFolder) {
                pending.push_back(Join(strFolder, it->strName));
            }
        }
    }
}

void CWatchTree::WatchFolder(const std::string& strRel) {
    int iWatch = -1;
    plat::DWORD dwError = m_watch.AddWatch(NativePath(strRel), m_dwNotifyFilter, iWatch);
    if (dwError == plat::ERROR_NOT_ENOUGH_QUOTA) {
        m_bUnwatchedFolders = true;
    } else if (dwError == plat::ERROR_ACCESS_DENIED) {
        AfLog(4, __FILE_NAME__, "CWatchTree::WatchFolder", __LINE__,
              "changes in %s are not seen: the folder cannot be watched (access denied)",
              NativePath(strRel).c_str());
    }
    // Other failures mean the folder went away or was replaced; its own events follow.
    if (dwError != 0) {
        return;
    }
    // The same folder may be known under an older name (moved while events were lost), and
    // the name may have held another folder, whose watch would now report under a wrong name.
    auto known = m_folderOfWatch.find(iWatch);
    if (known != m_folderOfWatch.end() && known->second != strRel) {
        Forget(iWatch);
    }
    auto displaced = m_watchOfFolder.find(strRel);
    if (displaced != m_watchOfFolder.end() && displaced->second != iWatch) {
        m_watch.RemoveWatch(displaced->second);
        m_folderOfWatch.erase(displaced->second);
    }
    m_folderOfWatch[iWatch] = strRel;
    m_watchOfFolder[strRel] = iWatch;
}

void CWatchTree::MoveFolders(const std::string& strFrom, const std::string& strTo) {
    std::vector<std::pair<std::string, int>> moved;
    ForSubtree(m_watchOfFolder, strFrom, [&](const std::string& strKey) {
        moved.emplace_back(strTo + strKey.substr(strFrom.size()), m_watchOfFolder[strKey]);
        m_watchOfFolder.erase(strKey);
    });
    for (const auto& [strRel, iWatch] : moved) {
        m_watchOfFolder[strRel] = iWatch;
        m_folderOfWatch[iWatch] = strRel;
    }
}

void CWatchTree::DropFolders(const std::string& strRel) {
    ForSubtree(m_watchOfFolder, strRel, [&](const std::string& strKey) {
        int iWatch = m_watchOfFolder[strKey];
        m_watch.RemoveWatch(iWatch);
        m_folderOfWatch.erase(iWatch);
        m_watchOfFolder.erase(strKey);
    });
}

void CWatchTree::Forget(int iWatch) {
    auto it = m_folderOfWatch.find(iWatch);
    if (it == m_folderOfWatch.end()) {
        return;
    }
    auto path = m_watchOfFolder.find(it->second);
    if (path != m_watchOfFolder.end() && path->second == iWatch) {
        m_watchOfFolder.erase(path);
    }
    m_folderOfWatch.erase(it);
}

bool CWatchTree::TakeListed(const std::string& strRel) {
    return m_listed.erase(strRel) != 0;
}

void CWatchTree::ForgetListed(const std::string& strRel) {
    ForSubtree(m_listed, strRel, [this](const std::string& strKey) { m_listed.erase(strKey); });
}

bool CWatchTree::Reports(bool bFolder) const {
    return (m_dwNotifyFilter & (bFolder ? plat::FILE_NOTIFY_CHANGE_DIR_NAME
                                        : plat::FILE_NOTIFY_CHANGE_FILE_NAME)) != 0;
}

bool CWatchTree::Known(const DirectoryEvent& event) const {
    return m_folderOfWatch.count(event.iWatch) != 0;
}

std::string CWatchTree::RelativeName(const DirectoryEvent& event) const {
    return Join(m_folderOfWatch.at(event.iWatch), event.strName);
}

std::string CWatchTree::NativePath(const std::string& strRel) const {
    return strRel.empty() ? m_strDirectory : Join(m_strDirectory, strRel);
}

std::wstring CWatchTree::FullPath(const std::string& strRel) const {
    std::wstring wstrPath = m_wstrDirectory;
    if (wstrPath.empty() || wstrPath.back() != L'/') {
        wstrPath += L'/';
    }
    return wstrPath + StringToWstring(strRel);
}
