#pragma once
// The local file table "FileInfo" in syncFile.db. Rows keep the order they were added in. The
// table holds at most one row per iId and one per relative path (unique indexes): a row written
// with an id or a path that another row has replaces that row.

#include <string>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CTSyncFile : public CDbBase {
  public:
    CTSyncFile();
    int ConnectDB() override;

    // Appends every row, in the order they were added.
    int GetFileInfo(std::vector<TSyncFile>& files);
    // The same into packed records: only one row is held unpacked at a time.
    int GetFileInfo(CPackedFiles& files);
    // Adds a row at the end, in place of the rows with its iId or path.
    int SetFileInfo(const TSyncFile& file);
    // Overwrites the row with the record's iId in place, or adds the record at the end when
    // there is none; a row of another id at the record's path goes.
    int FilReplace(const TSyncFile& file);
    // Removes the row with that iId; 0 also when there is none.
    int DelFileById(int id);
    // Rows whose relative path starts with oldPrefix get newPrefix in its place (the folder's
    // own row is not touched: its path does not end with the separator the caller appends).
    // The comparison is exact text, no patterns; a row standing at a new path is replaced.
    // 1001 when oldPrefix does not end with a backslash (an empty one would rename every row)
    // or when one folder lies inside the other.
    int FolderRename(std::wstring newPrefix, std::wstring oldPrefix);

  private:
    // Every row in load order to take(TSyncFile&), after reserve(row count).
    template <class Reserve, class Take>
    int ReadFileInfo(Reserve reserve, Take take);
};
