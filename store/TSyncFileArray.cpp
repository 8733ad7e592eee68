#include "store/TSyncFileArray.h"

#include <mutex>
#include <new>

#include "store/StoreCommon.h"

CTSyncFileArray* CTSyncFileArray::Get() {
    static CTSyncFileArray instance;
    return &instance;
}

CTSyncFileArray::CTSyncFileArray() : m_pTable(new (std::nothrow) CTSyncFile) {
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CTSyncFileArray::CTSyncFileArray", __LINE__, "%s",
              "Error: Create CTSyncFileArray Failed. ");
    }
}

int CTSyncFileArray::Connect(const char* function, int line, const char* format) {
    return ConnectTable(*m_pTable, 1, kBaseDataLog, function, line, format);
}

int CTSyncFileArray::ReLoad() {
    std::unique_lock lock(m_mutex);
    return ReLoadLocked();
}

int CTSyncFileArray::ReLoadLocked() {
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    m_rows.Clear();
    int nRet = ConnectTable(*m_pTable, 6, kBaseDataLog, "CTSyncFileArray::ReLoad", __LINE__,
                            "Error: ConnectDB CTSyncFileArray Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    std::vector<TSyncFile> files;
    nRet = m_pTable->GetFileInfo(files);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CTSyncFileArray::ReLoad", __LINE__,
              "Error: CTSyncFileArray::GetFileInfo Failed. nRet = (%d)", nRet);
        return nRet;
    }
    m_rows.Assign(std::move(files));
    return nRet;
}

bool CTSyncFileArray::Refresh() {
    return DbSucceeded(ReLoad());
}

void CTSyncFileArray::Clear() {
    std::unique_lock lock(m_mutex);
    m_rows.Clear();
}

int CTSyncFileArray::Add(TSyncFile file) {
    std::unique_lock lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = Connect("CTSyncFileArray::Add", __LINE__,
                       "Error: CTSyncFileArray::Add ConnectDB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->SetFileInfo(file);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CTSyncFileArray::Add", __LINE__,
              "Error: CTSyncFileArray::Add SetFileInfo Failed. nRet = (%d)", nRet);
        std::string trace;
        GetTraceStringSyncFile(file, trace);
        LogTrace(kBaseDataLog, "CTSyncFileArray::Add", __LINE__, trace);
        return nRet;
    }
    m_rows.Append(std::move(file));
    return nRet;
}

int CTSyncFileArray::Add(const_iterator first, const_iterator last) {
    std::unique_lock lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = Connect("CTSyncFileArray::Add", __LINE__,
                       "Error: CTSyncFileArray::Add ConnectDB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    for (auto it = first; it != last; ++it) {
        m_rows.Append(*it);
        nRet = m_pTable->SetFileInfo(*it);
        if (!DbSucceeded(nRet)) {
            AfLog(1, kBaseDataLog, "CTSyncFileArray::Add", __LINE__,
                  "Error: CTSyncFileArray::Add Failed. nRet = (%d)", nRet);
            std::string trace;
            GetTraceStringSyncFile(*it, trace);
            LogTrace(kBaseDataLog, "CTSyncFileArray::Add", __LINE__, trace);
        }
    }
    m_pTable->Disconnect();
    return nRet;
}

int CTSyncFileArray::Modify(int nId, TSyncFile file) {
    std::unique_lock lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = Connect("CTSyncFileArray::Modify", __LINE__,
                       "Error: CTSyncFileArray::Modify ConnectDB failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->FilReplace(file);
    m_pTable->Disconnect();
    bool found = m_rows.FirstById(nId) != nullptr;
    if (DbSucceeded(nRet)) {
        m_rows.OverwriteFirstById(nId, file);
    } else if (found) {
        AfLog(1, kBaseDataLog, "CTSyncFileArray::Modify", __LINE__,
              "CTSyncFileArray::Modify FilReplace Failed. nRet = (%d)", nRet);
        std::string trace;
        GetTraceStringSyncFile(file, trace);
        LogTrace(kBaseDataLog, "CTSyncFileArray::Modify", __LINE__, trace);
    }
    return nRet;
}

int CTSyncFileArray::Delete(int nId) {
    std::unique_lock lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = Connect("CTSyncFileArray::Delete", __LINE__,
                       "CTSyncFileArray::Delete ConnectDB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->DelFileById(nId);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CTSyncFileArray::Delete", __LINE__,
              "Error: CTSyncFileArray::Delete Failed, File ID = (%d)", nId);
        return nRet;
    }
    m_rows.EraseFirstById(nId);
    return nRet;
}

int CTSyncFileArray::UpdateFolderName(std::wstring newFolder, std::wstring oldFolder) {
    std::unique_lock lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = Connect("CTSyncFileArray::UpdateFolderName", __LINE__,
                       "Error: CTSyncFileArray::UpdateFolder ConnectDB failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->FolderRename(std::move(newFolder), std::move(oldFolder));
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CTSyncFileArray::UpdateFolderName", __LINE__,
              "Error: CTSyncFileArray::UpdateFolder FolderRename failed. nRet = (%d)", nRet);
        return nRet;
    }
    return ReLoadLocked();
}

int CTSyncFileArray::Modify(std::wstring, std::wstring, TSyncFile) {
    return 0;
}

int CTSyncFileArray::Delete(std::wstring, int) {
    return 0;
}

int CTSyncFileArray::Delete(std::wstring, std::wstring) {
    return 0;
}

int CTSyncFileArray::Delete(const_iterator, const_iterator) {
    return 0;
}

bool CTSyncFileArray::Find(int nId) const {
    std::shared_lock lock(m_mutex);
    return m_rows.FirstById(nId) != nullptr;
}

bool CTSyncFileArray::Find(const std::wstring& path) const {
    std::shared_lock lock(m_mutex);
    return m_rows.FirstByPath(path) != nullptr;
}

bool CTSyncFileArray::GetSyncFile(int nId, TSyncFile& out) const {
    std::shared_lock lock(m_mutex);
    const TSyncFile* row = m_rows.FirstById(nId);
    if (row != nullptr) {
        out = *row;
    }
    return row != nullptr;
}

bool CTSyncFileArray::GetSyncFile(const std::wstring& path, TSyncFile& out) const {
    std::shared_lock lock(m_mutex);
    const TSyncFile* row = m_rows.FirstByPath(path);
    if (row != nullptr) {
        out = *row;
    }
    return row != nullptr;
}

bool CTSyncFileArray::GetSyncFile(const std::wstring& name, std::vector<TSyncFile>& out) const {
    std::shared_lock lock(m_mutex);
    out.clear();
    for (const TSyncFile* row : m_rows.AllByName(name)) {
        out.push_back(*row);
    }
    return !out.empty();
}

std::vector<TSyncFile> CTSyncFileArray::GetSyncFile() const {
    std::shared_lock lock(m_mutex);
    return m_rows.All();
}

int CTSyncFileArray::GetSyncFileID(const std::wstring& path) const {
    std::shared_lock lock(m_mutex);
    const TSyncFile* row = m_rows.FirstByPath(path);
    return row != nullptr ? row->iId : -1;
}

int CTSyncFileArray::CheckCompleteSync(TSyncFile& file) const {
    std::shared_lock lock(m_mutex);
    for (const TSyncFile* row : m_rows.AllByPath(file.strRelativePath)) {
        if (row->strName == file.strName && row->strModifyTime == file.strModifyTime &&
            row->strServerTime == file.strServerTime && row->iType == file.iType) {
            return 1;
        }
    }
    return 0;
}
