#include "engine/UnusableNameReport.h"

#include <algorithm>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/SyncCodes.h"
#include "store/SyncFailArray.h"

namespace {

constexpr const char* kLogFile = "ServerScan.cpp";

bool Refused(wchar_t c) {
    return c == L'/' || c == L'\\' || c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool SameEntry(const TSyncFile& a, const TSyncFile& b) {
    return a.iId == b.iId && a.strRelativePath == b.strRelativePath &&
           a.strServerTime == b.strServerTime;
}

}  // namespace

std::wstring CUnusableNameReport::ShownName(const std::wstring& name) {
    if (name.empty()) {
        return L"\uFFFD";
    }
    std::wstring shown = name;
    const bool bWhole = name == L"." || name == L"..";
    std::replace_if(
        shown.begin(), shown.end(), [bWhole](wchar_t c) { return bWhole || Refused(c); },
        L'\uFFFD');
    return shown;
}

TSyncFile CUnusableNameReport::Shown(TSyncFile entry, const std::wstring& parentPath) {
    entry.strName = ShownName(entry.strName);
    entry.strRelativePath = parentPath + L"\\" + entry.strName;
    return entry;
}

TComand CUnusableNameReport::TaskOf(const TSyncFile& entry) {
    TComand task;
    task.iType = 0;  // from the service
    task.iOper = OPER_ADD;
    task.tSyncFile = entry;
    return task;
}

void CUnusableNameReport::Publish(const std::vector<TSyncFile>& refused) {
    CSyncFailArray* fails = CSyncFailArray::Get();
    std::vector<SyncFail> listed;
    fails->GetFialTask(listed);
    std::erase_if(listed,
                  [](const SyncFail& fail) { return fail.errcode != SYNC_FAIL_UNUSABLE_NAME; });
    for (const SyncFail& fail : listed) {
        if (std::none_of(refused.begin(), refused.end(), [&fail](const TSyncFile& entry) {
                return SameEntry(entry, fail.tComand.tSyncFile);
            })) {
            fails->Delete(fail.iFailAutoKey);
        }
    }
    for (const TSyncFile& entry : refused) {
        if (std::any_of(listed.begin(), listed.end(), [&entry](const SyncFail& fail) {
                return SameEntry(entry, fail.tComand.tSyncFile);
            })) {
            continue;
        }
        AfLog(4, kLogFile, "CUnusableNameReport::Publish", __LINE__,
              "Server entry (%s, id %d) is not synchronised: its name cannot be a local name; "
              "it is listed with the items that failed",
              WstringToString(entry.strRelativePath).c_str(), entry.iId);
        TComand task = TaskOf(entry);
        int nFailID = -1;
        fails->Add(SYNC_FAIL_UNUSABLE_NAME, task, nFailID);
    }
}
