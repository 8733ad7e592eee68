#pragma once
// The local file table "FileInfo" in syncFile.db. Rows keep the order they were added in, and
// several rows may carry one iId: the operations by id act on the first of them, as the
// engine's copy of the table does.

#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CTSyncFile : public CDbBase {
  public:
    CTSyncFile();
    int ConnectDB() override;

    // Appends every row, in the order they were added.
    int GetFileInfo(std::vector<TSyncFile>& files);
    // Adds a row at the end.
    int SetFileInfo(const TSyncFile& file);
    // Overwrites the first row with the record's iId in place, or adds the record at the end
    // when there is none.
    int FilReplace(const TSyncFile& file);
    // Removes the first row with that iId; 0 also when there is none.
    int DelFileById(int id);
    // Rows whose relative path starts with oldPrefix get newPrefix in its place (the folder's
    // own row is not touched: its path does not end with the separator the caller appends).
    // The comparison is exact text, no patterns. 1001 for an empty oldPrefix, which would
    // rename every row.
    int FolderRename(std::wstring newPrefix, std::wstring oldPrefix);
};
