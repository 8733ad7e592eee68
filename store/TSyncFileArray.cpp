#include "store/TSyncFileArray.h"

#include <mutex>
#include <new>
#include <utility>

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

template <class Op>
int CTSyncFileArray::OnTable(const char* function, int line, const char* connectFormat, Op op) {
    return WithTable(m_pTable.get(), 1, kBaseDataLog, function, line, connectFormat, op);
}

int CTSyncFileArray::ReLoad() {
    std::unique_lock lock(m_mutex);
    return ReLoadLocked();
}

int CTSyncFileArray::ReLoadLocked() {
    if (m_pTable == nullptr) {
        m_bLoaded = false;
        return DB_RESULT_MISSING;
    }
    CPackedFiles files;
    int nRet =
        WithTable(m_pTable.get(), 6, kBaseDataLog, "CTSyncFileArray::ReLoad", __LINE__,
                  "Error: ConnectDB CTSyncFileArray Failed. nRet = (%d)", [&](CTSyncFile& table) {
                      int rc = table.GetFileInfo(files);
                      if (!DbSucceeded(rc)) {
                          AfLog(1, kBaseDataLog, "CTSyncFileArray::ReLoad", __LINE__,
                                "Error: CTSyncFileArray::GetFileInfo Failed. nRet = (%d)", rc);
                      }
                      return rc;
                  });
    m_bLoaded = DbSucceeded(nRet);
    if (m_bLoaded) {
        m_rows.Assign(std::move(files));
    } else {
        AfLog(6, kBaseDataLog, "CTSyncFileArray::ReLoad", __LINE__,
              "Error: the file table could not be loaded (%d); its %zu rows in memory are kept "
              "and comparisons wait for a reload",
              nRet, m_rows.Size());
    }
    return nRet;
}

bool CTSyncFileArray::Refresh() {
    return DbSucceeded(ReLoad());
}

void CTSyncFileArray::Clear() {
    std::unique_lock lock(m_mutex);
    m_rows.Clear();
    m_bLoaded = false;
}

bool CTSyncFileArray::IsLoaded() const {
    std::shared_lock lock(m_mutex);
    return m_bLoaded;
}

int CTSyncFileArray::Add(TSyncFile file) {
    std::unique_lock lock(m_mutex);
    int nRet = OnTable(
        "CTSyncFileArray::Add", __LINE__,
        "Error: CTSyncFileArray::Add ConnectDB Failed. nRet = (%d)", [&](CTSyncFile& table) {
            int rc = table.SetFileInfo(file);
            if (!DbSucceeded(rc)) {
                AfLog(1, kBaseDataLog, "CTSyncFileArray::Add", __LINE__,
                      "Error: CTSyncFileArray::Add SetFileInfo Failed. nRet = (%d)", rc);
                LogTrace(kBaseDataLog, "CTSyncFileArray::Add", __LINE__, file);
            }
            return rc;
        });
    if (DbSucceeded(nRet)) {
        m_rows.Put(file);
    }
    return nRet;
}

int CTSyncFileArray::Add(const_iterator first, const_iterator last) {
    std::unique_lock lock(m_mutex);
    return OnTable("CTSyncFileArray::Add", __LINE__,
                   "Error: CTSyncFileArray::Add ConnectDB Failed. nRet = (%d)",
                   [&](CTSyncFile& table) {
                       int rc = 0;
                       for (auto it = first; it != last; ++it) {
                           m_rows.Put(*it);
                           rc = table.SetFileInfo(*it);
                           if (!DbSucceeded(rc)) {
                               AfLog(1, kBaseDataLog, "CTSyncFileArray::Add", __LINE__,
                                     "Error: CTSyncFileArray::Add Failed. nRet = (%d)", rc);
                               LogTrace(kBaseDataLog, "CTSyncFileArray::Add", __LINE__, *it);
                           }
                       }
                       return rc;
                   });
}

int CTSyncFileArray::Modify(int nId, TSyncFile file) {
    std::unique_lock lock(m_mutex);
    int nRet = OnTable("CTSyncFileArray::Modify", __LINE__,
                       "Error: CTSyncFileArray::Modify ConnectDB failed. nRet = (%d)",
                       [&](CTSyncFile& table) {
                           int rc = table.FilReplace(file);
                           if (!DbSucceeded(rc) && m_rows.HasId(nId)) {
                               AfLog(1, kBaseDataLog, "CTSyncFileArray::Modify", __LINE__,
                                     "CTSyncFileArray::Modify FilReplace Failed. nRet = (%d)", rc);
                               LogTrace(kBaseDataLog, "CTSyncFileArray::Modify", __LINE__, file);
                           }
                           return rc;
                       });
    if (DbSucceeded(nRet)) {
        m_rows.Replace(nId, file);
    }
    return nRet;
}

