#pragma once
// The selective-sync choice "SyncFolder" in Sync.db: one row per folder id.

#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CSyncFolder : public CDbBase {
  public:
    CSyncFolder();
    int ConnectDB() override;

    // Appends every row, by folder id.
    int GetSyncFolderArr(std::vector<SyncFolder>& folders);
    // Stores the folder's choice; a later choice for the same iFolderId replaces the earlier
    // one, so that one folder never has two contradicting rows.
    int AddSyncFolder(const SyncFolder& folder);
};
