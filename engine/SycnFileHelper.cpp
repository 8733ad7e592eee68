#include "engine/SycnFileHelper.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "engine/FirstUnmatched.h"
#include "engine/ServiceRenameOrder.h"
#include "platform/FileUse.h"
#include "platform/RootedPath.h"
#include "store/SyncTemporary.h"
#include "store/TSyncFileArray.h"

namespace {

constexpr const char* kLogFile = "WatchManager.cpp";

// Type and relative path: the key of the disk stage (packed paths) and of the group stage.
template <class View>
struct TPathKey {
    int iType;
    View path;
    bool operator==(const TPathKey&) const = default;
};
template <class View>
struct TPathKeyHash {
    std::size_t operator()(const TPathKey<View>& key) const {
        return std::hash<View>()(key.path) * 2 + static_cast<std::size_t>(key.iType);
    }
};
TPathKey<std::wstring_view> PathKey(const TSyncFile& file) {
    return {file.iType, file.strRelativePath};
}
TPathKey<std::string_view> PathKey(const CPackedFiles& list, std::size_t i) {
    return {list.Type(i), list.RelativePath(i)};
}
auto PathIndex(const std::vector<TSyncFile>& list) {
    return CFirstUnmatched(
        list.size(), [&list](std::size_t i) { return PathKey(list[i]); },
        TPathKeyHash<std::wstring_view>());
}
auto PathIndex(const CPackedFiles& list) {
    return CFirstUnmatched(
        list.Size(), [&list](std::size_t i) { return PathKey(list, i); },
        TPathKeyHash<std::string_view>());
}

// Id and parent id: the key of the server stage.
std::uint64_t IdKey(int iId, int iPId) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(iId)) << 32 |
           static_cast<std::uint32_t>(iPId);
}
auto IdIndex(const CPackedFiles& list) {
    return CFirstUnmatched(list.Size(),
                           [&list](std::size_t i) { return IdKey(list.Id(i), list.PId(i)); });
}

std::string Narrow(const std::wstring& text) {
    return WstringToString(text);
}

std::string Trace(const TSyncFile& file) {
    std::string text;
    GetTraceStringSyncFile(file, text);
    return text;
}

// The records of list whose flag is false, in order.
std::vector<TSyncFile> Unflagged(std::vector<TSyncFile>& list, const std::vector<bool>& flags) {
    std::vector<TSyncFile> kept;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!flags[i]) {
            kept.push_back(std::move(list[i]));
        }
    }
    return kept;
}

template <class Index>
std::vector<TSyncFile> Unmatched(std::vector<TSyncFile>& list, const Index& index) {
    std::vector<TSyncFile> kept;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!index.Matched(i)) {
            kept.push_back(std::move(list[i]));
        }
    }
    return kept;
}

// What a group stage does with a matched pair.
enum class EPair { Keep, DropBoth, DropDisk };

// For each disk record in order, the first server record not dropped yet with the same type and
// path: decide(D, S) says which of the pair leaves its list. The lists keep their order.
template <class Decide>
void WalkPairs(std::vector<TSyncFile>& diskList, std::vector<TSyncFile>& serverList,
               Decide decide) {
    auto index = PathIndex(serverList);
    std::vector<bool> diskDropped(diskList.size(), false);
    for (std::size_t d = 0; d < diskList.size(); ++d) {
        std::size_t s = index.Find(PathKey(diskList[d]));
        if (s == index.npos) {
            continue;
        }
        const EPair outcome = decide(diskList[d], serverList[s]);
        if (outcome == EPair::DropBoth) {
            index.Match(s);
        }
        diskDropped[d] = outcome != EPair::Keep;
    }
    diskList = Unflagged(diskList, diskDropped);
    serverList = Unmatched(serverList, index);
}

