#include "store/SyncFolderArray.h"

#include <new>

#include "common/Utility.h"
#include "store/StoreCommon.h"
#include "store/TSyncFileArray.h"

namespace {
constexpr int kFolder = 0;
constexpr int kUnchecked = 1;

int Included(const SyncFolder& folder) {
    return folder.iCheckState == kUnchecked ? 0 : 1;
}
}  // namespace

CSyncFolderArray* CSyncFolderArray::Get() {
    static CSyncFolderArray instance;
    return &instance;
}

CSyncFolderArray::CSyncFolderArray() : m_pTable(new (std::nothrow) CSyncFolder) {
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CSyncFolderArray::CSyncFolderArray", __LINE__, "%s",
              "Error: Create CSyncFolder Failed.");
    }
}

int CSyncFolderArray::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folders.clear();
    std::vector<SyncFolder> folders;
    int nRet = WithTable(m_pTable.get(), 1, kBaseDataLog, "CSyncFolderArray::ReLoad", __LINE__,
                         "Error: CSyncFolderArray::ReLoad ConnectDB Failed. nRet = (%d)",
                         [&](CSyncFolder& table) {
                             int rc = table.GetSyncFolderArr(folders);
                             if (!DbSucceeded(rc)) {
                                 AfLog(1, kBaseDataLog, "CSyncFolderArray::ReLoad", __LINE__,
                                       "Error: CSyncFolderArray::ReLoad GetSyncFolderArr Failed. "
                                       "nRet = (%d)",
                                       rc);
                             }
                             return rc;
                         });
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    m_folders = std::move(folders);
    if (const SyncFolder* root = FindFolder(0)) {
        m_iRootDefault = Included(*root);
    }
    return nRet;
}

int CSyncFolderArray::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folders.clear();
    return 0;
}

int CSyncFolderArray::AddSyncFolder(SyncFolder&) {
    return DB_RESULT_MISSING;
}

int CSyncFolderArray::AddSyncFolder(iterator, iterator) {
    return DB_RESULT_MISSING;
}

int CSyncFolderArray::DelSyncFolder(SyncFolder&) {
    return DB_RESULT_MISSING;
}

int CSyncFolderArray::DelSyncFolder(iterator, iterator) {
    return DB_RESULT_MISSING;
}

int CSyncFolderArray::CheakSyncFolderFile(std::wstring strRelativePath, int iType, int iId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return CheckSync(std::move(strRelativePath), iType, iId);
}

void CSyncFolderArray::RefrushServerSynceFile(const CPackedFiles& list) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_serverIds.clear();
    for (std::size_t i = 0; i < list.Size(); ++i) {
        if (list.Type(i) == kFolder) {
            m_serverIds.emplace(CPackedFiles::UnpackText(list.RelativePath(i)), list.Id(i));
        }
    }
}

int CSyncFolderArray::CheckSync(std::wstring path, int iType, int iId) {
    if (iType == kFolder && iId != 0) {
        if (const SyncFolder* folder = FindFolder(iId)) {
            return Included(*folder);
        }
    }
    return CheckParentSync(std::move(path));
}

int CSyncFolderArray::CheckParentSync(std::wstring path) {
    // Upwards one folder at a time; each parent is shorter than its child, so this ends at the
    // root.
    for (;;) {
        std::wstring parent = GetParentPath(path);
        if (parent == L"." || parent.empty() || parent.size() >= path.size()) {
            return m_iRootDefault;
        }
        int id = CTSyncFileArray::Get()->GetSyncFileID(parent);
        if (id == -1) {
            id = GetSyncFileIDFormServer(parent);
        }
        if (id != -1) {
            if (const SyncFolder* folder = FindFolder(id)) {
                return Included(*folder);
            }
        }
        path = std::move(parent);
    }
}

int CSyncFolderArray::GetSyncFileIDFormServer(std::wstring path) {
    auto found = m_serverIds.find(path);
    return found == m_serverIds.end() ? -1 : found->second;
}

const SyncFolder* CSyncFolderArray::FindFolder(int iFolderId) const {
    for (const SyncFolder& folder : m_folders) {
        if (folder.iFolderId == iFolderId) {
            return &folder;
        }
    }
    return nullptr;
}
