#include "engine/FileFilter.h"

#include "common/AfLog.h"
#include "common/Utility.h"

namespace {

// The rename names may be whole paths; only their last name is matched.
bool NameMatches(const std::wstring& name, const std::wstring& pattern) {
    return !name.empty() && wildcmp(GetFileName(name).c_str(), pattern.c_str()) != 0;
}

}  // namespace

CFileFilter::CFileFilter() {
    Init();
}

int CFileFilter::Init() {
    m_patterns = {L"*.tmp", L"*._mp", L"*.lnk", L"*.~mp"};
    return 0;
}

bool CFileFilter::Matches(const TComand& task) const {
    const TSyncFile& file = task.tSyncFile;
    const DataReName& names = file.dataExtension.dataReName;
    for (const std::wstring& pattern : m_patterns) {
        if (NameMatches(file.strName, pattern)) {
            return true;
        }
        if (task.iOper == OPER_RENAME &&
            (NameMatches(names.wstrNewName, pattern) || NameMatches(names.wstrOldName, pattern))) {
            return true;
        }
    }
    return false;
}

int CFileFilter::DoAction(std::vector<TComand>& batch) {
    constexpr const char* kFunction = "CFileFilter::DoAction";
    if (StopBatch(batch, kFunction)) {
        return 0;
    }
    RemoveTasks(batch, [this](TComand& task) {
        if (!Matches(task)) {
            return false;
        }
        AfLog(1, kLogicSyncLog, kFunction, __LINE__, "Remove Task: file Name = (%s) CFileFilter",
              WstringToString(task.tSyncFile.strName).c_str());
        return true;
    });
    return 0;
}