// Renames the item aside under Backup's time-stamped name, or when that is taken the first
// free numbered one: a conflict copy never replaces anything. newName receives the name.
int BackupToFreeName(const plat::CRootedPath& item, std::wstring& newName) {
    const std::wstring name = StringToWstring(item.Leaf());
    int error = EEXIST;
    for (int attempt = 0; error == EEXIST && attempt < 1000; ++attempt) {
        newName = BackupName(name, attempt);
        plat::CRootedPath target;
        error = item.Sibling(WstringToString(newName), target);
        if (error == 0) {
            error = item.RenameNoReplace(target);
        }
    }
    return error;
}

// The service's folder renames as old and new path, each with its closing backslash, deepest
// old path first: the new path of a nested folder already holds its ancestors' new names.
using TFolderMoves = std::vector<std::pair<std::wstring, std::wstring>>;
TFolderMoves FolderMoves(const std::vector<TSyncFile>& renamed, const std::wstring& syncDir) {
    TFolderMoves moves;
    for (const TSyncFile& R : renamed) {
        const std::wstring to = GetRelatePath(R.dataExtension.dataReName.wstrNewName, syncDir);
        if (R.iType == 0 && to.rfind(L".\\", 0) == 0) {
            moves.emplace_back(R.strRelativePath + L"\\", to + L"\\");
        }
    }
    std::sort(moves.begin(), moves.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    return moves;
}

// Points file at where it is once the moves ran; false when it lies below none of them.
bool FollowMoves(const TFolderMoves& moves, TSyncFile& file) {
    for (const auto& [from, to] : moves) {
        if (file.strRelativePath.rfind(from, 0) == 0) {
            file.strRelativePath = to + file.strRelativePath.substr(from.size());
            return true;
        }
    }
    return false;
}

// A file whose content this comparison found other than its row's, or could not read, while
// its time is the row's: once the comparison mark passes that second no later comparison
// would read it again, so should this comparison's tasks never run (a resume clears the
// queue) the edit would stay unseen and a download would take the file for the version last
// synchronised. Without its time the row differs from the file until a task records it.
void KeepLooking(const TSyncFile& row) {
    TSyncFile unsettled = row;
    unsettled.strModifyTime.clear();
    CTSyncFileArray::Get()->Modify(unsettled.iId, unsettled);
}

}  // namespace

CSycnFileHelper::CSycnFileHelper(std::wstring syncDir, std::string racySince)
    : m_wstrSyncDir(std::move(syncDir)), m_strRacySince(std::move(racySince)) {}

std::wstring CSycnFileHelper::Absolute(const std::wstring& relativePath) const {
    return GetAbsolutePath(relativePath, m_wstrSyncDir);
}

std::string CSycnFileHelper::LocalMd5(const TSyncFile& file) const {
    plat::CRootedPath item;
    if (OpenRootedPath(file.strRelativePath, m_wstrSyncDir, item) != 0) {
        return std::string();
    }
    return GetFileMd5(item);
}

