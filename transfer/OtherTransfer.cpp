#include "transfer/OtherTransfer.h"

#include <filesystem>
#include <system_error>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/FileMgr.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferLog.h"

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
    file.iPId = FindParentId(file.strRelativePath);
    if (file.iPId < 0) {
        return TRANSFER_NOT_MINE;
    }
    const UserInfo user = User();
    switch (task.iOper) {
        case OPER_ADD:
            return MakeServiceFolder(user, file);
        case OPER_DELETE:
            return CFileMgr(4).FileDel(user, file);
        default:
            return CFileMgr(4).FileRename(user, file);
    }
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
        case OPER_DELETE:
            return DelToLocal(file) == 0 ? TRANSFER_OK : DelToLacalEx(file);
        case OPER_RENAME:
            return RenameLocal(file);
        default:
            return TRANSFER_OK;
    }
}

int COtherTransfer::MakeLocalFolder(const TSyncFile& file) {
    std::wstring path;
    if (!LocalPath(file.strRelativePath, path)) {
        return TRANSFER_FAILED;
    }
    std::error_code ec;
    std::filesystem::create_directories(WstringToString(path), ec);
    return ec || JudgeFolder(path) != 0 ? TRANSFER_FAILED : TRANSFER_OK;
}

int COtherTransfer::DelToLocal(const TSyncFile& file) {
    std::wstring path;
    if (!LocalPath(file.strRelativePath, path)) {
        return TRANSFER_FAILED;
    }
    if (file.iType == 0) {
        path += L'/';
    }
    AfLog(0, kTransferLog, "COtherTransfer::DelToLocal", __LINE__, "Del Local file = (%s)",
          WstringToString(path).c_str());
    return DeleteFolder(path);
}

int COtherTransfer::DelToLacalEx(const TSyncFile& file) {
    std::wstring path;
    if (!LocalPath(file.strRelativePath, path)) {
        return TRANSFER_FAILED;
    }
    AfLog(0, kTransferLog, "COtherTransfer::DelToLacalEx", __LINE__, "Del Ex Local file = (%s)",
          WstringToString(path).c_str());
    return DeleteFolder(path);
}

int COtherTransfer::RenameLocal(const TSyncFile& file) {
    const DataReName& names = file.dataExtension.dataReName;
    if (!IsInsideSyncDir(names.wstrOldName) || !IsInsideSyncDir(names.wstrNewName)) {
        AfLog(4, kTransferLog, "COtherTransfer::DoTask", __LINE__,
              "rename outside the sync directory refused = (%s)",
              WstringToString(names.wstrNewName).c_str());
        return TRANSFER_FAILED;
    }
    int error = ReNameLocal(names.wstrNewName, names.wstrOldName);
    return error == 0 ? TRANSFER_OK : TRANSFER_LOCAL_BASE + error;
}

int COtherTransfer::DeleteFolder(const std::wstring& path) {
    int error = ::DeleteFolder(path, 1);
    if (error == 0) {
        return TRANSFER_OK;
    }
    AfLog(0, kTransferLog, "COtherTransfer::DeleteFolder", __LINE__,
          "SHFileOperation Failed, Fail code = (%d)", error);
    return TRANSFER_LOCAL_BASE + error;
}
