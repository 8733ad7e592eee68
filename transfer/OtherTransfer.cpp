#include "transfer/OtherTransfer.h"

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/FileMgr.h"
#include "rest/RestResult.h"
#include "rest/SyncMgr.h"
#include "store/TSyncFileArray.h"
#include "transfer/DownLoad.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferLog.h"

namespace {

// The service's answer for an id it does not hold.
constexpr int kServiceNotFound = REST_SERVICE_BASE + 2;

// Whether the service's file is other than the version the row recorded: by content when both
// sides know its MD5 (a rename also moves the service's time stamp), else by time stamp.
bool ChangedSince(const TSyncFile& row, const TSyncFile& service) {
    if (!row.strMD5.empty() && !service.strMD5.empty()) {
        return row.strMD5 != service.strMD5;
    }
    return row.strServerTime != service.strServerTime;
}

// Where a folder merges into another: the two folders and their relative paths.
struct TMerge {
    plat::CRootedPath from;
    plat::CRootedPath to;
    std::wstring fromPath;
    std::wstring toPath;
};

int MergeInto(const TMerge& merge);

// Drops the row of the item at relativePath and the rows below it.
void DropRows(const std::wstring& relativePath) {
    CTSyncFileArray* table = CTSyncFileArray::Get();
    const std::wstring below = relativePath + L"\\";
    for (const TSyncFile& row : table->GetSyncFile()) {
        if (row.strRelativePath == relativePath || row.strRelativePath.rfind(below, 0) == 0) {
            table->Delete(row.iId);
        }
    }
}

// An item whose name is taken in the folder it merges into stays where it is and loses its
// rows: the next comparison uploads it as new, and nothing at the target is replaced. Two
// folders merge; the moved folder's row follows it unless the target has a row of its own.
int MoveChild(const TMerge& child) {
    int error = child.from.RenameNoReplace(child.to);
    if (error != EEXIST) {
        return error;
    }
    if (!child.from.Status().bFolder || !child.to.Status().bFolder) {
        DropRows(child.fromPath);
        return 0;
    }
    error = MergeInto(child);
    CTSyncFileArray* table = CTSyncFileArray::Get();
    const int id = table->GetSyncFileID(child.fromPath);
    if (error == 0 && id > 0 && table->Find(child.toPath)) {
        table->Delete(id);
    }
    return error;
}

// Moves what the folder holds into the folder of the same name the user made where the
// service renamed it to, then removes the folder when that left it empty.
int MergeInto(const TMerge& merge) {
    std::vector<std::string> names;
    int error = merge.from.List(names);
    for (std::size_t i = 0; error == 0 && i < names.size(); ++i) {
        const std::wstring name = L"\\" + StringToWstring(names[i]);
        TMerge child{{}, {}, merge.fromPath + name, merge.toPath + name};
        error = merge.from.Child(names[i], child.from);
        if (error == 0) {
            error = merge.to.Child(names[i], child.to);
        }
        if (error == 0) {
            error = MoveChild(child);
        }
    }
    if (error == 0) {
        error = merge.from.Remove();
    }
    return error == ENOTEMPTY ? 0 : error;
}

}  // namespace

int COtherTransfer::DoTask(TComand& task) {
    if (task.iType == 1) {
        return ToService(task);
    }
    if (task.iType == 0) {
        return ToDisk(task);
    }
    return TRANSFER_OK;
}

int COtherTransfer::ToService(TComand& task) {
    TSyncFile& file = task.tSyncFile;
    if (task.iOper < OPER_ADD || task.iOper > OPER_RENAME) {
        return TRANSFER_OK;
    }
    if (task.iOper == OPER_ADD && file.iType == 1) {
        return TRANSFER_NOT_MINE;
    }
    if (task.iOper != OPER_ADD && file.iId <= 0) {
        // The service never had the item (created and removed again before it synchronised).
        AfLog(0, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "No service id, nothing to send = (%s)",
              WstringToString(file.strRelativePath).c_str());
        return TRANSFER_OK;
    }
    file.iPId = FindParentId(file.strRelativePath);
    if (file.iPId < 0) {
        return TRANSFER_NOT_MINE;
    }
    const UserInfo user = User();
    switch (task.iOper) {
        case OPER_ADD:
            return MakeServiceFolder(user, file);
        case OPER_DELETE:
            return DeleteOnService(user, file);
        default:
            return CFileMgr(4).FileRename(user, file);
    }
}

