#include "transfer/DownLoad.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/SyncMgr.h"
#include "store/SyncingTaskArray.h"
#include "store/TSyncFileArray.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferLog.h"

namespace {

const char* const kBreakPointDownload = "download";

// A partial file's name: the prefix, the service id, the suffix.
constexpr const char* kPartialPrefix = ".corvena-";
constexpr const char* kPartialSuffix = ".part";

bool MatchesListing(const TSyncFile& file, const plat::CRootedPath& partial) {
    if (!file.strMD5.empty()) {
        return GetFileMd5(partial) == file.strMD5;
    }
    if (!file.strFileSize.empty()) {
        return std::to_string(partial.Status().size) == file.strFileSize;
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
    plat::CRootedPath target;
    plat::CRootedPath partial;
    if (LocalPath(file.strRelativePath, target) != 0 ||
        LocalPath(PartialPath(file), partial) != 0) {
        return TRANSFER_FAILED;
    }
    if (IsOldNameOnDisk(file)) {
        // The deletion of the old name failed (the folder was read-only, say). Recorded under
        // the new name, the old file would have no row, and the next comparison would upload
        // it again as a new file: the row stays, so that comparison retries the deletion.
        AfLog(4, kTransferLog, "CDownLoad::DoTask", __LINE__,
              "Not downloaded = (%s): the item is still on disk under its old name",
              WstringToString(file.strRelativePath).c_str());
        return TRANSFER_LOCAL_BASE + EEXIST;
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
    return folder + L"\\" + StringToWstring(kPartialPrefix) + std::to_wstring(file.iId) +
           StringToWstring(kPartialSuffix);
}

bool CDownLoad::IsPartialName(const std::string& name) {
    const std::string_view prefix(kPartialPrefix);
    const std::string_view suffix(kPartialSuffix);
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix)) {
        return false;
    }
    std::string_view id(name);
    id.remove_prefix(prefix.size());
    id.remove_suffix(suffix.size());
    return std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void CDownLoad::RemovePartial(const TSyncFile& file) {
    plat::CRootedPath partial;
    if (LocalPath(PartialPath(file), partial) == 0 && partial.Status().bRegular) {
        partial.Remove();
    }
}

int CDownLoad::Finish(TSyncFile& file, const plat::CRootedPath& partial,
                      const plat::CRootedPath& target) {
    if (!MatchesListing(file, partial)) {
        AfLog(4, kTransferLog, "CDownLoad::DoTask", __LINE__,
              "Downloaded content does not match the listing = (%s)",
              WstringToString(file.strRelativePath).c_str());
        partial.Remove();
        return TRANSFER_CONTENT_MISMATCH;
    }
    const int error = Place(file, partial, target);
    if (error != 0) {
        AfLog(4, kTransferLog, "CDownLoad::DoTask", __LINE__, "rename into place failed = (%d)",
              error);
        return TRANSFER_LOCAL_BASE + error;
    }
    const std::string modifyTime = GetFileModifyTime(target);
    if (!modifyTime.empty()) {
        file.strModifyTime = modifyTime;
    }
    // The record goes into the local file table: a break point left in it would make the
    // upload of a later local change resume a transfer that never was (and fail on it after
    // the old content is gone from the service).
    file.dataExtension.dataBreakPoint.strTempName.clear();
    return TRANSFER_OK;
}

int CDownLoad::Place(const TSyncFile& file, const plat::CRootedPath& partial,
                     const plat::CRootedPath& target) {
    int error = partial.RenameNoReplace(target);
    if (error != EEXIST) {
        return error;
    }
    if (!IsRecordedUnchanged(file.strRelativePath, target) && !HoldsContent(file, target)) {
        error = KeepAside(file, target);
        return error != 0 ? error : partial.RenameNoReplace(target);
    }
    // The recorded version gives way to the service's newer one; a file with the very content
    // coming down is no conflict (two comparisons may both have asked for the download). A
    // change the user makes to it between the check and the rename is not caught.
    return partial.RenameReplace(target);
}

bool CDownLoad::IsOldNameOnDisk(const TSyncFile& file) {
    TSyncFile row;
    if (!CTSyncFileArray::Get()->GetSyncFile(file.iId, row) ||
        row.strRelativePath == file.strRelativePath) {
        return false;
    }
    plat::CRootedPath old;
    return LocalPath(row.strRelativePath, old) == 0 && old.Status().bExists;
}

bool CDownLoad::HoldsContent(const TSyncFile& file, const plat::CRootedPath& target) {
    return !file.strMD5.empty() && target.Status().bRegular && GetFileMd5(target) == file.strMD5;
}