void CSycnFileHelper::GroupDiskSyncFile(const CPackedFiles& disk, const CPackedFiles& table,
                                        TChangeGroup& group) {
    static constexpr const char* kFunction = "CSycnFileHelper::GroupDiskSyncFile";
    AfLog(0, kLogFile, kFunction, __LINE__, "%s", "CSycnFileHelper::GroupDiskSyncFile Begin");
    auto index = PathIndex(table);
    std::vector<bool> diskMatched(disk.Size(), false);
    for (std::size_t d = 0; d < disk.Size(); ++d) {
        std::size_t t = index.Find(PathKey(disk, d));
        if (t == index.npos) {
            continue;
        }
        index.Match(t);
        diskMatched[d] = true;
        if (disk.Type(d) == 0) {
            continue;
        }
        const bool bTimeChanged = disk.ModifyTime(d) != table.ModifyTime(t);
        // The time has one-second steps: a new size, or a record written within the second of
        // the file's time, is looked at whatever the time says.
        const bool bLook = bTimeChanged || disk.FileSize(d) != table.FileSize(t) ||
                           m_strRacySince.empty() || table.ModifyTime(t) >= m_strRacySince;
        if (!bLook) {
            continue;
        }
        const TSyncFile T = table.At(t);
        TSyncFile R = T;
        R.strModifyTime = disk.ModifyTime(d);
        R.strMD5 = LocalMd5(R);
        if (!bTimeChanged && R.strMD5 != T.strMD5) {
            KeepLooking(T);
        }
        if (R.strMD5.empty()) {
            // Sending an unreadable file as delete plus add would delete the service's copy
            // and then fail the upload.
            AfLog(0, kLogFile, kFunction, __LINE__,
                  "Disk file cannot be read, left for a later comparison fileID = (%d)(%s)", T.iId,
                  Narrow(T.strName).c_str());
        } else if (R.strMD5 != T.strMD5) {
            AfLog(0, kLogFile, kFunction, __LINE__,
                  "Disk StrMD5(%s) != SQL MD5(%s), Build Modify Task fileID = (%d)",
                  R.strMD5.c_str(), T.strMD5.c_str(), T.iId);
            group.modified.push_back(std::move(R));
        } else if (bTimeChanged) {
            AfLog(0, kLogFile, kFunction, __LINE__,
                  "Disk StrMD5 == SQL MD5,Modify DB fileID = (%d)(%s)", R.iId,
                  Narrow(R.strName).c_str());
            CTSyncFileArray::Get()->Modify(R.iId, R);
        }
    }
    for (std::size_t t = 0; t < table.Size(); ++t) {
        if (!index.Matched(t)) {
            TSyncFile T = table.At(t);
            AfLog(0, kLogFile, kFunction, __LINE__, "Disk Delete File FileName = (%s)",
                  Narrow(T.strName).c_str());
            AfLog(0, kLogFile, kFunction, __LINE__, "%s", Trace(T).c_str());
            group.deleted.push_back(std::move(T));
        }
    }
    for (std::size_t d = 0; d < disk.Size(); ++d) {
        if (!diskMatched[d]) {
            TSyncFile D = disk.At(d);
            AfLog(0, kLogFile, kFunction, __LINE__, "Disk Add File FileName = (%s)",
                  Narrow(D.strName).c_str());
            AfLog(0, kLogFile, kFunction, __LINE__, "%s", Trace(D).c_str());
            group.added.push_back(std::move(D));
        }
    }
    AfLog(0, kLogFile, kFunction, __LINE__, "%s", "CSycnFileHelper::GroupDiskSyncFile End");
}

