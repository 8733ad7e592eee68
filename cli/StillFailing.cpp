#include "cli/StillFailing.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "cli/TaskText.h"
#include "common/Utility.h"

namespace {

using TItem = std::tuple<int, int, std::wstring>;

TItem ItemOf(const TComand& task) {
    return {task.iType, task.iOper, task.tSyncFile.strRelativePath};
}

bool IsUpload(const TComand& task) {
    return task.iType == 1 && task.iOper == OPER_ADD && task.tSyncFile.iType == 1;
}

// The file is there and no row holds its content: the upload has not happened since.
bool UploadStillDue(const TComand& task, const std::vector<TSyncFile>& table,
                    const std::wstring& syncDir) {
    const std::string path = TaskPath(task, syncDir);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    const std::string md5 = GetFileMd5(path);
    for (const TSyncFile& row : table) {
        if (row.strRelativePath == task.tSyncFile.strRelativePath && row.strMD5 == md5) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<SyncFail> StillFailing(const std::vector<SyncFail>& fails, int lastKeyBefore,
                                   const std::vector<TSyncFile>& table,
                                   const std::wstring& syncDir) {
    std::map<TItem, SyncFail> newest;
    for (const SyncFail& fail : fails) {
        SyncFail& kept = newest[ItemOf(fail.tComand)];
        if (fail.iFailAutoKey > kept.iFailAutoKey) {
            kept = fail;
        }
    }
    std::vector<SyncFail> failing;
    for (const auto& [item, fail] : newest) {
        if (fail.iFailAutoKey > lastKeyBefore ||
            (IsUpload(fail.tComand) && UploadStillDue(fail.tComand, table, syncDir))) {
            failing.push_back(fail);
        }
    }
    std::sort(failing.begin(), failing.end(),
              [](const SyncFail& a, const SyncFail& b) { return a.iFailAutoKey < b.iFailAutoKey; });
    return failing;
}
