#include "engine/ServerScan.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/SyncMgr.h"
#include "store/SyncFolderArray.h"
#include "store/UserInfoLD.h"

namespace {

constexpr const char* kLogFile = "ServerScan.cpp";

void LogEntry(const char* function, int line, const char* why, const TSyncFile& file) {
    std::string trace;
    GetTraceStringSyncFile(file, trace);
    AfLog(0, kLogFile, function, line, "%s: %s", why, trace.c_str());
}

// Position of every id; the first one where an id is listed twice.
std::unordered_map<int, std::size_t> IdPositions(const std::vector<TSyncFile>& list) {
    std::unordered_map<int, std::size_t> positions;
    positions.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        positions.try_emplace(list[i].iId, i);
    }
    return positions;
}

enum class EChain : std::uint8_t { Unknown, Walking, Rooted, Broken };

// Whether each entry's chain of parents reaches the root through listed folders. Each entry is
// walked once: a chain stops at an entry already decided, and one that meets itself again is
// a cycle.
std::vector<EChain> Chains(const std::vector<TSyncFile>& list,
                           const std::unordered_map<int, std::size_t>& positions) {
    std::vector<EChain> state(list.size(), EChain::Unknown);
    std::vector<std::size_t> walk;
    for (std::size_t start = 0; start < list.size(); ++start) {
        std::size_t i = start;
        EChain end = EChain::Broken;
        while (state[i] == EChain::Unknown) {
            state[i] = EChain::Walking;
            walk.push_back(i);
            const int pid = list[i].iPId;
            if (pid == 0) {
                end = EChain::Rooted;
                break;
            }
            auto parent = positions.find(pid);
            if (parent == positions.end() || list[parent->second].iType != 0) {
                end = EChain::Broken;
                break;
            }
            i = parent->second;
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
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c == L'/' || c == L'\\' || c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            return false;
        }
    }
    return true;
}

int CServerScan::ScanfServer(std::vector<TSyncFile>& list) {
    CSyncMgr session(4);
    int result = session.GetFileListAll(CUserInfoLD::Get()->GetUserInfo(), list);
    if (result != 0) {
        AfLog(1, kLogFile, "CServerWatch::ScanfServer", __LINE__,
              "Get Server GetFileListAll error code = (%d)", result);
    }
    return result;
}

int CServerScan::VerifyServerData(const std::vector<TSyncFile>& list) {
    static constexpr const char* kFunction = "CServerWatch::VerifyServerData";
    const std::unordered_map<int, std::size_t> positions = IdPositions(list);
    const std::vector<EChain> chains = Chains(list, positions);
    int usable = 1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TSyncFile& file = list[i];
        const char* why = nullptr;
        if (file.iId == 0 || file.iId == file.iPId || file.strServerTime.empty()) {
            why = "Unusable server entry";
        } else if (positions.at(file.iId) != i) {
            why = "Server entry id listed twice";
        } else if (chains[i] != EChain::Rooted) {
            why = "Server entry parents missing or in a cycle";
        }
        if (why != nullptr) {
            LogEntry(kFunction, __LINE__, why, file);
            usable = 0;
        }
    }
    return usable;
}

void CServerScan::BuildRelativePaths(std::vector<TSyncFile>& list,
                                     std::unordered_set<int>& refusedIds) {
    static constexpr const char* kFunction = "CServerWatch::BuildRelativePaths";
    const std::unordered_map<int, std::size_t> positions = IdPositions(list);
    std::vector<std::uint8_t> done(list.size(), 0);
    std::vector<bool> refused(list.size(), false);
    std::vector<std::size_t> chain;
    for (std::size_t start = 0; start < list.size(); ++start) {
        // Up to the first entry whose path is known (or the root), then down again; verified
        // listings hold no cycle, and the bound keeps any other from looping.
        for (std::size_t i = start; !done[i] && chain.size() <= list.size();) {
            chain.push_back(i);
            auto parent = list[i].iPId == 0 ? positions.end() : positions.find(list[i].iPId);
            if (parent == positions.end()) {
                break;
            }
            i = parent->second;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            TSyncFile& file = list[*it];
            auto parent = file.iPId == 0 ? positions.end() : positions.find(file.iPId);
            const bool bBelowRefused = parent != positions.end() && refused[parent->second];
            if (bBelowRefused || (parent == positions.end() && file.iPId != 0) ||
                !IsUsableName(file.strName)) {
                refused[*it] = true;
                LogEntry(kFunction, __LINE__,
                         bBelowRefused ? "Server entry below a refused name left out"
                                       : "Server entry name cannot be a local name, left out",
                         file);
            } else if (parent == positions.end()) {
                file.strRelativePath = L".\\" + file.strName;
            } else {
                file.strRelativePath = list[parent->second].strRelativePath + L"\\" + file.strName;
            }
            done[*it] = 1;
        }
        chain.clear();
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (refused[i]) {
            refusedIds.insert(list[i].iId);
        } else {
            if (kept != i) {
                list[kept] = std::move(list[i]);
            }
            ++kept;
        }
    }
    list.resize(kept);
}

int CServerScan::Scan(std::vector<TSyncFile>& list, std::unordered_set<int>& refusedIds) {
    list.clear();
    refusedIds.clear();
    int result = ScanfServer(list);
    if (result != 0) {
        list.clear();
        return result;
    }
    if (VerifyServerData(list) == 0) {
        list.clear();
        return 1001;
    }
    BuildRelativePaths(list, refusedIds);
    CSyncFolderArray::Get()->RefrushServerSynceFile(list);
    return 0;
}