void CSycnFileHelper::GroupServerSyncFile(const CPackedFiles& server, const CPackedFiles& table,
                                          TChangeGroup& group) {
    static constexpr const char* kFunction = "CSycnFileHelper::GroupServerSyncFile";
    AfLog(0, kLogFile, kFunction, __LINE__, "%s", "CSycnFileHelper::GroupServerSyncFile Begin");
    auto index = IdIndex(table);
    std::vector<bool> serverMatched(server.Size(), false);
    auto rename = [&](const TSyncFile& S, const TSyncFile& T) {
        AfLog(0, kLogFile, kFunction, __LINE__,
              "Server strName(%s) != SQL strName(%s), Build rename Task(%d)",
              Narrow(S.strName).c_str(), Narrow(T.strName).c_str(), S.iId);
        group.renamed.push_back(RenameOf(S, T));
    };
    for (std::size_t s = 0; s < server.Size(); ++s) {
        std::size_t t = index.Find(IdKey(server.Id(s), server.PId(s)));
        if (t == index.npos) {
            continue;
        }
        const bool bSameName = server.Name(s) == table.Name(t);
        const bool bSamePath = server.RelativePath(s) == table.RelativePath(t);
        if (server.Type(s) == 1 && server.ServerTime(s) != table.ServerTime(t)) {
            const TSyncFile S = server.At(s);
            const TSyncFile T = table.At(t);
            if (S.strMD5 != T.strMD5) {
                TSyncFile R = S;
                R.strName = T.strName;
                R.strRelativePath = T.strRelativePath;
                R.strModifyTime = T.strModifyTime;
                R.dataExtension.dataReName.wstrNewName = S.strName;
                R.dataExtension.dataReName.wstrOldName = T.strName;
                R.dataExtension.dataBreakPoint.iTaskType = S.iId;
                AfLog(
                    0, kLogFile, kFunction, __LINE__,
                    "Server strServerTime(%s) != SQL strServerTime(%s), Build Modify Task(%s)(%d)",
                    S.strServerTime.c_str(), T.strServerTime.c_str(), Narrow(S.strName).c_str(),
                    S.iId);
                group.modified.push_back(std::move(R));
            } else if (!bSameName) {
                rename(S, T);
            } else if (bSamePath) {
                TSyncFile written = S;
                written.strModifyTime = T.strModifyTime;
                CTSyncFileArray::Get()->Modify(written.iId, written);
                AfLog(0, kLogFile, kFunction, __LINE__,
                      "Server strServerTime != SQL strServerTime, but Md5 is equal, Modify DB "
                      "fileID = (%d)(%s)",
                      S.iId, Narrow(S.strName).c_str());
            } else {
                continue;
            }
        } else if (!bSameName) {
            rename(server.At(s), table.At(t));
        } else if (!bSamePath && server.Type(s) == 0) {
            continue;
        }
        index.Match(t);
        serverMatched[s] = true;
    }
    for (std::size_t t = 0; t < table.Size(); ++t) {
        if (!index.Matched(t)) {
            TSyncFile T = table.At(t);
            AfLog(0, kLogFile, kFunction, __LINE__, "Server Delete File FileName = (%s)",
                  Narrow(T.strName).c_str());
            AfLog(0, kLogFile, kFunction, __LINE__, "%s", Trace(T).c_str());
            group.deleted.push_back(std::move(T));
        }
    }
    for (std::size_t s = 0; s < server.Size(); ++s) {
        if (!serverMatched[s]) {
            TSyncFile S = server.At(s);
            AfLog(0, kLogFile, kFunction, __LINE__, "Server Add File FileName = (%s)",
                  Narrow(S.strName).c_str());
            AfLog(0, kLogFile, kFunction, __LINE__, "%s", Trace(S).c_str());
            group.added.push_back(std::move(S));
        }
    }
    AfLog(0, kLogFile, kFunction, __LINE__, "%s", "CSycnFileHelper::GroupServerSyncFile end");
}

void CSycnFileHelper::CmpGroup(TChangeGroup& disk, TChangeGroup& server) {
    AfLog(0, kLogFile, "CSycnFileHelper::CmpGroup", __LINE__, "%s", "CmpGroup begin");
    DiskAddCmpServerAdd(disk, server);
    DiskDelCmpServerDel(disk, server);
    DiskDelCmpServerMdy(disk, server);
    DiskMdyCmpServerDel(disk, server);
    DiskMdyCmpServerMdy(disk, server);
    FollowFolderRenames(server);
    AfLog(0, kLogFile, "CSycnFileHelper::CmpGroup", __LINE__, "%s", "CmpGroup end");
}

void CSycnFileHelper::FollowFolderRenames(TChangeGroup& server) const {
    const TFolderMoves moves = FolderMoves(server.renamed, m_wstrSyncDir);
    for (TSyncFile& file : server.modified) {
        FollowMoves(moves, file);
    }
    for (TSyncFile& file : server.deleted) {
        FollowMoves(moves, file);
    }
    OrderServiceRenames(server.renamed, m_wstrSyncDir);
}

TSyncFile CSycnFileHelper::RenameOf(const TSyncFile& S, const TSyncFile& T) const {
    TSyncFile R = S;
    R.strName = T.strName;
    R.strRelativePath = T.strRelativePath;
    R.strModifyTime = T.strModifyTime;
    R.dataExtension.dataReName.wstrOldName = Absolute(T.strRelativePath);
    R.dataExtension.dataReName.wstrNewName = Absolute(S.strRelativePath);
    return R;
}

