#include "transfer/DownLoad.h"

#include <filesystem>
#include <system_error>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "platform/FileSystem.h"
#include "rest/SyncMgr.h"
#include "store/SyncingTaskArray.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferLog.h"

namespace {

const char* const kBreakPointDownload = "download";

bool MatchesListing(const TSyncFile& file, const std::wstring& partial) {
    const std::string path = WstringToString(partial);
    if (!file.strMD5.empty()) {
        return GetFileMd5(path) == file.strMD5;
    }
    if (!file.strFileSize.empty()) {
        return std::to_string(plat::GetFileStatus(path).size) == file.strFileSize;
    }
    return true;
}

}  // namespace

int CDownLoad::DoTask(TComand& task) {
    if (task.iType != 0) {
        return TRANSFER_NOT_MINE;
    }
    if (task.iOper != OPER_ADD) {
        return TRANSFER_FAILED;
    }
    TSyncFile& file = task.tSyncFile;
    std::wstring target;
    std::wstring partial;
    if (!LocalPath(file.strRelativePath, target) || !LocalPath(PartialPath(file), partial)) {
        return TRANSFER_FAILED;
    }
    file.dataExtension.dataBreakPoint.strTempName = kBreakPointDownload;
    CSyncingTaskArray::Get()->Modify(task);
    TSyncFile partialFile = file;
    partialFile.strRelativePath = PartialPath(file);
    int result = Session().FileDownload(User(), SyncDir(), partialFile);
    if (result != 0) {
        return result;
    }
    return Finish(file, partial, target);
}

int CDownLoad::GetSize(double& value) {
    return Session().GetDownloadSize(value);
}

void CDownLoad::SetSpeedLimit(int& limit) {
    CHttpCommBase::SetMaxDownloadSpeed(limit);
}

int CDownLoad::GetAverageSpeed(double& value) {
    return Session().GetAverageDownSpeed(value);
}

std::wstring CDownLoad::PartialPath(const TSyncFile& file) {
    const std::size_t slash = file.strRelativePath.rfind(L'\\');
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring(L".") : file.strRelativePath.substr(0, slash);
    return folder + L"\\.corvena-" + std::to_wstring(file.iId) + L".part";
}

void CDownLoad::RemovePartial(const TSyncFile& file) {
    std::wstring partial;
    if (LocalPath(PartialPath(file), partial)) {
        DeleteFolder(partial, 0);
    }
}

int CDownLoad::Finish(TSyncFile& file, const std::wstring& partial, const std::wstring& target) {
    if (!MatchesListing(file, partial)) {
        AfLog(4, kTransferLog, "CDownLoad::DoTask", __LINE__,
              "Downloaded content does not match the listing = (%s)",
              WstringToString(file.strRelativePath).c_str());
        DeleteFolder(partial, 0);
        return TRANSFER_CONTENT_MISMATCH;
    }
    std::error_code ec;
    std::filesystem::rename(WstringToString(partial), WstringToString(target), ec);
    if (ec) {
        AfLog(4, kTransferLog, "CDownLoad::DoTask", __LINE__, "rename into place failed = (%d)",
              ec.value());
        return TRANSFER_LOCAL_BASE + ec.value();
    }
    const std::string modifyTime = GetFileModifyTime(target);
    if (!modifyTime.empty()) {
        file.strModifyTime = modifyTime;
    }
    return TRANSFER_OK;
}
