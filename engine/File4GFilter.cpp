#include "engine/File4GFilter.h"

#include <charconv>
#include <limits>
#include <system_error>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"

std::uint64_t CFile4GFilter::ParseSize(const std::string& text) {
    std::uint64_t size = 0;
    const std::errc error = std::from_chars(text.data(), text.data() + text.size(), size).ec;
    if (error == std::errc::result_out_of_range) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return error == std::errc() ? size : 0;
}

int CFile4GFilter::DoAction(std::vector<TComand>& batch) {
    constexpr const char* kFunction = "CFile4GFilter::DoAction";
    if (StopBatch(batch, kFunction)) {
        return 0;
    }
    RemoveTasks(batch, [this](TComand& task) {
        const std::string& size = task.tSyncFile.strFileSize;
        if (ParseSize(size) < m_uLimit) {
            return false;
        }
        AfLog(1, kLogicSyncLog, kFunction, __LINE__,
              "Remove Task File(%s) Size(%s) Operation = (%d) iType = (%d)> 4G ",
              WstringToString(task.tSyncFile.strName).c_str(), size.c_str(), task.iOper,
              task.iType);
        if (task.iOper != OPER_DELETE) {
            CSyncStatus::Get()->SetFlag(MSYNC_FLAG_FILE4G, true);
        }
        return true;
    });
    return 0;
}