bool CSycnFileHelper::FolderMovedOntoNew(const TSyncFile& S, const TChangeGroup& disk,
                                         TChangeGroup& server) {
    auto sameFolder = [&S](const TSyncFile& T) { return T.iType == 0 && T.iId == S.iId; };
    auto known = std::find_if(server.deleted.begin(), server.deleted.end(), sameFolder);
    const bool bGoneHere = std::any_of(disk.deleted.begin(), disk.deleted.end(), sameFolder);
    if (known == server.deleted.end() || bGoneHere) {
        return false;
    }
    AfLog(0, kLogFile, "CSycnFileHelper::DiskAddCmpServerAdd", __LINE__,
          "Server moved folder(%s) onto new Disk folder(%s), Build rename Task(%d)",
          Narrow(known->strRelativePath).c_str(), Narrow(S.strRelativePath).c_str(), S.iId);
    server.renamed.push_back(RenameOf(S, *known));
    server.deleted.erase(known);
    return true;
}

bool CSycnFileHelper::BackupConflict(TSyncFile& d) {
    const std::wstring oldName = d.strName;
    plat::CRootedPath item;
    std::wstring newName;
    // The watcher reports the move as a rename of the item, and as one of the service's item
    // when the table still names it then (the report came before the row went, or a download
    // of the item wrote the row again): it is the engine's move, never the user's.
    CSyncTemporary::Get()->AddOwnChange(d, OPER_RENAME);
    if (OpenRootedPath(d.strRelativePath, m_wstrSyncDir, item) != 0 ||
        BackupToFreeName(item, newName) != 0) {
        CSyncTemporary::Get()->Delete(d, OPER_RENAME);
        AfLog(0, kLogFile, "CSycnFileHelper::BackupConflict", __LINE__,
              "Error: BackUp file is failed, file name = (%s), do not sync",
              Narrow(d.strName).c_str());
        return false;
    }
    d.strName = newName;
    d.strRelativePath = GetParentPath(d.strRelativePath) + L"\\" + newName;
    AfLog(0, kLogFile, "CSycnFileHelper::BackupConflict", __LINE__,
          "BackUp file is ok, Disk file new name = (%s), old name = (%s)",
          Narrow(d.strName).c_str(), Narrow(oldName).c_str());
    return true;
}

void CSycnFileHelper::DiskAddCmpServerAdd(TChangeGroup& disk, TChangeGroup& server) {
    static constexpr const char* kFunction = "CSycnFileHelper::DiskAddCmpServerAdd";
    WalkPairs(disk.added, server.added, [&](TSyncFile& D, const TSyncFile& added) {
        TSyncFile S = added;
        S.strModifyTime = D.strModifyTime;
        if (D.iType == 0) {
            if (!FolderMovedOntoNew(S, disk, server)) {
                CTSyncFileArray::Get()->Add(S);
            }
            return EPair::DropBoth;
        }
        const std::string md5 = LocalMd5(D);
        if (!md5.empty() && md5 == S.strMD5) {
            CTSyncFileArray::Get()->Add(S);
            AfLog(0, kLogFile, kFunction, __LINE__,
                  "Server and Disk Add Same File on offline,Add DB fileID = (%d)(%s)", S.iId,
                  Narrow(S.strName).c_str());
            return EPair::DropBoth;
        }
        AfLog(0, kLogFile, kFunction, __LINE__,
              "Server md5(%s) and Disk md5(%s), Add Same File(%s) on offline, but MD5 is not "
              "equal",
              S.strMD5.c_str(), md5.c_str(), Narrow(D.strName).c_str());
        // Renamed aside, the local file goes up under its new name and the service's comes
        // down under the old one.
        return BackupConflict(D) ? EPair::Keep : EPair::DropBoth;
    });
}

