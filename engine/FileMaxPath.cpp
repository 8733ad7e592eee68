#include "engine/FileMaxPath.h"

#include <algorithm>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/SyncCodes.h"
#include "store/SyncFailArray.h"
#include "store/SystemInfoLD.h"

int CFileMaxPath::CountPathLength(const std::wstring& path) {
    return static_cast<int>(
        std::count_if(path.begin(), path.end(), [](wchar_t c) { return c != L'/' && c != L'\\'; }));
}

int CFileMaxPath::DoAction(std::vector<TComand>& batch) {
    constexpr const char* kFunction = "CFileMaxPath::DoAction";
    if (StopBatch(batch, kFunction)) {
        return 0;
    }
    const std::wstring syncDir = CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir;
    RemoveTasks(batch, [this, &syncDir](TComand& task) {
        const int length =
            CountPathLength(GetAbsolutePath(task.tSyncFile.strRelativePath, syncDir));
        if (length <= kMaxPath) {
            return false;
        }
        // The offline comparison builds the same task again every 30 seconds: it is listed
        // and reported once.
        if (CSyncFailArray::Get()->CheakSyncFail(task) == 0) {
            int nFailID = -1;
            CSyncFailArray::Get()->Add(1001, task, nFailID);
            plat::PostThreadMessage(GetTaskMgrThreadId(), MSG_ERR_FILEPATH_TOOLONG,
                                    static_cast<plat::WPARAM>(nFailID), 0);
        }
        AfLog(4, kLogicSyncLog, kFunction, __LINE__,
              "Error::The long of (%d)(%s) is longer than Max Path , Do not Sync", length,
              WstringToString(task.tSyncFile.strRelativePath).c_str());
        return true;
    });
    return 0;
}
