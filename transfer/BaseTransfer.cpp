#include "transfer/BaseTransfer.h"

#include <cerrno>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/SyncMgr.h"
#include "store/SyncTemporary.h"
#include "store/SystemInfoLD.h"
#include "store/TSyncFileArray.h"
#include "store/UserInfoLD.h"
#include "transfer/TransferLog.h"

namespace {

// Backup names tried before giving up on keeping the item that is in the way.
constexpr int kBackupAttempts = 100;

}  // namespace

int CBaseTransfer::Pause() {
    return Session().SessionPause();
}

int CBaseTransfer::Resume() {
    return Session().SessionResume();
}

int CBaseTransfer::GetSize(double& value) {
    value = 0;
    return 0;
}

void CBaseTransfer::SetSpeedLimit(int&) {}

int CBaseTransfer::GetAverageSpeed(double& value) {
    value = 0;
    return 0;
}

CSyncMgr& CBaseTransfer::Session() {
    // Kept for the life of the process: a worker that could not be stopped may still use it
    // while the process ends.
    static CSyncMgr* const session = new CSyncMgr(0);
    return *session;
}

int CBaseTransfer::LocalPath(const std::wstring& relativePath, plat::CRootedPath& item,
                             plat::EFolders folders) {
    int error = OpenRootedPath(relativePath, SyncDir(), item, folders);
    if (error == 0 && item.IsRoot()) {
        error = EINVAL;
    }
    if (error != 0 && error != ENOENT) {
        AfLog(4, kTransferLog, "CBaseTransfer::LocalPath", __LINE__,
              "Local path refused = (%s), error = (%d): a link on the way or a name that cannot "
              "stand below the sync directory",
              WstringToString(relativePath).c_str(), error);
    }
    return error;
}

int CBaseTransfer::LocalPathOf(const std::wstring& absolute, plat::CRootedPath& item) {
    return LocalPath(GetRelatePath(absolute, SyncDir()), item);
}

bool CBaseTransfer::IsRecordedUnchanged(const std::wstring& relativePath,
                                        const plat::CRootedPath& item) {
    TSyncFile row;
    if (!CTSyncFileArray::Get()->GetSyncFile(relativePath, row) || row.iType != 1 ||
        row.strFileSize.empty() || row.strModifyTime.empty()) {
        return false;
    }
    const plat::FileStatus status = item.Status();
    return status.bRegular && std::to_string(status.size) == row.strFileSize &&
           GetFileModifyTime(item) == row.strModifyTime;
}

int CBaseTransfer::FindParentId(const std::wstring& relativePath) {
    const std::size_t slash = relativePath.rfind(L'\\');
    const std::wstring parent =
        slash == std::wstring::npos ? std::wstring() : relativePath.substr(0, slash);
    if (parent == L".") {
        return 0;
    }
    return CTSyncFileArray::Get()->GetSyncFileID(parent);
}

int CBaseTransfer::KeepAside(const TSyncFile& file, const plat::CRootedPath& target) {
    const std::wstring name = StringToWstring(target.Leaf());
    // The watcher reports the move aside as a rename of the item; it is ours, not the user's,
    // and must not rename the item on the service, also when a comparison runs before the
    // report has passed the filter.
    CSyncTemporary::Get()->AddOwnChange(file, OPER_RENAME);
    int error = EEXIST;
    for (int attempt = 0; attempt < kBackupAttempts && error == EEXIST; ++attempt) {
        plat::CRootedPath backup;
        error = target.Sibling(WstringToString(BackupName(name, attempt)), backup);
        if (error == 0) {
            error = target.RenameNoReplace(backup);
        }
        if (error == 0) {
            AfLog(1, kTransferLog, "CBaseTransfer::KeepAside", __LINE__,
                  "Local item kept as (%s): the service's item takes its name",
                  backup.Native().c_str());
        }
    }
    if (error != 0) {
        CSyncTemporary::Get()->Delete(file, OPER_RENAME);
    }
    return error;
}

UserInfo CBaseTransfer::User() {
    return CUserInfoLD::Get()->GetUserInfo();
}

std::wstring CBaseTransfer::SyncDir() {
    return CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir;
}
