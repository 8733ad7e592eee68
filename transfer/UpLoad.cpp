#include "transfer/UpLoad.h"

#include <cerrno>

#include "common/AfLog.h"
#include "rest/FileMgr.h"
#include "rest/RestResult.h"
#include "rest/SyncMgr.h"
#include "store/SyncingTaskArray.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferLog.h"

namespace {

const char* const kAddToSvr = "CUpLoad::AddToSvr";
// In strTempName instead of the storage name, as the download's "download" is: the service has
// made the entry, and only its details are left to read.
const char* const kBreakPointTaken = "taken";

int ReadFileInfo(const UserInfo& user, TSyncFile& file) {
    int result = CFileMgr(4).GetFileInfo(user, file);
    if (result != 0) {
        AfLog(0, kTransferLog, kAddToSvr, __LINE__, "GetFileInfo Failed. Error Code = (%d)",
              result);
    }
    return result;
}

}  // namespace

int CUpLoad::DoTask(TComand& task) {
    if (task.iType != 1) {
        return TRANSFER_NOT_MINE;
    }
    if (task.iOper != OPER_ADD) {
        return TRANSFER_FAILED;
    }
    return AddToSvr(task);
}

int CUpLoad::GetSize(double& value) {
    return Session().GetUploadSize(value);
}

void CUpLoad::SetSpeedLimit(int& limit) {
    CHttpCommBase::SetMaxUploadSpeed(limit);
}

int CUpLoad::GetAverageSpeed(double& value) {
    return Session().GetAverageUpSpeed(value);
}

int CUpLoad::AddToSvr(TComand& task) {
    TSyncFile& file = task.tSyncFile;
    if (file.dataExtension.dataBreakPoint.strTempName == kBreakPointTaken) {
        // Whatever became of the local file since, the entry needs its row: without it the
        // next comparison takes the entry for another device's and brings it down again.
        return ReadTaken(task);
    }
    plat::CRootedPath item;
    const int error = file.iType == 0 ? EINVAL : LocalPath(file.strRelativePath, item);
    if (error == EINVAL) {
        return TRANSFER_NOT_MINE;
    }
    if (error != 0) {
        return error == ENOENT ? REST_LOCAL_FILE_MISSING : REST_LOCAL_FILE_ERROR;
    }
    file.iPId = FindParentId(file.strRelativePath);
    if (file.iPId < 0) {
        return TRANSFER_NOT_MINE;
    }
    const UserInfo user = User();
    const std::wstring syncDir = SyncDir();
    if (file.dataExtension.dataBreakPoint.strTempName.empty()) {
        const int code = Verify(task, user, syncDir);
        if (code != 0) {
            return code == REST_ALREADY_STORED ? ReadTaken(task) : code;
        }
    }
    const int code = SendRest(file, user, syncDir);
    return code != 0 ? code : ReadTaken(task);
}

int CUpLoad::ReadTaken(TComand& task) {
    TSyncFile& file = task.tSyncFile;
    file.dataExtension.dataBreakPoint.strTempName = kBreakPointTaken;
    CSyncingTaskArray::Get()->Modify(task);
    const int code = ReadFileInfo(User(), file);
    if (code == 0) {
        file.dataExtension.dataBreakPoint.strTempName.clear();
    }
    return code;
}

int CUpLoad::Verify(TComand& task, const UserInfo& user, const std::wstring& syncDir) {
    TSyncFile& file = task.tSyncFile;
    const int code = Session().UploadFile1Verify(user, syncDir, file);
    if (code == 0) {
        CSyncingTaskArray::Get()->Modify(task);
    } else if (code != REST_ALREADY_STORED) {
        AfLog(0, kTransferLog, kAddToSvr, __LINE__, "UploadFile1Verify Failed. Error Code = (%d)",
              code);
    }
    return code;
}

int CUpLoad::SendRest(TSyncFile& file, const UserInfo& user, const std::wstring& syncDir) {
    std::string size = "0";
    int code = Session().UploadFile2State(user, file, size);
    if (code != 0) {
        AfLog(0, kTransferLog, kAddToSvr, __LINE__,
              "UploadFile2State Failed. Error Code = (%d) file size = (%s)", code, size.c_str());
        return code;
    }
    AfLog(0, kTransferLog, kAddToSvr, __LINE__, "Get File Size = (%s)", size.c_str());
    code = Session().UploadFile3Put(user, syncDir, file, size);
    if (code != 0) {
        AfLog(0, kTransferLog, kAddToSvr, __LINE__,
              "UploadFile3Put Failed. Error Code = (%d) file size = (%s)", code, size.c_str());
        return code;
    }
    code = Session().UploadFile4Commit(user, file);
    if (code != 0) {
        AfLog(0, kTransferLog, kAddToSvr, __LINE__, "UploadFile4Commit Failed. Error Code = (%d)",
              code);
    }
    return code;
}
