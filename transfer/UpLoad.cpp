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
        bool bHeld = false;
        int code = Verify(task, user, syncDir, bHeld);
        if (code != 0 || bHeld) {
            return code;
        }
    }
    int code = SendRest(file, user, syncDir);
    if (code != 0) {
        return code;
    }
    file.dataExtension.dataBreakPoint.strTempName.clear();
    CSyncingTaskArray::Get()->Modify(task);
    return ReadFileInfo(user, file);
}

int CUpLoad::Verify(TComand& task, const UserInfo& user, const std::wstring& syncDir, bool& bHeld) {
    TSyncFile& file = task.tSyncFile;
    int code = Session().UploadFile1Verify(user, syncDir, file);
    if (code == REST_ALREADY_STORED) {
        bHeld = true;
        return ReadFileInfo(user, file);
    }
    if (code != 0) {
        AfLog(0, kTransferLog, kAddToSvr, __LINE__, "UploadFile1Verify Failed. Error Code = (%d)",
              code);
        return code;
    }
    CSyncingTaskArray::Get()->Modify(task);
    return 0;
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