void CSycnFileHelper::DiskDelCmpServerDel(TChangeGroup& disk, TChangeGroup& server) {
    WalkPairs(disk.deleted, server.deleted, [](TSyncFile& D, const TSyncFile&) {
        CTSyncFileArray::Get()->Delete(D.iId);
        return EPair::DropBoth;
    });
}

void CSycnFileHelper::DiskDelCmpServerMdy(TChangeGroup& disk, TChangeGroup& server) {
    std::vector<TSyncFile> downloads;
    WalkPairs(disk.deleted, server.modified, [&](TSyncFile& D, const TSyncFile& S) {
        // The service's new content wins over the local deletion: downloaded as new.
        downloads.push_back(S);
        CTSyncFileArray::Get()->Delete(D.iId);
        return EPair::DropBoth;
    });
    server.added.insert(server.added.end(), downloads.begin(), downloads.end());
}

void CSycnFileHelper::DiskMdyCmpServerDel(TChangeGroup& disk, TChangeGroup& server) {
    std::vector<TSyncFile> uploads;
    WalkPairs(disk.modified, server.deleted, [&](TSyncFile& D, const TSyncFile&) {
        // The local edit wins over the service's deletion: uploaded as new.
        uploads.push_back(D);
        CTSyncFileArray::Get()->Delete(D.iId);
        return EPair::DropBoth;
    });
    disk.added.insert(disk.added.end(), uploads.begin(), uploads.end());
}

void CSycnFileHelper::DiskMdyCmpServerMdy(TChangeGroup& disk, TChangeGroup& server) {
    static constexpr const char* kFunction = "CSycnFileHelper::DiskMdyCmpServerMdy";
    std::vector<TSyncFile> copies;
    WalkPairs(disk.modified, server.modified, [&](TSyncFile& D, const TSyncFile& S) {
        // D's MD5 was taken from the file by the disk stage of this comparison.
        if (D.strMD5 == S.strMD5) {
            TSyncFile written = S;
            written.strModifyTime = D.strModifyTime;
            CTSyncFileArray::Get()->Modify(written.iId, written);
            AfLog(0, kLogFile, kFunction, __LINE__,
                  "Modify file Server md5 == Disk md5(%s), modify DB(%s)(%d)", D.strMD5.c_str(),
                  Narrow(S.strName).c_str(), S.iId);
            return EPair::DropBoth;
        }
        AfLog(0, kLogFile, kFunction, __LINE__,
              "Server md5(%s) and Disk md5(%s), Modify Same File(%s) on offline, but MD5 is not "
              "equal",
              S.strMD5.c_str(), D.strMD5.c_str(), Narrow(D.strName).c_str());
        if (!BackupConflict(D)) {
            return EPair::DropBoth;
        }
        // The copy goes up as a new file; the service's version comes down under the file's
        // own name. The copy must not keep the service id of the file it was copied from: the
        // echo filter knows the service's change by that id and would take the copy's upload
        // for the echo of the download.
        CTSyncFileArray::Get()->Delete(D.iId);
        D.iId = 0;
        copies.push_back(D);
        return EPair::DropDisk;
    });
    disk.added.insert(disk.added.end(), copies.begin(), copies.end());
}

void CSycnFileHelper::IsFileClosed(TChangeGroup& group) {
    std::vector<bool> inUse(group.modified.size(), false);
    for (std::size_t i = 0; i < group.modified.size(); ++i) {
        plat::CRootedPath item;
        int error = OpenRootedPath(group.modified[i].strRelativePath, m_wstrSyncDir, item);
        if (error == 0) {
            error = plat::CheckFileClosed(item);
        }
        // A file that is not there has nobody writing it: the service's version of a conflict
        // comes down in place of the copy that was just renamed aside.
        if (error != 0 && error != ENOENT) {
            AfLog(0, kLogFile, "CSycnFileHelper::IsFileClosed", __LINE__,
                  "Could not open file (error %d). ", error);
            inUse[i] = true;
        }
    }
    group.modified = Unflagged(group.modified, inUse);
}
