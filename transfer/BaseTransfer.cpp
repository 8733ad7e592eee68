#include "transfer/BaseTransfer.h"

#include "common/Utility.h"
#include "rest/SyncMgr.h"
#include "store/SystemInfoLD.h"
#include "store/TSyncFileArray.h"
#include "store/UserInfoLD.h"

namespace {

// True for a relative path ".\name\name..." whose every name can stand on disk as itself.
bool IsPlainRelativePath(const std::wstring& path) {
    if (path.size() < 3 || path.compare(0, 2, L".\\") != 0) {
        return false;
    }
    std::size_t start = 2;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring name = path.substr(start, end - start);
        if (name.empty() || name == L"." || name == L".." ||
            name.find_first_of(std::wstring(L"/\0", 2)) != std::wstring::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

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

bool CBaseTransfer::LocalPath(const std::wstring& relativePath, std::wstring& absolute) {
    const std::wstring syncDir = SyncDir();
    if (syncDir.empty() || !IsPlainRelativePath(relativePath)) {
        return false;
    }
    absolute = GetAbsolutePath(relativePath, syncDir);
    return true;
}

bool CBaseTransfer::IsInsideSyncDir(const std::wstring& absolute) {
    const std::wstring syncDir = SyncDir();
    return !syncDir.empty() && IsPlainRelativePath(GetRelatePath(absolute, syncDir));
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

UserInfo CBaseTransfer::User() {
    return CUserInfoLD::Get()->GetUserInfo();
}

std::wstring CBaseTransfer::SyncDir() {
    return CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir;
}