int CTSyncFileArray::Delete(int nId) {
    std::unique_lock lock(m_mutex);
    int nRet =
        OnTable("CTSyncFileArray::Delete", __LINE__,
                "CTSyncFileArray::Delete ConnectDB Failed. nRet = (%d)", [&](CTSyncFile& table) {
                    int rc = table.DelFileById(nId);
                    if (!DbSucceeded(rc)) {
                        AfLog(1, kBaseDataLog, "CTSyncFileArray::Delete", __LINE__,
                              "Error: CTSyncFileArray::Delete Failed, File ID = (%d)", nId);
                    }
                    return rc;
                });
    if (DbSucceeded(nRet)) {
        m_rows.EraseFirstById(nId);
    }
    return nRet;
}

int CTSyncFileArray::UpdateFolderName(std::wstring newFolder, std::wstring oldFolder) {
    std::unique_lock lock(m_mutex);
    int nRet = OnTable(
        "CTSyncFileArray::UpdateFolderName", __LINE__,
        "Error: CTSyncFileArray::UpdateFolder ConnectDB failed. nRet = (%d)",
        [&](CTSyncFile& table) {
            int rc = table.FolderRename(std::move(newFolder), std::move(oldFolder));
            if (!DbSucceeded(rc)) {
                AfLog(1, kBaseDataLog, "CTSyncFileArray::UpdateFolderName", __LINE__,
                      "Error: CTSyncFileArray::UpdateFolder FolderRename failed. nRet = (%d)", rc);
            }
            return rc;
        });
    return DbSucceeded(nRet) ? ReLoadLocked() : nRet;
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
    return m_rows.HasId(nId);
}

bool CTSyncFileArray::Find(const std::wstring& path) const {
    std::shared_lock lock(m_mutex);
    return m_rows.HasPath(path);
}

bool CTSyncFileArray::GetSyncFile(int nId, TSyncFile& out) const {
    std::shared_lock lock(m_mutex);
    std::optional<TSyncFile> row = m_rows.FirstById(nId);
    if (row) {
        out = std::move(*row);
    }
    return row.has_value();
}

bool CTSyncFileArray::GetSyncFile(const std::wstring& path, TSyncFile& out) const {
    std::shared_lock lock(m_mutex);
    std::optional<TSyncFile> row = m_rows.FirstByPath(path);
    if (row) {
        out = std::move(*row);
    }
    return row.has_value();
}

bool CTSyncFileArray::GetSyncFile(const std::wstring& name, std::vector<TSyncFile>& out) const {
    std::shared_lock lock(m_mutex);
    out.clear();
    out = m_rows.AllByName(name);
    return !out.empty();
}

std::vector<TSyncFile> CTSyncFileArray::GetSyncFile() const {
    std::shared_lock lock(m_mutex);
    return m_rows.All();
}

std::shared_ptr<const CPackedFiles> CTSyncFileArray::Snapshot() {
    std::shared_ptr<const CPackedFiles> rows;
    {
        // Alone: closing the gaps changes the rows.
        std::unique_lock lock(m_mutex);
        rows = m_rows.Snapshot();
    }
    // The rows are let go under the lock too: a change that finds them no longer shared then
    // comes after every read made through the snapshot.
    const CPackedFiles* held = rows.get();
    return std::shared_ptr<const CPackedFiles>(
        held, [this, rows = std::move(rows)](const CPackedFiles*) mutable {
            std::unique_lock lock(m_mutex);
            rows.reset();
        });
}

int CTSyncFileArray::GetSyncFileID(const std::wstring& path) const {
    std::shared_lock lock(m_mutex);
    return m_rows.IdByPath(path);
}

int CTSyncFileArray::CheckCompleteSync(TSyncFile& file) const {
    std::shared_lock lock(m_mutex);
    for (const TSyncFile& row : m_rows.AllByPath(file.strRelativePath)) {
        if (row.strName == file.strName && row.strModifyTime == file.strModifyTime &&
            row.strServerTime == file.strServerTime && row.iType == file.iType) {
            return 1;
        }
    }
    return 0;
}
