#pragma once
// The three-way comparison of the offline sync: the disk against the local file table (what
// changed locally), the server listing against the table (what changed on the service), and
// the two change groups against each other (conflicts and coincidences). Records both sides
// agree on are written straight into the local file table; a local file changed on both sides
// with different content is renamed aside under a free time-stamped name, so both versions
// survive. What is left in the two groups becomes the tasks of the offline sync.
//
// The inputs are not changed. Each walk is indexed on its matching key and gives the pairs,
// decisions, log lines and list order that comparing every record with every other would.
//
// Threads: the thread that runs the offline comparison; it writes the local file table and the
// server temporary set through their own locks.

#include <string>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "engine/ChangeGroup.h"

class CSycnFileHelper {
  public:
    // syncDir: the native sync directory. A file whose table record says it has not changed is
    // hashed all the same when its modify time text is at or after racySince (the start of the
    // last completed comparison, "%4d-%02d-%02d %02d:%02d:%02d" local time): its record may
    // have been written within the second of an edit that left the time as it was. An empty
    // racySince hashes every such file (no comparison is known to have run).
    CSycnFileHelper(std::wstring syncDir, std::string racySince);

    // Disk records against table records (same iType and relative path): modified files (new
    // content) to the modified list; files whose time alone changed get the new time in the
    // table; table records left over are deleted, disk records left over added.
    void GroupDiskSyncFile(const CPackedFiles& disk, const CPackedFiles& table,
                           TChangeGroup& group);
    // Server records (with relative paths) against table records (same iId and iPId): new
    // content to modified, new names to renamed (absolute old and new paths), records whose
    // server time alone changed written into the table; leftovers deleted and added.
    void GroupServerSyncFile(const CPackedFiles& server, const CPackedFiles& table,
                             TChangeGroup& group);
    // The five steps, in order: additions, deletions, deletion against modification both
    // ways, modifications. Writes the table for what both sides did alike, renames local
    // conflict copies aside. Then the service's deletions and modifications below a folder
    // the service renamed get the paths they have once the worker, which applies the
    // service's renames first, renamed the folder; the renames are put in an order the worker
    // can apply one after another (engine/ServiceRenameOrder.h).
    void CmpGroup(TChangeGroup& disk, TChangeGroup& server);
    // Takes out of the modified list every file that a program is still writing (or that
    // exists but cannot be opened); a later comparison picks it up. A file that is not there
    // stays in the list.
    void IsFileClosed(TChangeGroup& group);

  private:
    void DiskAddCmpServerAdd(TChangeGroup& disk, TChangeGroup& server);
    void DiskDelCmpServerDel(TChangeGroup& disk, TChangeGroup& server);
    void DiskDelCmpServerMdy(TChangeGroup& disk, TChangeGroup& server);
    void DiskMdyCmpServerDel(TChangeGroup& disk, TChangeGroup& server);
    void DiskMdyCmpServerMdy(TChangeGroup& disk, TChangeGroup& server);
    void FollowFolderRenames(TChangeGroup& server) const;
    // The rename of table record T to where the server record S is (absolute old and new
    // paths).
    TSyncFile RenameOf(const TSyncFile& S, const TSyncFile& T) const;
    // S, a new folder on the service at the path of a new local folder, is a folder known here
    // that the service moved from another place, which is still on disk: the move comes down
    // as a rename, which merges the two folders and takes the rows below along, instead of a
    // deletion of the old place and a new row at the new one (the table holds an id once: the
    // row would move without the rows below it). True when it was made so.
    bool FolderMovedOntoNew(const TSyncFile& S, const TChangeGroup& disk, TChangeGroup& server);

    // Renames the local file of d aside, recorded first in the server temporary set as the
    // engine's own rename, and points d at the copy. False (with the error line, and without
    // the entry) when it could not be renamed.
    bool BackupConflict(TSyncFile& d);
    std::wstring Absolute(const std::wstring& relativePath) const;
    std::string LocalMd5(const TSyncFile& file) const;

    std::wstring m_wstrSyncDir;
    std::string m_strRacySince;
};
