#include "client/SyncDetailModel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "client/ClientStore.h"
#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/SyncCodes.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/SyncingTask.h"

namespace {
std::wstring Format(const wchar_t* format, long long value) {
    wchar_t text[64];
    std::swprintf(text, 64, format, value);
    return text;
}
}  // namespace

std::wstring CSyncDetailModel::SizeText(const std::string& bytes) {
    double kb = std::strtod(bytes.c_str(), nullptr) / 1000.0;
    if (!(kb >= 1)) {
        kb = 1;
    }
    char number[64];
    int length = std::snprintf(number, sizeof number, "%.0f", kb);
    char grouped[96];
    sectionMark(grouped, number, length);
    return StringToWstring(std::string(grouped) + "KB");
}

std::wstring CSyncDetailModel::ReasonText(int errcode) {
    switch (errcode) {
        case 1:
            return L"大于4G的文件";
        case 2:
            return L"空间已满";
        case 3:
            return L"文件被占用";
        case 4:
            return L"帐号禁用";
        case SYNC_FAIL_UNUSABLE_NAME:
            return L"名称无法在本地使用";
        default:
            return L"异常错误";
    }
}

std::wstring CSyncDetailModel::DurationText(long long bytes, long long bytesPerSecond) {
    if (bytesPerSecond <= 0) {
        return L"未知";
    }
    long long seconds = std::max(1LL, (bytes + bytesPerSecond - 1) / bytesPerSecond);
    std::wstring text;
    if (seconds >= 3600) {
        text += Format(L"%lld小时", seconds / 3600);
    }
    if (seconds >= 60) {
        text += Format(L"%lld分", seconds % 3600 / 60);
    }
    text += Format(L"%lld秒", seconds % 60);
    return text;
}

std::wstring CSyncDetailModel::FullPath(const TComand& task) const {
    return GetAbsolutePath(task.tSyncFile.strRelativePath, m_syncDir);
}

SyncingRow CSyncDetailModel::RowOf(const TComand& task) const {
    SyncingRow row;
    row.name = task.tSyncFile.strName;
    const std::string& size = task.strSize.empty() ? task.tSyncFile.strFileSize : task.strSize;
    row.size = SizeText(size);
    row.bytes = std::atoll(size.c_str());
    row.priority = L"优先";
    row.progress = L"等待中";
    row.fullPath = FullPath(task);
    row.id = std::to_wstring(task.iIdKey);
    return row;
}

CompletedRow CSyncDetailModel::CompletedRowOf(const SyncCompleted& record) const {
    const TComand& task = record.tComand;
    return {task.tSyncFile.strName, SizeText(task.tSyncFile.strFileSize),
            StringToWstring(task.tSyncFile.strModifyTime), L"查看", FullPath(task)};
}

FailedRow CSyncDetailModel::FailedRowOf(const SyncFail& record) const {
    return {record.tComand.tSyncFile.strName, ReasonText(record.errcode), L"查看",
            FullPath(record.tComand)};
}

bool CSyncDetailModel::LoadSync() {
    std::vector<TComand> tasks;
    WithTable<CSyncingTask>([&](CSyncingTask& table) { return table.GetAllSyncingTask(tasks); });
    std::lock_guard<std::mutex> lock(m_listLock);
    // A row read again keeps the speed it shows.
    std::vector<SyncingRow> before;
    before.swap(m_syncing);
    if (tasks.empty()) {
        m_progressVisible = false;
        return false;
    }
    AfLog(0, "SyncDetailDlg", "CSyncDetailDlg::LoadSync", 0, "显示进度条");
    m_progressVisible = true;
    m_allDone = false;
    for (const TComand& task : tasks) {
        m_syncing.push_back(RowOf(task));
        for (const SyncingRow& old : before) {
            if (old.id == m_syncing.back().id) {
                m_syncing.back().speed = old.speed;
            }
        }
    }
    return true;
}

void CSyncDetailModel::LoadCompleted() {
    std::vector<SyncCompleted> records;
    WithTable<CSyncCompleted>([&](CSyncCompleted& table) { return table.GetArr(records); });
    m_completed.clear();
    for (const SyncCompleted& record : records) {
        m_completed.push_back(CompletedRowOf(record));
    }
}

void CSyncDetailModel::LoadFailed() {
    std::vector<SyncFail> records;
    WithTable<CSyncFail>([&](CSyncFail& table) { return table.GetFailArr(records); });
    m_failed.clear();
    for (const SyncFail& record : records) {
        m_failed.push_back(FailedRowOf(record));
    }
}