int COtherTransfer::DeleteOnService(const UserInfo& user, TSyncFile& file) {
    TSyncFile row = file;
    CTSyncFileArray::Get()->GetSyncFile(file.iId, row);
    if (row.iType == 0 && IsFolderOnDisk(row.strRelativePath)) {
        // Deleted and made again before the task ran: what the service holds in it may have
        // come down into the new folder since, and the user never deleted that.
        AfLog(1, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "Not deleted on the service = (%s): the folder is back on disk",
              WstringToString(row.strRelativePath).c_str());
        return TRANSFER_OK;
    }
    TServiceFolder survey;
    survey.rows.push_back(row.iId);
    int result = row.iType == 0 ? ServiceFolderChange(user, row, survey)
                                : ServiceFileChange(user, row, survey.why);
    if (result == 0) {
        result =
            survey.why.empty() ? CFileMgr(4).FileDel(user, file) : DeleteUnchanged(user, survey);
    }
    if (result == kServiceNotFound) {
        AfLog(0, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "Already gone on the service = (%s)", WstringToString(row.strRelativePath).c_str());
        return TRANSFER_OK;
    }
    if (result != 0) {
        return result;
    }
    if (!survey.why.empty()) {
        // The rows go, so the next comparison finds what stayed on the service unknown and
        // missing here, and brings it down again.
        AfLog(4, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "Not deleted on the service = (%s): %s", WstringToString(row.strRelativePath).c_str(),
              survey.why.c_str());
        for (int id : survey.rows) {
            CTSyncFileArray::Get()->Delete(id);
        }
    }
    return TRANSFER_OK;
}

int COtherTransfer::DeleteUnchanged(const UserInfo& user, TServiceFolder& survey) {
    for (TSyncFile& item : survey.unchanged) {
        AfLog(1, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "Deleted on the service as last synchronised = (%s)",
              WstringToString(item.strRelativePath).c_str());
        const int result = CFileMgr(4).FileDel(user, item);
        if (result != 0 && result != kServiceNotFound) {
            return result;
        }
    }
    return 0;
}

bool COtherTransfer::IsFolderOnDisk(const std::wstring& relativePath) {
    plat::CRootedPath item;
    return LocalPath(relativePath, item) == 0 && item.Status().bFolder;
}

int COtherTransfer::ServiceFileChange(const UserInfo& user, const TSyncFile& row,
                                      std::string& why) {
    TSyncFile service = row;
    service.strMD5.clear();
    const int result = CFileMgr(4).GetFileInfo(user, service);
    if (result == 0 && ChangedSince(row, service)) {
        why = "another version was stored there since the last synchronisation";
    }
    return result;
}

int COtherTransfer::ServiceFolderChange(const UserInfo& user, const TSyncFile& row,
                                        TServiceFolder& survey) {
    std::vector<TSyncFile> all;
    const int result = CSyncMgr(4).GetFileListAll(user, all);
    if (result != 0) {
        return result;
    }
    std::map<int, const TSyncFile*> below;
    bool bFound = false;
    // The listing may give a child before its folder: collect until a pass adds nothing.
    for (bool bGrown = true; bGrown;) {
        bGrown = false;
        for (const TSyncFile& item : all) {
            bFound = bFound || item.iId == row.iId;
            if (item.iId != row.iId && (item.iPId == row.iId || below.count(item.iPId) != 0) &&
                below.emplace(item.iId, &item).second) {
                bGrown = true;
            }
        }
    }
    if (!bFound) {
        return kServiceNotFound;
    }
    std::set<int> holding;  // what stays, and the folders below this one that hold it
    for (const auto& [id, item] : below) {
        if (StaysOnService(*item, survey)) {
            for (int up = id; up != row.iId && holding.insert(up).second;) {
                up = below.at(up)->iPId;
            }
        }
    }
    for (const auto& [id, item] : below) {
        // An unchanged item goes with the topmost folder that holds nothing else.
        if (holding.count(id) == 0 && (item->iPId == row.iId || holding.count(item->iPId) != 0)) {
            survey.unchanged.push_back(*item);
        }
    }
    return 0;
}

