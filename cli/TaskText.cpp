#include "cli/TaskText.h"

#include "client/SyncDetailModel.h"
#include "common/Utility.h"
#include "store/SyncCodes.h"

std::string OperationText(const TComand& task) {
    const bool bLocal = task.iType == 1;
    const bool bFolder = task.tSyncFile.iType == 0;
    switch (task.iOper) {
        case OPER_ADD:
            if (bFolder) {
                return bLocal ? "create folder on the service" : "create folder locally";
            }
            return bLocal ? "upload" : "download";
        case OPER_DELETE:
            return bLocal ? "delete on the service" : "delete locally";
        case OPER_RENAME:
            return (bLocal ? "rename on the service to " : "rename locally to ") +
                   WstringToString(
                       GetFileName(task.tSyncFile.dataExtension.dataReName.wstrNewName));
        case OPER_MODIFY:
            return "update the record";
        default:
            return "operation " + std::to_string(task.iOper);
    }
}

std::string TaskPath(const TComand& task, const std::wstring& syncDir) {
    return WstringToString(GetAbsolutePath(task.tSyncFile.strRelativePath, syncDir));
}

std::string TaskLine(const TComand& task, const std::wstring& syncDir) {
    return TaskPath(task, syncDir) + "\t" + OperationText(task);
}

std::string FailLine(const SyncFail& fail, const std::wstring& syncDir) {
    return TaskLine(fail.tComand, syncDir) + "\t" +
           WstringToString(CSyncDetailModel::ReasonText(fail.errcode)) + " (" +
           std::to_string(fail.errcode) + ")";
}

std::string StateWord(int status, unsigned flags, unsigned held) {
    if ((flags & (1u << MSYNC_FLAG_PAUSE)) != 0) {
        return "paused";
    }
    if ((flags & (1u << MSYNC_FLAG_NETSERVICE)) == 0) {
        return "offline";
    }
    if (held != 0) {
        return "held";
    }
    switch (status) {
        case MSYNC_STATE_SYNCING:
            return "syncing";
        case MSYNC_STATE_SYNCED:
            return "synced";
        case MSYNC_STATE_FIND:
        case 5:
            return "finding";
        default:
            return "idle";
    }
}