bool CSyncDetailModel::OnSyncStatus(int state) {
    m_state = state;
    if (state == MSYNC_STATE_SYNCING) {
        LoadSync();
        return true;
    }
    if (state == MSYNC_STATE_SYNCED) {
        std::lock_guard<std::mutex> lock(m_listLock);
        m_syncing.clear();
        m_progressVisible = false;
    }
    return false;
}

bool CSyncDetailModel::OnCompleteSingleTask(int idKey) {
    m_lastSpeed = 0;
    SyncCompleted record;
    if (WithTable<CSyncCompleted>(
            [&](CSyncCompleted& table) { return table.GetASyncCompleted(idKey, record); }) != 0) {
        return false;
    }
    const TComand& task = record.tComand;
    m_completed.push_back({task.tSyncFile.strName, SizeText(task.tSyncFile.strFileSize),
                           StringToWstring(task.tSyncFile.strModifyTime), L"查看", FullPath(task)});
    DeleteASingleSyncing(idKey);
    return true;
}

bool CSyncDetailModel::OnFailSingleTask(int idKey) {
    AfLog(0, "SyncDetailDlg", "CSyncDetailDlg::OnFailSingleTask", 0,
          "add a failed Task, idKey = %d", idKey);
    SyncFail record;
    if (WithTable<CSyncFail>([&](CSyncFail& table) { return table.GetASyncFail(idKey, record); }) !=
        0) {
        return false;
    }
    m_failed.push_back(FailedRowOf(record));
    DeleteASingleSyncing(idKey);
    return true;
}

void CSyncDetailModel::DeleteASingleSyncing(int idKey) {
    std::lock_guard<std::mutex> lock(m_listLock);
    std::wstring id = std::to_wstring(idKey);
    auto found = std::find_if(m_syncing.begin(), m_syncing.end(),
                              [&](const SyncingRow& row) { return row.id == id; });
    if (found == m_syncing.end()) {
        return;
    }
    m_syncing.erase(found);
    if (m_syncing.empty()) {
        AfLog(0, "SyncDetailDlg", "CSyncDetailDlg::DeleteASingleSyncing", 0, "隐藏进度条");
        m_progressVisible = false;
        m_allDone = true;
    }
}

void CSyncDetailModel::OnAdjustPriorityResult(int idKey, int result) {
    if (result != idKey) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_listLock);
    std::wstring id = std::to_wstring(idKey);
    auto found = std::find_if(m_syncing.begin(), m_syncing.end(),
                              [&](const SyncingRow& row) { return row.id == id; });
    if (found == m_syncing.end() || m_syncing.size() < 2) {
        return;
    }
    SyncingRow row = *found;
    m_syncing.erase(found);
    m_syncing.insert(m_syncing.begin() + 1, row);
}

void CSyncDetailModel::OnSpeed(unsigned upload, unsigned download, bool stopped) {
    std::lock_guard<std::mutex> lock(m_listLock);
    if (m_syncing.empty()) {
        return;
    }
    if (stopped) {
        m_syncing.front().speed = L"0KB/S";
    }
    unsigned value = std::max(upload, download);
    if (value >= m_lastSpeed) {
        wchar_t text[64];
        std::swprintf(text, 64, L"%.2fKB/S", (value - m_lastSpeed) / 1000.0);
        m_syncing.front().speed = text;
        m_lastSpeed = value;
    }
}

void CSyncDetailModel::OnMeanSpeed(unsigned upload, unsigned download) {
    m_meanSpeed = std::max(upload, download);
}

void CSyncDetailModel::ClearCompleted() {
    WithTable<CSyncCompleted>(
        [](CSyncCompleted& table) { return table.DropTable("SyncCompleted"); });
    m_completed.clear();
}

std::vector<SyncingRow> CSyncDetailModel::Syncing() const {
    std::lock_guard<std::mutex> lock(m_listLock);
    return m_syncing;
}

std::wstring CSyncDetailModel::CountText(size_t count) {
    return Format(L"共%lld条同步记录", static_cast<long long>(count));
}

std::wstring CSyncDetailModel::StatusText() const {
    std::lock_guard<std::mutex> lock(m_listLock);
    if (!m_syncing.empty()) {
        long long bytes = 0;
        for (const SyncingRow& row : m_syncing) {
            bytes += row.bytes;
        }
        wchar_t text[128];
        std::swprintf(text, 128, L"共%d个文件需要同步，需耗时 %ls",
                      static_cast<int>(m_syncing.size()), DurationText(bytes, m_meanSpeed).c_str());
        return text;
    }
    if (m_allDone || m_state == MSYNC_STATE_SYNCED) {
        return L"所有同步已完成";
    }
    if (m_state == MSYNC_STATE_FIND) {
        return L"正在查找变化...";
    }
    return L"";
}