bool COtherTransfer::StaysOnService(const TSyncFile& item, TServiceFolder& survey) {
    TSyncFile known;
    if (!CTSyncFileArray::Get()->GetSyncFile(item.iId, known)) {
        survey.why = "it holds items not synchronised here";
        return true;
    }
    survey.rows.push_back(item.iId);
    if (item.iType == 1 && ChangedSince(known, item)) {
        survey.why = "an item in it changed since the last synchronisation";
        return true;
    }
    return false;
}

int COtherTransfer::MakeServiceFolder(const UserInfo& user, TSyncFile& file) {
    int result = CFileMgr(4).MkDir(user, file);
    if (result == 0 && file.iId <= 0) {
        // Without the new folder's id its content would be filed under the sync root.
        AfLog(4, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "MkDir answered no folder id = (%s)", WstringToString(file.strRelativePath).c_str());
        return TRANSFER_FAILED;
    }
    return result;
}

int COtherTransfer::ToDisk(TComand& task) {
    const TSyncFile& file = task.tSyncFile;
    switch (task.iOper) {
        case OPER_ADD:
            return MakeLocalFolder(file);
        case OPER_DELETE: {
            const TSyncFile current = WhereRecorded(file);
            return DelToLocal(current) == 0 ? TRANSFER_OK : DelToLacalEx(current);
        }
        case OPER_RENAME:
            return RenameLocal(file);
        default:
            return TRANSFER_OK;
    }
}

TSyncFile COtherTransfer::WhereRecorded(const TSyncFile& file) {
    TSyncFile current = file;
    TSyncFile row;
    if (file.iId > 0 && CTSyncFileArray::Get()->GetSyncFile(file.iId, row) &&
        row.iType == file.iType) {
        current.strRelativePath = row.strRelativePath;
        current.strName = row.strName;
    }
    return current;
}

int COtherTransfer::MakeLocalFolder(const TSyncFile& file) {
    plat::CRootedPath folder;
    if (LocalPath(file.strRelativePath, folder, plat::EFolders::Create) != 0) {
        return TRANSFER_FAILED;
    }
    const int error = folder.MakeFolder();
    if (error != 0) {
        AfLog(4, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "Local folder not created = (%s), error = (%d)", folder.Native().c_str(), error);
        return TRANSFER_FAILED;
    }
    return TRANSFER_OK;
}

int COtherTransfer::DelToLocal(const TSyncFile& file) {
    AfLog(0, kTransferLog, "COtherTransfer::DelToLocal", __LINE__, "Del Local file = (%s)",
          WstringToString(file.strRelativePath).c_str());
    return DeleteFolder(file);
}

int COtherTransfer::DelToLacalEx(const TSyncFile& file) {
    AfLog(0, kTransferLog, "COtherTransfer::DelToLacalEx", __LINE__, "Del Ex Local file = (%s)",
          WstringToString(file.strRelativePath).c_str());
    return DeleteFolder(file);
}

int COtherTransfer::RenameLocal(const TSyncFile& file) {
    const DataReName& names = file.dataExtension.dataReName;
    plat::CRootedPath from;
    plat::CRootedPath to;
    int error = LocalPathOf(names.wstrOldName, from);
    if (error == 0) {
        error = LocalPathOf(names.wstrNewName, to);
    }
    if (error == ENOENT) {
        return TRANSFER_LOCAL_MISSING;
    }
    if (error != 0) {
        return TRANSFER_FAILED;
    }
    error = from.RenameNoReplace(to);
    if (error == EEXIST) {
        error = RenameOntoTaken(file, from, to);
    }
    return error == 0 ? TRANSFER_OK : TRANSFER_LOCAL_BASE + error;
}

int COtherTransfer::RenameOntoTaken(const TSyncFile& file, plat::CRootedPath& from,
                                    plat::CRootedPath& to) {
    const std::wstring newPath =
        GetRelatePath(file.dataExtension.dataReName.wstrNewName, SyncDir());
    if (from.Status().bFolder && to.Status().bFolder) {
        AfLog(1, kTransferLog, "COtherTransfer::RenameLocal", __LINE__,
              "Merged into the folder already there = (%s)", to.Native().c_str());
        return MergeInto({std::move(from), std::move(to), file.strRelativePath, newPath});
    }
    if (CTSyncFileArray::Get()->Find(newPath)) {
        // A synchronised item still holds the name; its own rename or deletion (later in the
        // queue, or found by the next comparison) frees it, and the next comparison tries again.
        return EEXIST;
    }
    // The user's, and the service never had it: failing here would fail every comparison's
    // rename again, while its upload finds the name taken on the service.
    TSyncFile taking = file;
    taking.strRelativePath = newPath;
    taking.strName = GetFileName(newPath);
    const int error = KeepAside(taking, to);
    return error != 0 ? error : from.RenameNoReplace(to);
}

