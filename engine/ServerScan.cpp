#include "engine/ServerScan.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "engine/FirstUnmatched.h"
#include "engine/UnusableNameReport.h"
#include "rest/SyncMgr.h"
#include "store/SyncFolderArray.h"
#include "store/UserInfoLD.h"

namespace {

constexpr const char* kLogFile = "ServerScan.cpp";

void LogEntry(const char* function, int line, const char* why, const CPackedFiles& list,
              std::size_t i) {
    std::string trace;
    GetTraceStringSyncFile(list.At(i), trace);
    AfLog(0, kLogFile, function, line, "%s: %s", why, trace.c_str());
}

// Position of every id (Find); the first one where an id is listed twice. Nothing is ever
// matched.
auto IdPositions(const CPackedFiles& list) {
    return CFirstUnmatched(list.Size(), [&list](std::size_t i) { return list.Id(i); });
}
using CIdPositions = decltype(IdPositions(std::declval<const CPackedFiles&>()));

enum class EChain : std::uint8_t { Unknown, Walking, Rooted, Broken };

// Whether each entry's chain of parents reaches the root through listed folders. Each entry is
// walked once: a chain stops at an entry already decided, and one that meets itself again is
// a cycle.
std::vector<EChain> Chains(const CPackedFiles& list, CIdPositions& positions) {
    std::vector<EChain> state(list.Size(), EChain::Unknown);
    std::vector<std::size_t> walk;
    for (std::size_t start = 0; start < list.Size(); ++start) {
        std::size_t i = start;
        EChain end = EChain::Broken;
        while (state[i] == EChain::Unknown) {
            state[i] = EChain::Walking;
            walk.push_back(i);
            const int pid = list.PId(i);
            if (pid == 0) {
                end = EChain::Rooted;
                break;
            }
            const std::size_t parent = positions.Find(pid);
            if (parent == positions.npos || list.Type(parent) != 0) {
                end = EChain::Broken;
                break;
            }
            i = parent;
        }
        if (state[i] == EChain::Rooted || state[i] == EChain::Broken) {
            end = state[i];
        }
        for (std::size_t k : walk) {
            state[k] = end;
        }
        walk.clear();
    }
    return state;
}

}  // namespace

bool CServerScan::IsUsableName(const std::wstring& name) {
    return IsUsableName(CPackedFiles::PackText(name));
}

bool CServerScan::IsUsableName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        // U+0080 to U+009F are 0xC2 0x80 to 0xC2 0x9F in the packed form.
        const bool bC1 =
            c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) < 0xA0;
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F || bC1) {
            return false;
        }
    }
    return true;
}

int CServerScan::ScanfServer(CPackedFiles& list) {
    CSyncMgr session(4);
    int result = session.GetFileListAll(CUserInfoLD::Get()->GetUserInfo(), list);
    if (result != 0) {
        AfLog(1, kLogFile, "CServerWatch::ScanfServer", __LINE__,
              "Get Server GetFileListAll error code = (%d)", result);
    }
    return result;
}

int CServerScan::VerifyServerData(const CPackedFiles& list) {
    static constexpr const char* kFunction = "CServerWatch::VerifyServerData";
    CIdPositions positions = IdPositions(list);
    const std::vector<EChain> chains = Chains(list, positions);
    int usable = 1;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        const char* why = nullptr;
        if (list.Id(i) == 0 || list.Id(i) == list.PId(i) || list.ServerTime(i).empty()) {
            why = "Unusable server entry";
        } else if (positions.Find(list.Id(i)) != i) {
            why = "Server entry id listed twice";
        } else if (chains[i] != EChain::Rooted) {
            why = "Server entry parents missing or in a cycle";
        }
        if (why != nullptr) {
            LogEntry(kFunction, __LINE__, why, list, i);
            usable = 0;
        }
    }
    return usable;
}

void CServerScan::BuildRelativePaths(CPackedFiles& list, std::unordered_set<int>& refusedIds) {
    std::vector<TSyncFile> unusable;
    BuildRelativePaths(list, refusedIds, unusable);
}

void CServerScan::BuildRelativePaths(CPackedFiles& list, std::unordered_set<int>& refusedIds,
                                     std::vector<TSyncFile>& unusable) {
    unusable.clear();
    static constexpr const char* kFunction = "CServerWatch::BuildRelativePaths";
    CIdPositions positions = IdPositions(list);
    // The position of i's parent, or npos at the root or when it is not listed.
    auto parentOf = [&](std::size_t i) {
        return list.PId(i) == 0 ? positions.npos : positions.Find(list.PId(i));
    };
    std::vector<std::uint8_t> done(list.Size(), 0);
    std::vector<bool> refused(list.Size(), false);
    std::vector<std::size_t> chain;
    std::string path;
    for (std::size_t start = 0; start < list.Size(); ++start) {
        // Up to the first entry whose path is known (or the root), then down again. An entry
        // met twice on the way up closes a cycle: nothing on the way has a path.
        bool bCycle = false;
        for (std::size_t i = start; done[i] != 1;) {
            if (done[i] == 2) {
                bCycle = true;
                break;
            }
            done[i] = 2;
            chain.push_back(i);
            const std::size_t parent = parentOf(i);
            if (parent == positions.npos) {
                break;
            }
            i = parent;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const std::size_t i = *it;
            const std::size_t parent = parentOf(i);
            const bool bBelowRefused = parent != positions.npos && refused[parent];
            if (bCycle) {
                refused[i] = true;
                LogEntry(kFunction, __LINE__, "Server entry parents in a cycle, left out", list, i);
            } else if (const bool bUnusable = !IsUsableName(list.Name(i));
                       bBelowRefused || (parent == positions.npos && list.PId(i) != 0) ||
                       bUnusable) {
                refused[i] = true;
                LogEntry(kFunction, __LINE__,
                         bBelowRefused ? "Server entry below a refused name left out"
                                       : "Server entry name cannot be a local name, left out",
                         list, i);
                if (bUnusable && !bBelowRefused) {
                    unusable.push_back(CUnusableNameReport::Shown(
                        list.At(i), parent == positions.npos
                                        ? std::wstring(L".")
                                        : CPackedFiles::UnpackText(list.RelativePath(parent))));
                }
            } else {
                path.assign(parent == positions.npos ? std::string_view(".")
                                                     : list.RelativePath(parent));
                path += '\\';
                path += list.Name(i);
                list.SetRelativePath(i, path);
            }
            done[i] = 1;
        }
        chain.clear();
    }
    std::vector<bool> keep(list.Size(), true);
    for (std::size_t i = 0; i < list.Size(); ++i) {
        if (refused[i]) {
            refusedIds.insert(list.Id(i));
            keep[i] = false;
        }
    }
    list.KeepIf(keep);
}

int CServerScan::Scan(CPackedFiles& list, std::unordered_set<int>& refusedIds) {
    list.Clear();
    refusedIds.clear();
    int result = ScanfServer(list);
    if (result != 0) {
        list.Clear();
        return result;
    }
    if (VerifyServerData(list) == 0) {
        list.Clear();
        return 1001;
    }
    std::vector<TSyncFile> unusable;
    BuildRelativePaths(list, refusedIds, unusable);
    CUnusableNameReport::Publish(unusable);
    CSyncFolderArray::Get()->RefrushServerSynceFile(list);
    return 0;
}
