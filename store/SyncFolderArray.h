#pragma once
// The selective-sync choice: which folders of the service the user left out. Loads the rows the
// desktop client writes to "SyncFolder" and answers the engine's folder filter whether an item
// is synchronised. Items not yet in the local file table are placed through the latest service
// listing, which the server watch hands in.
//
// An item follows the nearest folder above it (or itself, when it is a folder) that has a row:
// excluded when that row's iCheckState is 1, else included; with no row up to the root, the
// root default applies (the row of folder id 0; synchronised until a row says otherwise).
//
// Threads: the engine's control thread reloads, the server watch replaces the listing, the
// filter asks; one lock guards the rows and the listing.

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "store/tablestore/SyncFolder.h"

class CSyncFolderArray {
  public:
    using iterator = std::vector<SyncFolder>::iterator;

    static CSyncFolderArray* Get();

    // Reads the rows again: 0, 1001 without a table object, or the store's code (also for a
    // failed connect). The root default keeps its value when no row has folder id 0.
    int ReLoad();
    // Forgets the rows; returns 0.
    int Clear();

    // The choice is the desktop client's to write: these do nothing and return 1001.
    int AddSyncFolder(SyncFolder& folder);
    int AddSyncFolder(iterator first, iterator last);
    int DelSyncFolder(SyncFolder& folder);
    int DelSyncFolder(iterator first, iterator last);

    // 1 when the item (the task file's relative path, iType and iId) is synchronised, 0 when
    // it is excluded.
    int CheakSyncFolderFile(std::wstring strRelativePath, int iType, int iId);
    // Takes the service listing in place of the one before. Only the ids of its folders are
    // kept, by path: the listing is asked for the folders above an item, and a listing of a
    // whole space holds a hundred times more files than folders.
    void RefrushServerSynceFile(const CPackedFiles& list);

  protected:
    int CheckSync(std::wstring path, int iType, int iId);
    int CheckParentSync(std::wstring path);
    // iId of the first listed folder with that relative path, or -1.
    int GetSyncFileIDFormServer(std::wstring path);

  private:
    CSyncFolderArray();
    // The first row of the folder, or null.
    const SyncFolder* FindFolder(int iFolderId) const;

    std::vector<SyncFolder> m_folders;
    int m_iRootDefault = 1;
    // First iId of each folder path of the service listing.
    std::unordered_map<std::wstring, int> m_serverIds;
    std::unique_ptr<CSyncFolder> m_pTable;
    std::mutex m_mutex;
};