int COtherTransfer::DeleteFolder(const TSyncFile& file) {
    plat::CRootedPath item;
    int error = LocalPath(file.strRelativePath, item);
    if (error == ENOENT) {
        return TRANSFER_OK;
    }
    if (error != 0) {
        return TRANSFER_FAILED;
    }
    const plat::FileStatus status = item.Status();
    if (!status.bExists) {
        return TRANSFER_OK;
    }
    if (file.iType == 0 && !status.bFolder) {
        AfLog(4, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
              "Not a folder, kept = (%s)", item.Native().c_str());
        return TRANSFER_FAILED;
    }
    if (file.iType == 1 && status.bFolder) {
        // The table recorded a file here: the folder is the user's, and the next comparison
        // uploads it.
        AfLog(1, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
              "Kept = (%s): a folder where a file was synchronised", item.Native().c_str());
        return TRANSFER_OK;
    }
    bool bKept = false;
    if (status.bFolder) {
        error = TrashRecorded(item, file.strRelativePath, true, bKept);
    } else if (IsRecordedUnchanged(file.strRelativePath, item)) {
        error = Trash(item);
    } else {
        // Changed here since the comparison decided: the local edit wins over the service's
        // deletion or older version, as it would have in the comparison. Its row goes with
        // the task, so the next comparison uploads it (or a download keeps it as a copy).
        AfLog(1, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
              "Kept = (%s): not the version last synchronised", item.Native().c_str());
    }
    return error == 0 ? TRANSFER_OK : TRANSFER_LOCAL_BASE + error;
}

int COtherTransfer::TrashRecorded(const plat::CRootedPath& folder, const std::wstring& relativePath,
                                  bool bTop, bool& bKept) {
    std::vector<std::string> names;
    int error = folder.List(names);
    if (error != 0) {
        bKept = true;
        return error;
    }
    CTSyncFileArray* table = CTSyncFileArray::Get();
    for (const std::string& name : names) {
        const std::wstring childPath = relativePath + L"\\" + StringToWstring(name);
        plat::CRootedPath child;
        int childError = folder.Child(name, child);
        bool bChildKept = false;
        if (childError == 0 && child.Status().bFolder) {
            childError = TrashRecorded(child, childPath, false, bChildKept);
        } else if (childError == 0 && CDownLoad::IsPartialName(name)) {
            // A download's partial file holds the service's bytes, not the user's: kept, it
            // would keep the folder and bring it back to the service.
            childError = child.Remove();
            childError = childError == ENOENT ? 0 : childError;
            bChildKept = childError != 0;
        } else if (childError == 0 && IsRecordedUnchanged(childPath, child)) {
            childError = Trash(child);
            bChildKept = childError != 0;
        } else {
            bChildKept = true;
            AfLog(1, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
                  "Kept = (%s): not the version last synchronised",
                  WstringToString(childPath).c_str());
        }
        if (childError == 0) {
            // Trashed, or kept as an item the service no longer has: either way its row goes.
            const int id = table->GetSyncFileID(childPath);
            if (id > 0) {
                table->Delete(id);
            }
        }
        bKept = bKept || bChildKept;
        if (error == 0) {
            error = childError;
        }
    }
    if (bKept || error != 0) {
        return error;
    }
    if (!bTop && !table->Find(relativePath)) {
        // An empty folder the table does not record is the user's: it stays.
        bKept = true;
        return 0;
    }
    error = Trash(folder);
    bKept = error != 0;
    return error;
}

int COtherTransfer::Trash(const plat::CRootedPath& item) {
    std::string why;
    const int error = item.MoveToTrash(why);
    if (error == 0 || error == ENOENT) {
        return 0;
    }
    AfLog(0, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
          "SHFileOperation Failed, Fail code = (%d)", error);
    AfLog(4, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
          "Error: (%s) cannot go to the trash and is kept: %s", item.Native().c_str(), why.c_str());
    return error;
}
